// What a listener would check in a recording of the built-in inputs: where each beep starts
// and ends, how loud it is and at what pitch, and the level of a steady tone. Works on float
// samples (inputs, mixer outputs) and on 16-bit WAV data alike.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <vector>

struct Beep
{
    qint64 firstFrame = 0;
    qint64 lastFrame = 0;
    double peak = 0.0;
    int signChanges = 0;

    qint64 frames() const { return lastFrame - firstFrame + 1; }
    // A sine of f Hz crosses zero 2·f times a second.
    double frequencyHz(int sampleRate) const { return (signChanges + 1) * sampleRate / (2.0 * double(frames())); }
};

// Runs of sound on one channel of an interleaved signal, split by at least 1 ms of samples at
// or below `threshold` (a sine at 48 kHz never rests on 0 for more than one sample).
template <typename Sample>
std::vector<Beep> findBeeps(const std::vector<Sample> &samples, int channels, int channel, int sampleRate,
                            double threshold = 0.0)
{
    const qint64 gapFrames = sampleRate / 1000;
    const qint64 frames = qint64(samples.size()) / channels;
    std::vector<Beep> beeps;
    qint64 lastSound = -gapFrames - 1;
    double previous = 0.0;
    for (qint64 i = 0; i < frames; ++i) {
        const double x = double(samples[size_t(i * channels + channel)]);
        if (std::fabs(x) <= threshold)
            continue;
        if (i - lastSound > gapFrames) {
            beeps.push_back(Beep{i, i, 0.0, 0});
            previous = 0.0;
        }
        Beep &beep = beeps.back();
        beep.lastFrame = i;
        beep.peak = std::max(beep.peak, std::fabs(x));
        if (previous != 0.0 && (previous > 0.0) != (x > 0.0))
            ++beep.signChanges;
        previous = x;
        lastSound = i;
    }
    return beeps;
}

// RMS level in dB (relative to 1) of one channel over frames [from, to).
template <typename Sample>
double rmsDb(const std::vector<Sample> &samples, int channels, int channel, qint64 from, qint64 to)
{
    double sum = 0.0;
    for (qint64 i = from; i < to; ++i) {
        const double x = double(samples[size_t(i * channels + channel)]);
        sum += x * x;
    }
    return 10.0 * std::log10(std::max(sum / double(std::max<qint64>(1, to - from)), 1e-30));
}
