# One 25 ms tick of four inputs of one interface (fan-out, trim, low cut, mixer), against copying the
# same samples with memcpy.
add_executable(bench_mixer ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp)
target_link_libraries(bench_mixer PRIVATE vireon_core)
set_target_properties(bench_mixer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
