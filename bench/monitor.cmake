# quorrel-cli monitor against 32 simulated adapters: its CPU share and memory, the /metrics
# answer time, and its scan cycle against the desktop's scan loop in the same run.
if(TARGET quorrel_rawfloor)
  add_executable(bench_monitor ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp)
  target_link_libraries(bench_monitor PRIVATE quorrel_rawfloor quorrel_scan)
  target_compile_definitions(bench_monitor PRIVATE QUORREL_CLI_PATH="$<TARGET_FILE:quorrel-cli>")
  add_dependencies(bench_monitor quorrel-cli)
  quorrel_warnings(bench_monitor)
endif()
