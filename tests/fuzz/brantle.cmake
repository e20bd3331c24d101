quorrel_fuzzer(fuzz_brantle SOURCES ${CMAKE_CURRENT_LIST_DIR}/brantle_fuzz.cpp DEPS quorrel_brantleapi)
