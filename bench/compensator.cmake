# Drift compensation of one stereo input: CPU per second of audio, resampling and passing
# through, against a memcpy of the same samples.
add_executable(bench_compensator ${CMAKE_CURRENT_LIST_DIR}/bench_compensator.cpp)
target_link_libraries(bench_compensator PRIVATE vireon_core)
set_target_properties(bench_compensator PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
