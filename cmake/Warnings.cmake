# Every target of ours gets the same strict warnings through this function.
function(quorrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow)
endfunction()

# A static library for one subsystem folder: sources, public include root at src/.
function(quorrel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  quorrel_warnings(${name})
endfunction()
