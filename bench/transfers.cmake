# Module transfers to adapter-sim over a veth pair, against the raw round-trip floor and the
# bound of the transfer loops' own pauses, both measured in the same run.
if(TARGET quorrel_rawfloor)
  add_executable(bench_transfers ${CMAKE_CURRENT_LIST_DIR}/transfers_bench.cpp)
  target_link_libraries(bench_transfers PRIVATE quorrel_rawfloor quorrel_thpapi quorrel_samples
                        quorrel_transport)
  quorrel_warnings(bench_transfers)
endif()
