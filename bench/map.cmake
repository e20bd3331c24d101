# The network map against adapter-sim over veth: every station answering, then some silent,
# each beside its bound from the floor and the map's own waits.
if(TARGET quorrel_rawfloor)
  add_executable(bench_map ${CMAKE_CURRENT_LIST_DIR}/map_bench.cpp)
  target_link_libraries(bench_map PRIVATE quorrel_rawfloor quorrel_netmap quorrel_scan)
  quorrel_warnings(bench_map)
endif()
