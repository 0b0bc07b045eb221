# Timeline export (xmeml) sources of vireon_core.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.cpp)
