// AudioCapture: one audio input of a channel, through SDL2 capture in callback mode or the
// built-in "Test Tone", collected in a bounded buffer (AudioSampleBuffer) with a held peak.
// The application manager owns one per channel with an audio input; the mixer keeps a plain
// pointer and drains it on every 25 ms tick. No mixing, gain or file writing happens here.
//
// Threads: start(), stop(), destruction and every reader (availableSamples, readSamples,
// clear, takePeak) run on the GUI thread. Samples arrive on SDL's audio thread (about every
// 5 ms, 256 frames) or on the Test Tone thread; both hand them over through the one
// AudioSampleBuffer::append(), the only cross-thread call. stop() closes the SDL device or
// joins the tone thread before it empties the buffer, so nothing arrives after it returns.
// name(), channels() and isRunning() are GUI-thread state, changed only by start() and stop().
//
// Samples: 32-bit float, channels interleaved, 48 000 frames per second; reads hand out whole
// frames only.
#pragma once

#include "capture/AudioSampleBuffer.h"
#include "capture/TestToneGenerator.h"

#include <QString>

#include <cstddef>
#include <vector>

class AudioCapture
{
public:
    static constexpr int kSampleRate = 48000;

    // The built-in input, listed after the system's devices.
    static QString testToneName();
    // The entry that means "no input at all": start() refuses it.
    static QString noAudioName();

    AudioCapture();
    virtual ~AudioCapture();
    AudioCapture(const AudioCapture &) = delete;
    AudioCapture &operator=(const AudioCapture &) = delete;

    // Opens the device and starts collecting. "", "default" and "Default system input" open
    // the system's default capture device, testToneName() the built-in tone, anything else
    // the SDL capture device of that name. Channels below 1 mean stereo. An open device is
    // stopped first. Returns false for "No Audio", and when the device does not open (logged
    // with SDL's reason).
    virtual bool start(const QString &deviceName, int channels);
    virtual void stop();

    // The largest absolute sample since the previous call (or clear/start/stop), then 0.
    virtual float takePeak();
    // The device name given to the last start().
    virtual QString name() const;
    // Channel count of the open device.
    virtual int channels() const;
    virtual bool isRunning() const;

    // Milliseconds of the newest audio that readers must not take yet (0 to 10 000).
    virtual void setDelayMs(int delayMs);
    virtual int delayMs() const;

    // Empties the buffer and resets the peak (the mixer does this when a take starts).
    virtual void clear();
    // Samples a reader may take now (whole frames).
    virtual size_t availableSamples() const;
    // Up to maxSamples of the oldest samples (all available when maxSamples < 1), rounded
    // down to whole frames. Reports an overflow that happened since the previous read.
    virtual std::vector<float> readSamples(int maxSamples);

    // Samples lost to overflow since the last start().
    quint64 droppedSamples() const;

private:
    bool openSdlDevice(const QString &deviceName, int channels);
    void reportOverflow();

    QString m_name;
    int m_channels = 0;
    quint32 m_deviceId = 0; // SDL audio device id; 0 while no SDL device is open.
    AudioSampleBuffer m_buffer;
    TestToneGenerator m_testTone;
};
