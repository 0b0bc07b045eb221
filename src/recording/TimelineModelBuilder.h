// buildTimelineModel(): a take's input turned into its TimelineModel — the one place where
// the edit is laid out. Pure: no files, no clock.
//
// Frames: a switch or marker at t ms falls in frame trunc(t × rate ÷ 1000) (toward zero, held
// within the sequence); the sequence is round(duration × rate ÷ 1000) frames long, one
// second of frames when that is not positive. The rate is the exact fraction of the input's
// rate (30000/1001 for 29.97).
//
// Cameras: every video file of the input in channel order (a studio's leader has its own 1-4
// and its followers' cameras numbered after them).
// Programme cut: track 1 holds the first camera for the whole take; every other camera has a
// track of its own above it with a clip wherever the operator switched to it (a camera never
// switched to has an empty track). A take without any video file gets one stand-in per camera
// switched to, so the decisions still show.
// All angles: every recorded camera has its own track for the whole take (channel order); the
// top track carries the programme cut.
// The programme cut on one track (the model's `programme`): each switch's camera from the
// switch to the next, a switch to a channel without a file showing the first camera, pieces of
// one camera that follow each other joined into one clip.
// Audio (both layouts): the master, then every channel track in channel order, each track's
// parts end to end. Links: a camera's clips link to the last audio track linked to that camera;
// an audio track links to the first track of its linked camera.
// A measured file is never laid out longer than it is: its clips end where it ends.
#pragma once

#include "recording/TimelineInput.h"
#include "recording/TimelineModel.h"

TimelineModel buildTimelineModel(const TimelineExportInput &input);

// The sequence frame a time of the take falls in at `rate`, truncated toward zero and held
// within 0..durationFrames.
qint64 timelineFrameAt(qint64 ms, const FrameRate &rate, qint64 durationFrames);
