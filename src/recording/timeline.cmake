# Timeline export sources of vireon_core: the take's input, the one model of its edit, the
# writers that render it (xmeml, FCPXML, OTIO) and the files they go to.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Timecode.h
  ${CMAKE_CURRENT_LIST_DIR}/Timecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineCut.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineMarker.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineMarker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineInput.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineModel.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineModelBuilder.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineModelBuilder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineNaming.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineNaming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelinePaths.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelinePaths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.h
  ${CMAKE_CURRENT_LIST_DIR}/TimelineExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmlText.h
  ${CMAKE_CURRENT_LIST_DIR}/XmlText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/XmemlWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FcpxmlWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/FcpxmlWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OtioWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/OtioWriter.cpp)
# The cut journal of a running take, and the takes rebuilt from it after a crash.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CutJournalFormat.h
  ${CMAKE_CURRENT_LIST_DIR}/CutJournalFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CutJournal.h
  ${CMAKE_CURRENT_LIST_DIR}/CutJournal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CutJournalReader.h
  ${CMAKE_CURRENT_LIST_DIR}/CutJournalReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordedFileMeasure.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordedFileMeasure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TakeRecovery.h
  ${CMAKE_CURRENT_LIST_DIR}/TakeRecovery.cpp)
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TakeRecoveryRun.h
  ${CMAKE_CURRENT_LIST_DIR}/TakeRecoveryRun.cpp)
