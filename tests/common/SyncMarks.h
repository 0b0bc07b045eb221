// The marks that make audio/video sync measurable in a recorded take: the test tone's beeps
// in a WAV file and the cameras' white flashes in an MP4 (the built-in and the simulated
// cameras flash, and the tone beeps, at every whole second of the monotonic clock).
#pragma once

#include "MediaReadback.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// Sample positions where a beep starts: a loud sample after at least 10 ms of quiet.
inline QList<qint64> beepOnsets(const WavReadback &wav)
{
    QList<qint64> onsets;
    qint64 quiet = 0;
    for (qint64 i = 0; i < wav.frames(); ++i) {
        const bool loud = std::abs(int(wav.samples[size_t(i * wav.channels)])) > 100;
        if (loud && quiet >= 480)
            onsets.append(i);
        quiet = loud ? 0 : quiet + 1;
    }
    return onsets;
}

// Frames where a white flash begins: far brighter than the colour bars. The camera and the
// recording run on their own 30 fps clocks, so a flash picture can fill two frame slots; its
// first one counts.
inline QList<int> flashFrames(const Readback &video)
{
    QList<int> flashes;
    for (int i = 0; i < video.meanLuma.size(); ++i) {
        const bool bright = video.meanLuma[i] > 200.0;
        const bool wasBright = i > 0 && video.meanLuma[i - 1] > 200.0;
        if (bright && !wasBright)
            flashes.append(i);
    }
    return flashes;
}

// Empty when a video's flashes and the master's beeps are in sync, else what is off. Every
// flash lies within one and a half frames of a beep: a camera's flash is its first picture
// of the new second, taken up to a frame after it, and a frame slot shows the picture taken
// nearest its start, up to half a frame either way. A take that starts just after a whole second opens
// on a flash whose beep began before the first sample, so a flash within the first frame's
// length of the start needs no beep (a slot shows the picture taken nearest to it, which can
// be frame 1 for a picture taken half a frame into the take). And every
// beep has its flash, but for one at most: a camera and the recording tick run on clocks of
// their own, so on a loaded machine a picture can miss its frame slot; a beep in the last
// 0.2 s may have its picture taken after the stop.
inline QString syncProblems(const QList<int> &flashes, const QList<qint64> &beeps, double seconds, double fps = 30.0)
{
    const auto near = [fps](int flash, qint64 beep) {
        return std::fabs(flash / fps - beep / 48000.0) <= 1.5 / fps + 0.002;
    };
    QString times;
    for (int f : flashes)
        times += QStringLiteral(" flash %1").arg(f / fps);
    for (qint64 b : beeps)
        times += QStringLiteral(" beep %1").arg(b / 48000.0);
    for (int flash : flashes) {
        const bool mayHaveItsBeepBeforeTheStart = flash / fps <= 1.5 / fps + 0.002;
        if (!mayHaveItsBeepBeforeTheStart
            && std::none_of(beeps.cbegin(), beeps.cend(), [&](qint64 beep) { return near(flash, beep); }))
            return QStringLiteral("a flash without its beep:") + times;
    }
    int unmatched = 0;
    for (qint64 beep : beeps) {
        if (beep / 48000.0 <= seconds - 0.2
            && std::none_of(flashes.cbegin(), flashes.cend(), [&](int flash) { return near(flash, beep); }))
            ++unmatched;
    }
    return unmatched <= 1 ? QString() : QStringLiteral("%1 beeps without their flash:").arg(unmatched) + times;
}
