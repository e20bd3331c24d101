# Set All Devices over veth against the waits it cannot avoid, and the longest stretch of work
# between two sleeps (the desktop program repaints at every sleep).
if(TARGET quorrel_rawfloor AND TARGET quorrel_membership)
  add_executable(bench_set_all ${CMAKE_CURRENT_LIST_DIR}/set_all_bench.cpp)
  target_link_libraries(bench_set_all PRIVATE quorrel_rawfloor quorrel_membership)
  add_dependencies(bench_set_all adapter-sim)
  quorrel_warnings(bench_set_all)
endif()
