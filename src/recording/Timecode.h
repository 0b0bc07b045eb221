// Frame rates as a timeline states them, and timecode texts counted in frames and samples.
// Pure functions shared by the xmeml writer (the timecode of every file and of the sequence)
// and the take (the time reference of Broadcast WAV files), so the timeline, the MP4's
// timecode track and the WAV files all name the same instant.
#pragma once

#include "recording/FrameRate.h"

#include <QString>
#include <QTime>
#include <QtGlobal>

#include <optional>

namespace Timecode {

// The rate a timeline describes: `fps`, or 30 when that cannot describe a rate (0, negative,
// not a number, absurdly high).
double usableFrameRate(double fps);

// The timebase of a rate: the usable rate rounded to a whole number (30 for 29.97).
int timebase(double fps);

// 23.976, 29.97 and 59.94 are NTSC rates: their timebase (24, 30, 60) stands for
// timebase × 1000/1001. The whole rates beside them are not: media recorded at exactly 30 fps
// declared as 29.97 would drift by 3.6 s an hour against its own timebase.
bool isNtscRate(double fps);

// "HH:MM:SS:FF" (non-drop-frame) or "HH:MM:SS;FF" (drop-frame, only for NTSC timebases 30 and
// 60) as the frame number it labels, counted from 00:00:00:00 at `timebase`: non-drop-frame
// counts every label (22:57:14:00 at 30 → 2 479 020), drop-frame skips the labels it drops.
// Empty when the text is no valid timecode at that timebase.
std::optional<qint64> frameCount(const QString &text, int timebase, bool ntsc);
bool isDropFrame(const QString &text);

// The instant a timecode labels, in samples since midnight, for media at `fps`: frames ÷ the
// real frame rate (30000/1001 for 29.97) × sampleRate, rounded to the nearest sample. This is
// where an editor places the MP4 whose timecode track begins at `text`, so a WAV file whose
// time reference holds this value lines up with it to the sample.
std::optional<qint64> samplesSinceMidnight(const QString &text, double fps, int sampleRate);

// The label of frame `frames` counted from 00:00:00:00 at `timebase` (the inverse of
// frameCount): "HH:MM:SS:FF", or with `dropFrame` (timebases 30 and 60 only) the drop-frame
// label "HH:MM:SS;FF". Wraps at 24 hours.
QString text(qint64 frames, int timebase, bool dropFrame);

// The start timecode of a take that begins at `timeOfDay` (its milliseconds ignored).
// At 29.97 and 59.94 it is drop-frame: the label of the frame nearest that whole second, so
// the label keeps naming the time of day (a non-drop-frame label runs 3.6 s an hour behind
// the clock; by noon 43 s). Every other rate labels the second itself, "HH:mm:ss:00"; 23.976
// has no drop-frame counting, so its labels run 0.1 % behind the clock as every camera's do.
QString startTimecode(const QTime &timeOfDay, FrameRate rate);

} // namespace Timecode
