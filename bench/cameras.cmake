# Simulated 1080p MJPEG webcams with camera-like content recorded by the program (re-encoded,
# and as the cameras' own stream with live previews) against the ffmpeg command line with the
# same settings; decoding, encoder threads, phases and memory.
if(TARGET vireon_v4l2sim)
  add_executable(bench_cameras ${CMAKE_CURRENT_LIST_DIR}/bench_cameras.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CameraBench.h ${CMAKE_CURRENT_LIST_DIR}/CameraBench.cpp)
  target_link_libraries(bench_cameras PRIVATE vireon_core vireon_ui vireon_v4l2sim)
  set_target_properties(bench_cameras PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
