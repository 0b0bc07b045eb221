# Simulated 1080p MJPEG webcams with camera-like content recorded by the program against the
# ffmpeg command line with the same settings; MJPEG decode + RGBA against ffmpeg alone.
if(TARGET vireon_v4l2sim)
  add_executable(bench_cameras ${CMAKE_CURRENT_LIST_DIR}/bench_cameras.cpp)
  target_link_libraries(bench_cameras PRIVATE vireon_core vireon_v4l2sim)
  set_target_properties(bench_cameras PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
