# The rate history: recording a scan cycle of 32 devices, opening a 90-day chart of 32 devices.
if(TARGET quorrel_history_chart)
  add_executable(bench_history ${CMAKE_CURRENT_LIST_DIR}/history_bench.cpp)
  target_link_libraries(bench_history PRIVATE quorrel_history_chart quorrel_history)
  quorrel_warnings(bench_history)
endif()
