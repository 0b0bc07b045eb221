# Audio capture sources of vireon_core.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioSampleBuffer.h ${CMAKE_CURRENT_LIST_DIR}/AudioSampleBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestToneGenerator.h ${CMAKE_CURRENT_LIST_DIR}/TestToneGenerator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioCapture.h ${CMAKE_CURRENT_LIST_DIR}/AudioCapture.cpp
)
