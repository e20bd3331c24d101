# The scan against adapter-sim over veth with 31 remote stations: time to the first complete
# list, the length of a cycle and the longest tick, each beside the bound that the timer
# period and the exchanges set.
if(TARGET quorrel_rawfloor)
  add_executable(bench_scan ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
  target_link_libraries(bench_scan PRIVATE quorrel_rawfloor quorrel_scan)
  quorrel_warnings(bench_scan)
endif()
