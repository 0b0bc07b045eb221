// AudioCaptureDevice: one capture device, opened once at its own channel count and shared by
// every channel that takes inputs from it (one AudioInputTap per channel). It is the device's
// one clock: a single DriftCompensator brings all its inputs to the master clock together, so
// they stay sample-aligned with each other and with the video, and places them on the one
// audio timeline (AudioTimeline) every input shares. It notices when the device goes
// (SDL marks it removed, or no samples come for kSilentLostNs) and reopens it by itself when it
// is back; the taps keep the device's timeline across the gap, so what follows lies where it
// belongs and the drift compensation locks again from the new stream.
//
// Kinds: an SDL capture device (by SDL's name; "" the system default), the built-in "Test
// Tone" (two channels of one tone) and the built-in four-input "Test Interface" (each input
// its own beep).
//
// Threads: open(), close(), poll(), subscribe(), unsubscribe() and restart() run on the GUI
// thread (AudioDeviceRegistry, AudioCapture). Blocks arrive on the producer's thread (SDL's
// audio thread, the tone's own thread, or a test's manual pacing) at deliver(): it compensates
// outside any lock, then fans out to the taps under m_tapsMutex, the one hand-over.
// subscribe(), unsubscribe() and restart() take the same lock, so a tap gets no block after
// it left and no block made before a restart. Stopping the producer (SDL closes the device,
// which joins its thread; the tone joins its own) comes before anything the producer owns
// changes, and the producer's state is set up again before it restarts.
#pragma once

#include "capture/TestToneGenerator.h"
#include "common/AudioFormat.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class AudioInputTap;
class DriftCompensator;

// How the devices of one registry run. The defaults are the program's; tests change them.
struct AudioDeviceOptions
{
    // The master clock arrivals are timed on (the monotonic clock unless a test runs in
    // simulated time).
    std::function<qint64()> clock;
    int sampleRate = AudioFormat::kSampleRate;
    // The built-in devices as hardware whose crystal is off, or paced by the test.
    double testToneClockErrorPpm = 0.0;
    bool manualTonePacing = false;
    // Off: frames go out as the device delivers them (the device is its own clock).
    bool driftCompensation = true;

    qint64 now() const;
};

class AudioCaptureDevice
{
public:
    enum class Kind { Sdl, TestTone, TestInterface };
    enum class State { Live, Lost, Reconnecting };

    // No samples for this long: the device is taken for gone.
    static constexpr qint64 kSilentLostNs = 2'000'000'000;
    // A lost device is tried again this often once it is listed again.
    static constexpr qint64 kRetryNs = 1'000'000'000;

    static QString testToneName();
    static QString testInterfaceName();
    static Kind kindOf(const QString &name);
    // Channels of a built-in device; 0 for any other name.
    static int builtInChannels(const QString &name);

    AudioCaptureDevice(QString name, AudioDeviceOptions options);
    ~AudioCaptureDevice();
    AudioCaptureDevice(const AudioCaptureDevice &) = delete;
    AudioCaptureDevice &operator=(const AudioCaptureDevice &) = delete;

    // Opens the device at its own channel count (or `channelsIfUnknown` where the system does
    // not say). False with the system's reason in `error`.
    bool open(int channelsIfUnknown, QString *error);
    void close();

    QString name() const { return m_name; }
    Kind kind() const { return m_kind; }
    const AudioDeviceOptions &options() const { return m_options; }
    // Channels of the open device (of the last open while it is lost).
    int channels() const { return m_channels; }
    State state() const { return m_state; }
    quint32 sdlDeviceId() const { return m_sdlId; }

    void subscribe(AudioInputTap *tap);
    void unsubscribe(AudioInputTap *tap);
    int tapCount() const;
    // Every tap starts again empty, its next frame the one of anchorNs, and the device's
    // output restarts there.
    void restart(qint64 anchorNs);

    // What the registry knows about the device on this look.
    struct Presence
    {
        bool removed = false;              // SDL's removed event named it, or it was unplugged
        std::function<bool()> isListed;    // whether the system offers it now
    };
    // The watch: lost (removed or silent), reopened when listed again, back once samples flow.
    // Returns true when the state changed.
    bool poll(const Presence &presence);

    // Manual pacing of a built-in device: hands over the blocks due by nowNs, on the caller's
    // thread.
    void deliverTestTone(qint64 nowNs);
    // Test hook: the device's blocks are lost on the way (a stalled driver) while set.
    void setSilenced(bool silenced) { m_silenced.store(silenced, std::memory_order_relaxed); }
    // The producer's entry: one block of interleaved frames as the device delivered it (SDL's
    // callback, the tone, a test or the benchmark in place of a device).
    void deliver(const float *samples, size_t count);

private:
    bool startProducer(int channelsIfUnknown, QString *error);
    bool openSdl(int channelsIfUnknown, QString *error);
    void stopProducer();
    void prepareProducer();
    void lose(qint64 nowNs, const char *reason);

    const QString m_name;
    const Kind m_kind;
    const AudioDeviceOptions m_options;

    // GUI thread (read by the producer only while it runs, when they do not change).
    int m_channels = 0;
    quint32 m_sdlId = 0;
    TestToneGenerator m_tone;
    State m_state = State::Live;
    bool m_isOpen = false;
    qint64 m_nextRetryNs = 0;
    qint64 m_reopenedNs = 0;

    std::atomic<qint64> m_lastArrivalNs{0};
    std::atomic<bool> m_silenced{false};
    // Set by restart() before the generation moves on; read by the producer.
    std::atomic<qint64> m_restartNs{0};
    std::atomic<quint64> m_generation{0};

    mutable std::mutex m_tapsMutex;
    std::vector<AudioInputTap *> m_taps; // Guarded by m_tapsMutex.

    // Producer thread only (set up by prepareProducer() while no producer runs).
    std::unique_ptr<DriftCompensator> m_compensator;
    quint64 m_seenGeneration = 0;
    bool m_needsPlacement = false; // the next block is the first after an open
    qint64 m_position = 0;         // place on the timeline of the next frame handed out
    std::vector<float> m_compensated;
};
