// EncoderBenchmarkRun: one run of the hardware benchmark, on a thread of its own. Each usable
// encoder entry encodes the same 90 detailed 1920×1080 test pictures into a scratch file; the
// run measures the process's CPU time and the wall-clock time each took, and
// recommendSettings() turns the measurements into the settings to recommend
// (EncoderBenchmark.h).
//
// Threads. The GUI thread owns the run: start(), cancel(), isRunning() and the destructor run
// there, and finished() is emitted there. start() starts the run's thread ("Benchmark"),
// which makes the encoders, one at a time, and is their only caller (IEncoder.h): it opens
// one, feeds it frames with at most kMaxQueuedFrames waiting, waits until all have reached
// the encoder, stops it, measures, and removes its file. The recommendation reaches the GUI thread as a queued call
// on this object, which joins the thread, clears isRunning() and emits finished().
// cancel() sets the quit flag and wakes the thread wherever it waits, then joins it: the
// thread stops the encoder in hand, which encodes the few frames still queued, and ends, so
// the GUI thread waits no longer than that encoder's own stop(). A cancelled run recommends
// nothing and emits nothing, also when its result was already on its way.
#pragma once

#include "app/EncoderBenchmark.h"
#include "capture/Picture.h"

#include <QObject>
#include <QVariantList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class IEncoder;

class EncoderBenchmarkRun : public QObject
{
    Q_OBJECT

public:
    // Enough to keep an encoder busy between two looks of the run (every millisecond), and
    // far inside its own two-second queue, so no frame is dropped; few enough that stopping
    // it on a cancel encodes a fraction of a second.
    static constexpr int kMaxQueuedFrames = 8;

    // What each encoder is measured on.
    struct Workload
    {
        int width = 1920;
        int height = 1080;
        int frames = 90;
    };
    // Makes the encoders the run measures; FfmpegEncoder unless told otherwise. Called on the
    // run's thread.
    using EncoderFactory = std::function<std::unique_ptr<IEncoder>()>;

    explicit EncoderBenchmarkRun(QObject *parent = nullptr);
    // Cancels a run still going.
    ~EncoderBenchmarkRun() override;

    // For the next start(): other encoders, another workload (tests use small ones).
    void setEncoderFactory(EncoderFactory factory) { m_makeEncoder = std::move(factory); }
    void setWorkload(const Workload &workload) { m_workload = workload; }

    bool isRunning() const { return m_isRunning; }

    // Measures every entry of `capabilities` (the encoder list, in its order); finished()
    // follows when the last one is done. Ignored while a run is going.
    void start(const QVariantList &capabilities);
    // Ends the run now: the encoder in hand is stopped and its file removed.
    void cancel();

signals:
    void finished(const BenchmarkRecommendation &recommendation);

private:
    // The run's thread.
    void run(const QVariantList &capabilities, const Workload &workload, const EncoderFactory &makeEncoder,
             quint64 runId);
    EncoderMeasurement measure(int index, const QVariantList &capabilities, const Workload &workload,
                               const EncoderFactory &makeEncoder, const QString &folder, const Picture &picture);
    // Waits up to `ms` for cancel(); true when the run goes on.
    bool pause(int ms);
    bool isCancelled();

    // GUI thread.
    void deliver(quint64 runId, const BenchmarkRecommendation &recommendation);

    // GUI thread only (the thread works on copies made at start()).
    bool m_isRunning = false;
    quint64 m_runId = 0;
    Workload m_workload;
    EncoderFactory m_makeEncoder;
    // Started and joined by the GUI thread.
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_isCancelled = false; // Guarded by m_mutex.
};
