# WAV writer tests.
vireon_add_test(tst_wavwriter ${CMAKE_CURRENT_LIST_DIR}/tst_wavwriter.cpp)
