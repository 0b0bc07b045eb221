# The remote control under load during a four-channel 1080p30 take: stream clients and status
# requests on loopback; reports frames per client, status latency and dropped frames.
add_executable(bench_remote ${CMAKE_CURRENT_LIST_DIR}/bench_remote.cpp)
target_link_libraries(bench_remote PRIVATE vireon_core)
set_target_properties(bench_remote PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
