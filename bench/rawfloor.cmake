# The raw round-trip floor on a veth pair, reusable by other network benchmarks
# (quorrel_rawfloor), and bench_rawfloor, which prints it beside a version exchange with
# adapter-sim through the real transport. Needs the namespace harness of the tests.
if(TARGET quorrel_netns)
  add_library(quorrel_rawfloor STATIC ${CMAKE_CURRENT_LIST_DIR}/rawfloor.cpp)
  target_include_directories(quorrel_rawfloor PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(quorrel_rawfloor PUBLIC quorrel_netns)
  quorrel_warnings(quorrel_rawfloor)

  add_executable(bench_rawfloor ${CMAKE_CURRENT_LIST_DIR}/rawfloor_main.cpp)
  target_link_libraries(bench_rawfloor PRIVATE quorrel_rawfloor quorrel_transport)
  quorrel_warnings(bench_rawfloor)
endif()
