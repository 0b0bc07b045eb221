# Audio capture tests: the sample buffer, the Test Tone and capture through SDL's disk driver.
vireon_add_test(tst_audiocapture ${CMAKE_CURRENT_LIST_DIR}/tst_audiocapture.cpp)
# Drift compensation: rate measured through jitter, THD+N and clicks of a resampled tone.
vireon_add_test(tst_driftcompensator ${CMAKE_CURRENT_LIST_DIR}/tst_driftcompensator.cpp)
# Shared capture devices: input choices, one device fanned out to its channels, trim and low
# cut, a device lost and back.
vireon_add_test(tst_audiodevices ${CMAKE_CURRENT_LIST_DIR}/tst_audiodevices.cpp)
