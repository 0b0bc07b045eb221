# BGR24 -> RGBA conversion of a 1080p picture against a memcpy of the RGBA picture, and the
# cost of one test pattern frame.
add_executable(bench_conversion ${CMAKE_CURRENT_LIST_DIR}/bench_conversion.cpp)
target_link_libraries(bench_conversion PRIVATE vireon_core)
set_target_properties(bench_conversion PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
