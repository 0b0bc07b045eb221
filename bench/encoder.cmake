# CPU time per 1080p frame of FfmpegEncoder against the ffmpeg command line with the same
# settings on the same frames.
add_executable(bench_encoder ${CMAKE_CURRENT_LIST_DIR}/bench_encoder.cpp)
target_link_libraries(bench_encoder PRIVATE vireon_core)
set_target_properties(bench_encoder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
