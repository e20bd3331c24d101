quorrel_fuzzer(fuzz_history SOURCES ${CMAKE_CURRENT_LIST_DIR}/history_fuzz.cpp
  DEPS quorrel_history MAX_LEN 4096)
