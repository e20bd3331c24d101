# Key derivations per call beside the floor of the same number of bare digests.
if(benchmark_FOUND)
  add_executable(bench_keys ${CMAKE_CURRENT_LIST_DIR}/keys_bench.cpp)
  target_link_libraries(bench_keys PRIVATE quorrel_crypto benchmark::benchmark)
  quorrel_warnings(bench_keys)
endif()
