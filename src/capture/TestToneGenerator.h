// TestToneGenerator: the built-in audio input "Test Tone", one thread.
// A 1 kHz sine at -18 dBFS sounds during the first 100 ms of every whole second of the
// monotonic clock and silence fills the rest. The virtual cameras flash white at every whole
// second of the same clock, so a recording of both shows its audio/video offset directly.
//
// start()/stop() run on the owner's thread (the GUI thread, through AudioCapture). The thread
// "TestTone" paces itself on the monotonic clock and hands each 5 ms block to the sink given
// to start(), the only cross-thread call, as a sound card hands blocks to SDL's callback:
// a block is delivered once the moment of its last sample has passed. stop() wakes the
// thread and joins it before returning, so the sink is never called after stop().
//
// Frame k of a run is the moment anchor + k / 48 000 s (anchor = the clock at start()), so a
// late wake-up only delays delivery; it never stretches, drops or repeats audio.
//
// The built-in four-input device runs the same generator with each channel its own input:
// input k (0-based) beeps at 1000 + 500·k Hz, starting 250·k ms into every second, so a
// recording shows by pitch and by position which input it holds. Input 0 is the Test Tone.
//
// Test hooks (not user options): a clock error makes the tone a device whose crystal is off:
// its frames come at 48 000 × (1 + error) per second of the monotonic clock while its beeps
// still start at its own whole seconds (every 48 000 of its frames). Manual pacing runs no
// thread: the test calls deliverDue() with its own simulated time. A sample rate other than
// 48 000 lets a simulated hour cost less.
#pragma once

#include "common/AudioFormat.h"

#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

class TestToneGenerator
{
public:
    using Sink = std::function<void(const float *samples, size_t count)>;

    static constexpr int kFrequencyHz = 1000;
    static constexpr double kLevelDbfs = -18.0;
    static constexpr qint64 kBeepDurationNs = 100'000'000;
    // 5 ms blocks: as often as a low-latency sound card delivers, and far below the 25 ms
    // mixer tick, so the tone never looks bursty to the meters.
    static constexpr int kBlockFrames = AudioFormat::kSampleRate / 200;
    // The distinct inputs of the four-input device: pitch and place of input k's beep.
    static constexpr int kInputPitchStepHz = 500;
    static constexpr qint64 kInputOffsetStepNs = 250'000'000;

    TestToneGenerator();
    ~TestToneGenerator();
    TestToneGenerator(const TestToneGenerator &) = delete;
    TestToneGenerator &operator=(const TestToneGenerator &) = delete;

    // Starts the thread with `channels` interleaved channels (below 1 counts as 2), each
    // carrying the same tone. Returns false if it is already running.
    bool start(int channels, Sink sink);
    void stop();
    bool isRunning() const;

    // Before start(): every channel its own input (see above) instead of all the same tone.
    void setDistinctInputs(bool distinct) { m_distinctInputs = distinct; }

    // Test hooks, set before start(): see above.
    void setClockErrorPpm(double ppm) { m_clockErrorPpm = ppm; }
    void setSampleRate(int rate) { m_rate = rate > 0 ? rate : AudioFormat::kSampleRate; }
    // Starts without a thread, anchored at anchorNs; deliverDue() then hands over the blocks.
    bool startManual(int channels, Sink sink, qint64 anchorNs);
    // Manual pacing: hands every block over whose last frame is due by nowNs (its own thread
    // does the same as the clock runs).
    void deliverDue(qint64 nowNs);

    // Linear peak amplitude of the beep: 10^(-18/20), about 0.1259.
    static float amplitude();
    // The tone's value at a moment of the monotonic clock (nanoseconds), of input `input` of
    // the four-input device (input 0 is the Test Tone).
    static float valueAt(qint64 monotonicNs, int input = 0);
    static int inputFrequencyHz(int input) { return kFrequencyHz + kInputPitchStepHz * input; }
    static qint64 inputOffsetNs(int input) { return kInputOffsetStepNs * input; }
    // The moment of frame `frame` of a run anchored at `anchorNs`. Exact integer arithmetic
    // (1e9 / 48 000 = 62 500 / 3 ns), good for centuries of running.
    static qint64 frameTimeNs(qint64 anchorNs, quint64 frame);
    // Fills `frames` interleaved frames starting at frame `firstFrame` of a run anchored at
    // `anchorNs`.
    static void render(float *out, int channels, qint64 anchorNs, quint64 firstFrame, int frames);

private:
    void run();
    // Own time of frame `frame` since the anchor (its beeps follow it), and the moment of the
    // monotonic clock it is delivered at (differs by the clock error).
    qint64 ownOffsetNs(quint64 frame) const;
    qint64 deliveryTimeNs(quint64 frame) const;
    quint64 framesDueBy(qint64 nowNs) const;
    int blockFrames() const { return m_rate / 200; }
    void prepare(int channels, Sink sink, qint64 anchorNs);

    int m_rate = AudioFormat::kSampleRate;
    double m_clockErrorPpm = 0.0;
    bool m_distinctInputs = false;
    // Set before the thread starts (or by startManual); then the pacing thread's alone.
    int m_channels = 2;
    qint64 m_anchorNs = 0;
    quint64 m_produced = 0;
    bool m_manual = false;
    std::vector<float> m_block;

    std::unique_ptr<QThread> m_thread; // Owner's thread only.
    Sink m_sink;                       // Set before the thread starts; read by it only.

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false; // Guarded by m_mutex.
};
