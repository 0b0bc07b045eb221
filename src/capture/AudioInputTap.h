// AudioInputTap: one channel's share of a capture device: one of its inputs, or a pair, taken
// out of the device's frames, trimmed and low-cut (InputConditioner), into a buffer of its
// own that the channel's AudioCapture reads.
//
// Threads: made and configured on the GUI thread before the device knows it. deliver() runs
// on the device's producer thread under the device's tap lock (AudioCaptureDevice), which
// also guards subscribing and leaving; the buffer is the hand-over to the reader, and the
// conditioner's settings are atomics.
#pragma once

#include "capture/AudioSampleBuffer.h"
#include "capture/InputConditioner.h"

#include <QtGlobal>

#include <vector>

class AudioInputTap
{
public:
    // `firstIndex`: the 0-based device channel of the first input; `channels`: 1 or 2.
    AudioInputTap(int firstIndex, int channels, int sampleRate);
    AudioInputTap(const AudioInputTap &) = delete;
    AudioInputTap &operator=(const AudioInputTap &) = delete;

    int firstIndex() const { return m_firstIndex; }
    int channels() const { return m_channels; }
    AudioSampleBuffer &buffer() { return m_buffer; }
    const AudioSampleBuffer &buffer() const { return m_buffer; }
    InputConditioner &conditioner() { return m_conditioner; }
    const InputConditioner &conditioner() const { return m_conditioner; }

    // Producer thread: this tap's inputs of `frames` interleaved device frames, conditioned,
    // into the buffer at `position` of the device's timeline. An input the device does not
    // have (fewer channels than the choice names) is silence.
    void deliver(const float *deviceSamples, qint64 frames, int deviceChannels, qint64 position);

private:
    const int m_firstIndex;
    const int m_channels;
    AudioSampleBuffer m_buffer;
    InputConditioner m_conditioner; // state: producer thread
    std::vector<float> m_scratch;   // producer thread
};
