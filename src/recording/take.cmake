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
