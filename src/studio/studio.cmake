# Several recorders as one studio: the link between machines, the clock check, the start and
# stop instants, the leader's and the follower's sides of a studio take and collecting the
# followers' files. A floor below the application manager, above recording.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WallClock.h ${CMAKE_CURRENT_LIST_DIR}/WallClock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClockSync.h ${CMAKE_CURRENT_LIST_DIR}/ClockSync.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClockOffset.h ${CMAKE_CURRENT_LIST_DIR}/ClockOffset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioTime.h ${CMAKE_CURRENT_LIST_DIR}/StudioTime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ArmingCountdown.h ${CMAKE_CURRENT_LIST_DIR}/ArmingCountdown.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkAddress.h ${CMAKE_CURRENT_LIST_DIR}/LinkAddress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkCall.h ${CMAKE_CURRENT_LIST_DIR}/LinkCall.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioProtocol.h ${CMAKE_CURRENT_LIST_DIR}/StudioProtocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioTakeReport.h ${CMAKE_CURRENT_LIST_DIR}/StudioTakeReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioRecorder.h
  ${CMAKE_CURRENT_LIST_DIR}/StudioSettings.h ${CMAKE_CURRENT_LIST_DIR}/StudioSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FollowerFiles.h ${CMAKE_CURRENT_LIST_DIR}/FollowerFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileHasher.h ${CMAKE_CURRENT_LIST_DIR}/FileHasher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioFollower.h ${CMAKE_CURRENT_LIST_DIR}/StudioFollower.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FollowerLink.h ${CMAKE_CURRENT_LIST_DIR}/FollowerLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileCollector.h ${CMAKE_CURRENT_LIST_DIR}/FileCollector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioLeader.h ${CMAKE_CURRENT_LIST_DIR}/StudioLeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioAngles.h ${CMAKE_CURRENT_LIST_DIR}/StudioAngles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioTimeline.h ${CMAKE_CURRENT_LIST_DIR}/StudioTimeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioSession.h ${CMAKE_CURRENT_LIST_DIR}/StudioSession.cpp
)
