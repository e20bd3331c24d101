# The whole firmware upgrade to adapter-sim over a veth pair, against the bound that the loop's
# pause and the adapter's own time per piece and per commit set, measured in the same run.
if(TARGET quorrel_rawfloor)
  add_executable(bench_upgrade ${CMAKE_CURRENT_LIST_DIR}/upgrade_bench.cpp)
  target_link_libraries(bench_upgrade PRIVATE quorrel_rawfloor quorrel_upgrade quorrel_samples)
  quorrel_warnings(bench_upgrade)
endif()
