# A HomePlug AV exchange against adapter-sim over veth, beside its floor and its bound.
if(TARGET quorrel_rawfloor)
  add_executable(bench_exchange ${CMAKE_CURRENT_LIST_DIR}/exchange_bench.cpp)
  target_link_libraries(bench_exchange PRIVATE quorrel_rawfloor quorrel_thpapi quorrel_transport)
  target_compile_definitions(bench_exchange PRIVATE
    QUORREL_CAPTURE_PATH="$<TARGET_FILE:quorrel-capture>")
  add_dependencies(bench_exchange quorrel-capture)
  quorrel_warnings(bench_exchange)
endif()
