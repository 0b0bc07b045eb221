# Video encoder tests: frame-rate and geometry arithmetic, and MP4 files read back with
# libavformat (round trips, colour, letterbox, rate control, fragments, failures, a crash).
vireon_add_test(tst_ffmpegencoder ${CMAKE_CURRENT_LIST_DIR}/tst_ffmpegencoder.cpp)
