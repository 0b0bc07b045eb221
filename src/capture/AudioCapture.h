// AudioCapture: the audio input of one channel: one input or a pair of inputs of a capture
// device (AudioInputChoice), trimmed and low-cut, collected in a bounded buffer with a held
// peak. The device itself (SDL2 capture in callback mode, or a built-in one) is shared with
// every other channel that takes inputs from it (AudioCaptureDevice, through the
// AudioDeviceRegistry): it is opened once, at its own channel count, and has one clock. The
// application manager owns one AudioCapture per channel with an audio input; the mixer keeps
// a plain pointer to it as its IAudioInput and drains it on every 25 ms tick. No mixing or
// file writing happens here; what the buffer holds is the channel's own recording (after trim
// and low cut only).
//
// Threads: start(), stop(), destruction and every reader (availableSamples, readSamples,
// skip, clear, takePeak) run on the GUI thread. Samples arrive on the device's producer
// thread and reach this input's buffer through the device's tap lock and the buffer's own, the
// one hand-over (see AudioCaptureDevice). stop() leaves the device under its tap lock, so
// nothing arrives after it returns. Trim and low cut may be set at any time (atomics).
//
// Samples: 32-bit float, one (mono) or two (stereo) channels interleaved, 48 000 frames per
// second; reads hand out whole frames only.
//
// Clock and timeline: the device brings its inputs to the master clock (the monotonic clock
// that paces video) before they reach the buffer. clear() restarts the device's timeline: the
// next frame read belongs to the moment of the clear() (for every channel on that device, as
// they share one clock). A reader that fills a time with silence because the input had
// nothing (skip()) moves on; audio that comes for that time later is dropped, so a late or
// returning input never shifts what follows.
//
// Lost and back: when the device goes away the input stays attached (isRunning()) and reads
// empty; isLost() says so until the device has been reopened and delivers again.
#pragma once

#include "capture/AudioInputChoice.h"
#include "capture/AudioCaptureDevice.h"
#include "capture/IAudioInput.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class AudioDeviceRegistry;
class AudioInputTap;

class AudioCapture : public IAudioInput
{
public:
    // The built-in inputs, listed after the system's devices: "Test Tone" (two channels of the
    // same tone) and the four-input "Test Interface" (each input beeps on its own).
    static QString testToneName();
    static QString testInterfaceName();
    // The entry that means "no input at all": start() refuses it.
    static QString noAudioName();

    // Devices come from `registry`, the program's shared one when none is given.
    explicit AudioCapture(AudioDeviceRegistry *registry = nullptr);
    ~AudioCapture() override;

    // Opens the chosen inputs and starts collecting. `deviceName` is an input list entry:
    // a device name, with the inputs it takes ("Interface — In 3", "Interface — In 1+2").
    // "", "default" and "Default system input" are the system's default capture device,
    // testToneName() and testInterfaceName() the built-in ones. A device name alone takes the
    // device's first min(channels, 2) inputs (channels below 1 mean stereo). An open input is
    // stopped first. Returns false for "No Audio", and when the device does not open (logged
    // with the system's reason).
    bool start(const QString &deviceName, int channels);
    void stop();

    // The largest absolute sample since the previous call (or clear/start/stop), then 0.
    float takePeak();
    // The input list entry given to the last start().
    QString name() const;
    // Channels this input hands out: 1 (mono) or 2 (stereo).
    int channels() const override;
    // Attached to a device (also while the device is lost and being waited for).
    bool isRunning() const override;

    // Milliseconds of the newest audio that readers must not take yet (0 to 10 000).
    void setDelayMs(int delayMs);
    int delayMs() const;

    // Restarts the timeline of the input's device: every channel on it starts empty, and the
    // next frame belongs to this moment (the mixer does this when a take starts).
    void clear() override;
    // Samples a reader may take now (whole frames).
    size_t availableSamples() const override;
    // Up to maxSamples of the oldest samples (all available when maxSamples < 1), rounded
    // down to whole frames. Reports an overflow that happened since the previous read.
    std::vector<float> readSamples(int maxSamples) override;
    void skip(qint64 frames) override;
    qint64 readPosition() const override;
    qint64 takeFilledFrames() override;

    // The device is gone, or reopened but not delivering yet.
    bool isLost() const;
    // What start() chose, and "In 3" / "In 1+2" for the inputs it takes (empty before start()).
    AudioInputChoice choice() const { return m_choice; }
    QString inputLabel() const;
    // Channels of the device the inputs come from (0 before start()).
    int deviceChannels() const;

    // Gain trim in dB (limited to ±20) and the 80 Hz low cut; kept across start() calls and
    // applied before anything reads the input.
    void setTrimDb(float trimDb);
    float trimDb() const { return m_trimDb; }
    void setLowCutEnabled(bool enabled);
    bool isLowCutEnabled() const { return m_lowCut; }

    // Samples lost to overflow since the last start().
    quint64 droppedSamples() const;
    // The device the inputs come from, while started.
    AudioCaptureDevice *device() const { return m_device.get(); }

    // --- test hooks (set before start()) ---
    // Each of these gives this input a registry of its own (devices not shared with anyone),
    // run with the changed option: the clock arrivals are timed on and restarts anchored to,
    // the rate of the built-in devices and of the master clock, a built-in device whose
    // crystal is off by `ppm` or paced by the test (deliverTestTone()), and no drift
    // compensation (the input is its own clock).
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    void setSampleRate(int rate);
    int sampleRate() const;
    void setTestToneClockErrorPpm(double ppm);
    void setTestToneManualPacing(bool manual);
    void setDriftCompensationEnabled(bool enabled);
    // Manual pacing: the device's blocks due by nowNs arrive now (on the caller's thread).
    void deliverTestTone(qint64 nowNs);

private:
    AudioDeviceRegistry &ownRegistry();
    void reportOverflow();

    AudioDeviceRegistry *m_registry;
    std::unique_ptr<AudioDeviceRegistry> m_ownRegistry;
    QString m_name;
    AudioInputChoice m_choice;
    float m_trimDb = 0.0f;
    bool m_lowCut = false;
    std::shared_ptr<AudioCaptureDevice> m_device;
    std::unique_ptr<AudioInputTap> m_tap;
};
