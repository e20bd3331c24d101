quorrel_fuzzer(fuzz_device_records SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_records_fuzz.cpp
  DEPS quorrel_api)
