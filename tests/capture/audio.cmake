# Audio capture tests: the sample buffer, the Test Tone and capture through SDL's disk driver.
vireon_add_test(tst_audiocapture ${CMAKE_CURRENT_LIST_DIR}/tst_audiocapture.cpp)
