# The desktop program's start-up, memory and CPU against adapter-sim over veth.
if(TARGET quorrel_rawfloor AND TARGET quorrel_ui AND TARGET quorrel_desktop_scan)
  add_executable(bench_desktop ${CMAKE_CURRENT_LIST_DIR}/desktop_bench.cpp)
  target_link_libraries(bench_desktop PRIVATE quorrel_rawfloor quorrel_ui quorrel_desktop_scan
                        quorrel_scan)
  quorrel_warnings(bench_desktop)
endif()
