#include "capture/AudioInputTap.h"

#include <algorithm>

AudioInputTap::AudioInputTap(int firstIndex, int channels, int sampleRate)
    : m_firstIndex(std::max(0, firstIndex))
    , m_channels(std::clamp(channels, 1, 2))
{
    m_buffer.configure(m_channels);
    m_conditioner.configure(sampleRate, m_channels);
}

void AudioInputTap::deliver(const float *deviceSamples, qint64 frames, int deviceChannels, qint64 position)
{
    if (!deviceSamples || frames <= 0 || deviceChannels < 1)
        return;
    // Sized once for the device's block length; later blocks of that length allocate nothing.
    const size_t count = size_t(frames) * size_t(m_channels);
    if (m_scratch.size() < count)
        m_scratch.resize(count);
    float *out = m_scratch.data();
    for (int c = 0; c < m_channels; ++c) {
        const int source = m_firstIndex + c;
        if (source >= deviceChannels) {
            for (qint64 i = 0; i < frames; ++i)
                out[size_t(i) * size_t(m_channels) + size_t(c)] = 0.0f;
            continue;
        }
        const float *in = deviceSamples + source;
        for (qint64 i = 0; i < frames; ++i)
            out[size_t(i) * size_t(m_channels) + size_t(c)] = in[size_t(i) * size_t(deviceChannels)];
    }
    m_conditioner.process(out, frames);
    m_buffer.append(out, count, AudioSampleBuffer::kAnyGeneration, position);
}
