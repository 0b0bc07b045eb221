// The one sample rate of the whole program: every input is read, mixed, monitored, recorded
// and laid out on the timeline at it, so no stage ever resamples another's output.
#pragma once

#include <QtGlobal>

#include <cmath>

namespace AudioFormat {

inline constexpr int kSampleRate = 48000;

// A float sample as 16-bit PCM (the WAV files and the monitoring output): x × 32767, held
// within [-32768, 32767], truncated toward zero. NaN becomes silence.
inline qint16 toPcm16(float sample)
{
    // A NaN from a broken filter upstream must not become a full-scale click.
    if (std::isnan(sample))
        return 0;
    const float y = sample * 32767.0f;
    if (!(y < 32767.0f))
        return 32767;
    if (!(y > -32768.0f))
        return -32768;
    return qint16(y); // the conversion truncates toward zero
}

} // namespace AudioFormat
