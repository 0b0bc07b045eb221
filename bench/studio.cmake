# A leader driving ten simulated followers over loopback: what the link costs per follower
# (CPU on each side, bytes on the wire), how fast REC ALL reaches all of them, how far apart
# they start.
add_executable(bench_studio ${CMAKE_CURRENT_LIST_DIR}/bench_studio.cpp)
target_link_libraries(bench_studio PRIVATE vireon_core)
set_target_properties(bench_studio PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
