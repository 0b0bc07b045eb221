// StudioTimeline: the studio's timelines, the leader's take with every follower's angles on
// it. The followers' cameras join the leader's as channels 5 and up (StudioLeader's
// numbering) and every camera and audio track is named by its machine ("B Test Pattern 1",
// "B Master audio"); the followers' files are referenced where "Collect files" puts them, a
// folder per machine in the leader's take folder. All files of a studio take start at one
// timecode, so they sit side by side from the sequence's first frame; each is laid no longer
// than its own machine reported it. The programme cut holds the leader's switches, to its own
// cameras and the followers' alike, and its markers.
//
// Pure: the model for the timeline writers (writeTimelineModel()).
#pragma once

#include "recording/TimelineInput.h"
#include "recording/TimelineModel.h"
#include "studio/StudioLeader.h"

#include <QString>

#include <map>
#include <vector>

TimelineModel studioTimelineModel(const TimelineExportInput &leaderTake, const QString &leaderMachine,
                                  const std::map<int, QString> &leaderCameraNames,
                                  const std::vector<StudioLeader::Member> &members);

// "Take_03_Studio": the take name the studio's timeline files are called by.
QString studioTimelineTakeName(const QString &takeFolderName);
