quorrel_fuzzer(fuzz_scan SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_fuzz.cpp DEPS quorrel_scan)
