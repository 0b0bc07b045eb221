# WAV writer sources of vireon_core.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BroadcastWav.h
  ${CMAKE_CURRENT_LIST_DIR}/BroadcastWav.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileSync.h
  ${CMAKE_CURRENT_LIST_DIR}/FileSync.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.cpp)
