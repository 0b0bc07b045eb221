// InputConditioner: what a channel does to its input before anything else hears it: the gain
// trim and the 80 Hz low cut. Its output is the channel's own recording (the ISO track), the
// meters and what the faders and the master start from.
//
// The low cut is a second-order Butterworth high-pass (one biquad per channel, in double so
// that a pole this close to DC stays exact). It runs all the time, switched on or off by a
// crossfade between the input and the filtered input, so switching it never steps the
// signal and the filter's state is already warm when it is switched on. A trim change glides
// the same way. Both glide over kGlideMs.
//
// Threads: setTrimDb() and setLowCutEnabled() may be called from any thread (atomics); they
// take effect at the next block. process() and configure() belong to the one thread that
// produces the input's samples (the capture device's), which owns the filter state.
#pragma once

#include <array>
#include <atomic>
#include <vector>

class InputConditioner
{
public:
    // The range of the channel's Gain Trim control.
    static constexpr float kMinTrimDb = -20.0f;
    static constexpr float kMaxTrimDb = 20.0f;
    static constexpr double kLowCutHz = 80.0;
    // Long enough that neither a trim step nor the low cut's crossfade clicks, short enough
    // to feel immediate.
    static constexpr int kGlideMs = 20;
    static constexpr int kMaxChannels = 2;

    InputConditioner();

    // Interleaved layout and rate of the input; resets the filter and jumps to the settings.
    void configure(int sampleRate, int channels);

    void setTrimDb(float trimDb);
    float trimDb() const { return m_trimDb.load(std::memory_order_relaxed); }
    void setLowCutEnabled(bool enabled);
    bool isLowCutEnabled() const { return m_lowCut.load(std::memory_order_relaxed); }

    // Conditions `frames` interleaved frames in place.
    void process(float *samples, long long frames);

    // A trim limited to the control's range (0 for anything that is not a number).
    static float clampTrimDb(float trimDb);
    // The linear gain of a trim in dB, limited to the control's range.
    static float gainForTrimDb(float trimDb);

private:
    struct Biquad
    {
        double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    };
    // Transposed direct form II state of one channel.
    struct FilterState
    {
        double z1 = 0.0, z2 = 0.0;
    };

    std::atomic<float> m_trimDb{0.0f};
    std::atomic<bool> m_lowCut{false};

    // Producer thread only.
    int m_channels = 1;
    int m_glideFrames = 960;
    Biquad m_highPass;
    std::array<FilterState, kMaxChannels> m_state{};
    float m_gain = 1.0f;    // the trim's gain now (gliding towards the setting)
    float m_wet = 0.0f;     // share of the filtered signal now: 0 off, 1 on
};
