# The raw round-trip floor on a veth pair, shared by the network benchmarks (quorrel_rawfloor).
# Needs the namespace harness of the tests.
if(TARGET quorrel_netns)
  add_library(quorrel_rawfloor STATIC ${CMAKE_CURRENT_LIST_DIR}/rawfloor.cpp)
  target_include_directories(quorrel_rawfloor PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(quorrel_rawfloor PUBLIC quorrel_netns)
  quorrel_warnings(quorrel_rawfloor)
endif()
