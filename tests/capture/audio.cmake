# Audio capture tests: the sample buffer, the Test Tone and capture through SDL's disk driver.
vireon_add_test(tst_audiocapture ${CMAKE_CURRENT_LIST_DIR}/tst_audiocapture.cpp)
# Drift compensation: rate measured through jitter, THD+N and clicks of a resampled tone.
vireon_add_test(tst_driftcompensator ${CMAKE_CURRENT_LIST_DIR}/tst_driftcompensator.cpp)
