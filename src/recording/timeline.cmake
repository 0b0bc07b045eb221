# Timeline export (xmeml) sources of vireon_core.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Timecode.h
  ${CMAKE_CURRENT_LIST_DIR}/Timecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineJob.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelinePaths.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelinePaths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmemlVideoLayout.h
  ${CMAKE_CURRENT_LIST_DIR}/XmemlVideoLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.cpp)
