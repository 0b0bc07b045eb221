# Recording a take: the frame pump, the audio files with their writer thread and parts, and
# the take itself, which the application manager delegates to.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CameraTiming.h ${CMAKE_CURRENT_LIST_DIR}/CameraTiming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FramePump.h ${CMAKE_CURRENT_LIST_DIR}/FramePump.cpp
)
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WavPartWriter.h ${CMAKE_CURRENT_LIST_DIR}/WavPartWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeAudioWriter.h ${CMAKE_CURRENT_LIST_DIR}/TakeAudioWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeRecorder.h ${CMAKE_CURRENT_LIST_DIR}/TakeRecorder.cpp
)
# What a take records: the recording settings with their store and lists, and what they make
# of each camera (rate, size, encoder configuration).
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/RecordingChoices.h ${CMAKE_CURRENT_LIST_DIR}/RecordingChoices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSettings.h ${CMAKE_CURRENT_LIST_DIR}/RecordingSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeFormat.h ${CMAKE_CURRENT_LIST_DIR}/TakeFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeNaming.h ${CMAKE_CURRENT_LIST_DIR}/TakeNaming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeSetup.h ${CMAKE_CURRENT_LIST_DIR}/TakeSetup.cpp
)
