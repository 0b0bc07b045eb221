// StudioTime: the instants a studio take starts and stops at, and the timecode they carry.
//
// The timecode of a take is the time of day of the system clock (local time), counted in
// frames of the take's rate from midnight: frame n begins n / rate after midnight, exactly
// (29.97 is 30000/1001, so its frames are not whole milliseconds), and is labelled by n
// counted at the rate's timebase (non-drop-frame, as the recorder's files carry it). A studio
// take starts on such a frame boundary about a second ahead, so every recorder has the
// instant in hand before it comes, and stops a whole number of frames later, so every file
// of every recorder holds the same number of frames.
//
// Pure functions of a wall-clock instant (WallClock, ns since the Unix epoch).
#pragma once

#include <QString>
#include <QtGlobal>

namespace StudioTime {

// How far ahead REC ALL and STOP put their instant: time for the command to reach every
// follower and for each to open its files.
inline constexpr qint64 kCommandLeadNs = 1'000'000'000;

// Nanoseconds since the local midnight before `wallNs`.
qint64 sinceMidnightNs(qint64 wallNs);

// The frame of the day (from midnight) that `wallNs` falls in, at `fps`.
qint64 frameOfDay(qint64 wallNs, double fps);

// The first frame boundary of the timecode at or after `wallNs`.
qint64 frameBoundaryAtOrAfter(qint64 wallNs, double fps);

// The label of the frame `wallNs` falls in: "HH:MM:SS:FF".
QString timecodeAt(qint64 wallNs, double fps);

// The length of `frames` frames at `fps`, rounded down to the nanosecond.
qint64 framesDurationNs(qint64 frames, double fps);

struct StartPlan
{
    qint64 startWallNs = 0;
    QString timecode; // the label of the first frame
    double fps = 30.0;
};

// The start of a take asked for at `nowWallNs`: the first frame boundary at least `leadNs`
// ahead, and its label.
StartPlan planStart(qint64 nowWallNs, double fps, qint64 leadNs = kCommandLeadNs);

// The end of a take that started at `startWallNs`, asked for at `nowWallNs`: the first
// instant a whole number of frames after the start (at least one) that is at least `leadNs`
// ahead of now.
qint64 planStop(qint64 startWallNs, qint64 nowWallNs, double fps, qint64 leadNs = kCommandLeadNs);

} // namespace StudioTime
