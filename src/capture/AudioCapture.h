// AudioCapture: one audio input of a channel, through SDL2 capture in callback mode or the
// built-in "Test Tone", collected in a bounded buffer (AudioSampleBuffer) with a held peak.
// The application manager owns one per channel with an audio input; the mixer keeps a plain
// pointer to it as its IAudioInput and drains it on every 25 ms tick. No mixing, gain or file writing happens here.
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
//
// Clock: every input is brought to the master clock (the monotonic clock that paces video)
// on the producer's thread, before its samples enter the buffer: a DriftCompensator measures
// the device's true rate from when its blocks arrive and resamples it where it drifts, so
// what a reader takes lies where the video clock puts it. clear() restarts that timeline:
// the next frame read belongs to the moment of the clear(). The producer reads clear()'s
// anchor through an atomic and the buffer's generation, so a block it was working on during
// the clear() never lands after it.
#pragma once

#include "common/AudioFormat.h"
#include "capture/AudioSampleBuffer.h"
#include "capture/IAudioInput.h"
#include "capture/TestToneGenerator.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class DriftCompensator;

class AudioCapture : public IAudioInput
{
public:
    // The built-in input, listed after the system's devices.
    static QString testToneName();
    // The entry that means "no input at all": start() refuses it.
    static QString noAudioName();

    AudioCapture();
    ~AudioCapture() override;

    // Opens the device and starts collecting. "", "default" and "Default system input" open
    // the system's default capture device, testToneName() the built-in tone, anything else
    // the SDL capture device of that name. Channels below 1 mean stereo. An open device is
    // stopped first. Returns false for "No Audio", and when the device does not open (logged
    // with SDL's reason).
    bool start(const QString &deviceName, int channels);
    void stop();

    // The largest absolute sample since the previous call (or clear/start/stop), then 0.
    float takePeak();
    // The device name given to the last start().
    QString name() const;
    // Channel count of the open device.
    int channels() const override;
    bool isRunning() const override;

    // Milliseconds of the newest audio that readers must not take yet (0 to 10 000).
    void setDelayMs(int delayMs);
    int delayMs() const;

    // Empties the buffer and resets the peak (the mixer does this when a take starts).
    void clear() override;
    // Samples a reader may take now (whole frames).
    size_t availableSamples() const override;
    // Up to maxSamples of the oldest samples (all available when maxSamples < 1), rounded
    // down to whole frames. Reports an overflow that happened since the previous read.
    std::vector<float> readSamples(int maxSamples) override;

    // Samples lost to overflow since the last start().
    quint64 droppedSamples() const;

    // --- test hooks (set before start()) ---
    // The clock arrivals are timed on and restarts anchored to (the monotonic clock unless a
    // test runs in simulated time). Read on the producer's thread and the owner's.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    // Frames per second of the built-in tone and of the master clock it is brought to.
    void setSampleRate(int rate);
    int sampleRate() const { return m_sampleRate; }
    // The built-in tone as a device whose crystal is off by `ppm`, or paced by the test
    // (deliverTestTone()) instead of its own thread.
    void setTestToneClockErrorPpm(double ppm) { m_testTone.setClockErrorPpm(ppm); }
    void setTestToneManualPacing(bool manual) { m_manualTone = manual; }
    // Manual pacing: the tone's blocks due by nowNs arrive now (on the caller's thread).
    void deliverTestTone(qint64 nowNs) { m_testTone.deliverDue(nowNs); }
    // Off: samples go to the buffer as the device delivers them (the input is its own clock).
    void setDriftCompensationEnabled(bool enabled) { m_compensationEnabled = enabled; }

private:
    bool openSdlDevice(const QString &deviceName, int channels);
    void reportOverflow();
    // The producer's entry (SDL's audio thread, the tone's thread or a test's manual pacing):
    // brings one delivered block to the master clock and hands it to the buffer.
    void deliver(const float *samples, size_t count);
    void prepareCompensator();
    friend void deliverCapturedAudio(void *capture, const float *samples, size_t count);

    QString m_name;
    int m_channels = 0;
    quint32 m_deviceId = 0; // SDL audio device id; 0 while no SDL device is open.
    AudioSampleBuffer m_buffer;
    TestToneGenerator m_testTone;

    Clock m_clock;
    int m_sampleRate = AudioFormat::kSampleRate;
    bool m_manualTone = false;
    bool m_compensationEnabled = true;
    // Set by clear() before the buffer's generation moves on; read by the producer.
    std::atomic<qint64> m_restartNs{0};
    // Producer thread only (created by start() before the producer runs).
    std::unique_ptr<DriftCompensator> m_compensator;
    quint64 m_seenGeneration = 0;
    std::vector<float> m_compensated;
};
