// EncoderBenchmarkRun: one run of the hardware benchmark. Each usable encoder entry encodes
// the same 90 detailed 1920×1080 test pictures into a scratch file; the run measures the
// process's CPU time and the wall-clock time each took, and recommendSettings() turns the
// measurements into the settings to recommend (EncoderBenchmark.h).
//
// Threads. Everything here runs on the GUI thread, as IEncoder asks of every caller: start(),
// cancel(), the destructor and the step timer that drives the run. The run owns no thread of
// its own: each encoder encodes on its own worker, and a 1 ms step only opens the next encoder,
// tops up its queue (at most kMaxQueuedFrames waiting, well inside the encoder's two-second
// queue, so no frame is dropped and the encoder never waits for the run) and, once the queue
// has drained, stops it, which flushes its last few frames and completes the file. A step never
// waits for an encoder; only an encoder's stop() does, for those last frames (and, on cancel(),
// for what is still queued: a fraction of a second).
#pragma once

#include "app/EncoderBenchmark.h"
#include "capture/Picture.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariantList>

#include <memory>

class IEncoder;
class QTemporaryDir;

class EncoderBenchmarkRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;
    static constexpr int kFrames = 90;
    static constexpr int kMaxQueuedFrames = 30;

    explicit EncoderBenchmarkRun(QObject *parent = nullptr);
    // Cancels a run still going.
    ~EncoderBenchmarkRun() override;

    bool isRunning() const { return m_isRunning; }

    // Measures every entry of `capabilities` (the encoder list, in its order); finished()
    // follows when the last one is done. Ignored while a run is going.
    void start(const QVariantList &capabilities);
    // Ends the run now: the encoder in hand is stopped and its file removed; a cancelled run
    // recommends nothing and emits nothing.
    void cancel();

signals:
    void finished(const BenchmarkRecommendation &recommendation);

private:
    void step();
    void openNextEncoder();
    // Stops the current encoder and keeps its measurement.
    void finishEncoder();
    void finishRun();

    bool m_isRunning = false;
    QTimer m_stepTimer;
    QVariantList m_capabilities;
    Picture m_picture;
    std::unique_ptr<QTemporaryDir> m_scratch;
    QList<EncoderMeasurement> m_measurements;

    // The encoder being measured, and its progress.
    int m_nextIndex = 0;
    std::unique_ptr<IEncoder> m_encoder;
    QString m_outputPath;
    EncoderMeasurement m_current;
    int m_framesSent = 0;
    qint64 m_cpuStartNs = 0;
    QElapsedTimer m_wall;
};
