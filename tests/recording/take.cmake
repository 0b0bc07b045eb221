# Take tests: frame slots of the pump.
vireon_add_test(tst_framepump ${CMAKE_CURRENT_LIST_DIR}/tst_framepump.cpp)
# The take: WAV parts, write failures, the first frame slot.
vireon_add_test(tst_takerecorder ${CMAKE_CURRENT_LIST_DIR}/tst_takerecorder.cpp)
# The recording settings: store, defaults, what they make of a camera, accepted values.
vireon_add_test(tst_recordingsettings ${CMAKE_CURRENT_LIST_DIR}/tst_recordingsettings.cpp)
# Names of a take on disk and its timecode texts.
vireon_add_test(tst_takenaming ${CMAKE_CURRENT_LIST_DIR}/tst_takenaming.cpp)
