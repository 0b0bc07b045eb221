# Picture arrays a camera allocates per 1 000 pictures while a take reads it (Linux: counts
# through glibc's malloc).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(bench_picturepool ${CMAKE_CURRENT_LIST_DIR}/bench_picturepool.cpp)
  target_link_libraries(bench_picturepool PRIVATE vireon_core)
  set_target_properties(bench_picturepool PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
