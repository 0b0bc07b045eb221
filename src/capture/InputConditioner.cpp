#include "capture/InputConditioner.h"

#include "common/AudioFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

InputConditioner::InputConditioner()
{
    configure(AudioFormat::kSampleRate, 1);
}

float InputConditioner::clampTrimDb(float trimDb)
{
    return std::isfinite(trimDb) ? std::clamp(trimDb, kMinTrimDb, kMaxTrimDb) : 0.0f;
}

float InputConditioner::gainForTrimDb(float trimDb)
{
    return std::pow(10.0f, clampTrimDb(trimDb) / 20.0f);
}

void InputConditioner::setTrimDb(float trimDb)
{
    m_trimDb.store(clampTrimDb(trimDb), std::memory_order_relaxed);
}

void InputConditioner::setLowCutEnabled(bool enabled)
{
    m_lowCut.store(enabled, std::memory_order_relaxed);
}

void InputConditioner::configure(int sampleRate, int channels)
{
    const int rate = sampleRate > 0 ? sampleRate : AudioFormat::kSampleRate;
    m_channels = std::clamp(channels, 1, kMaxChannels);
    m_glideFrames = std::max(1, rate * kGlideMs / 1000);

    // Butterworth high-pass by the bilinear transform (Q = 1/sqrt 2), normalised by a0.
    const double w0 = 2.0 * std::numbers::pi * kLowCutHz / rate;
    const double cosW0 = std::cos(w0);
    const double alpha = std::sin(w0) / std::numbers::sqrt2; // sin(w0) / (2 Q), Q = 1/sqrt 2
    const double a0 = 1.0 + alpha;
    m_highPass.b0 = (1.0 + cosW0) / 2.0 / a0;
    m_highPass.b1 = -(1.0 + cosW0) / a0;
    m_highPass.b2 = m_highPass.b0;
    m_highPass.a1 = -2.0 * cosW0 / a0;
    m_highPass.a2 = (1.0 - alpha) / a0;

    m_state = {};
    m_gain = gainForTrimDb(trimDb());
    m_wet = isLowCutEnabled() ? 1.0f : 0.0f;
}

void InputConditioner::process(float *samples, long long frames)
{
    if (!samples || frames <= 0)
        return;
    const float targetGain = gainForTrimDb(trimDb());
    const float targetWet = isLowCutEnabled() ? 1.0f : 0.0f;
    // Per-frame steps that reach the settings within the glide time.
    const float gainStep = (targetGain - m_gain) / float(m_glideFrames);
    const float wetStep = (targetWet - m_wet) / float(m_glideFrames);
    const Biquad &f = m_highPass;

    for (long long i = 0; i < frames; ++i) {
        if (m_gain != targetGain)
            m_gain = std::fabs(targetGain - m_gain) <= std::fabs(gainStep) ? targetGain : m_gain + gainStep;
        if (m_wet != targetWet)
            m_wet = std::fabs(targetWet - m_wet) <= std::fabs(wetStep) ? targetWet : m_wet + wetStep;
        float *frame = samples + i * m_channels;
        for (int c = 0; c < m_channels; ++c) {
            FilterState &s = m_state[size_t(c)];
            const double x = frame[c];
            const double y = f.b0 * x + s.z1;
            s.z1 = f.b1 * x - f.a1 * y + s.z2;
            s.z2 = f.b2 * x - f.a2 * y;
            const double mixed = x + double(m_wet) * (y - x);
            frame[c] = float(mixed * double(m_gain));
        }
    }
    // Denormals in a filter fed silence cost far more than the filter itself.
    for (FilterState &s : m_state) {
        if (std::fabs(s.z1) < 1e-30)
            s.z1 = 0.0;
        if (std::fabs(s.z2) < 1e-30)
            s.z2 = 0.0;
    }
}
