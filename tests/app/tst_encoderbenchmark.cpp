// The benchmark's decision for given measurements: which settings and encoder it recommends,
// where it gives up frame rate or resolution, and what its summary says; and a run: on its
// own thread, the only caller of the real encoders it measures, its result on the GUI thread,
// a cancel that stops the encoder in hand and is never followed by a result.
#include "app/EncoderBenchmark.h"
#include "app/EncoderBenchmarkRun.h"
#include "recording/FfmpegEncoder.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

#include <mutex>
#include <set>
#include <thread>

Q_DECLARE_METATYPE(QList<EncoderMeasurement>)

namespace {

// A measurement of `frames` 1080p frames costing cpuMsPerFrame of CPU and wallMsPerFrame of
// wall-clock time each.
EncoderMeasurement measured(int index, const QString &name, const QString &codec, bool hardware,
                            double cpuMsPerFrame, double wallMsPerFrame, int width = 1920, int height = 1080)
{
    EncoderMeasurement m;
    m.encoderIndex = index;
    m.name = name;
    m.codec = codec;
    m.isHardware = hardware;
    m.succeeded = true;
    m.width = width;
    m.height = height;
    m.frames = 120;
    m.cpuMs = cpuMsPerFrame * m.frames;
    m.wallMs = wallMsPerFrame * m.frames;
    return m;
}

EncoderMeasurement failed(int index, const QString &name, const QString &error)
{
    EncoderMeasurement m;
    m.encoderIndex = index;
    m.name = name;
    m.errorText = error;
    return m;
}

const QString kX264 = QStringLiteral("Software H.264");
const QString kX265 = QStringLiteral("Software HEVC");
const QString kNvencH264 = QStringLiteral("NVENC H.264");
const QString kNvencHevc = QStringLiteral("NVENC HEVC");

// A real encoder that notes which thread makes each call. A stalled one claims to have
// encoded nothing, so the run keeps waiting for room in its queue.
class CallerNotingEncoder : public IEncoder
{
public:
    struct Calls
    {
        std::mutex mutex;
        std::set<std::thread::id> threads;
        QByteArray threadName;
        int framesWritten = 0;
        int stops = 0;
    };

    CallerNotingEncoder(std::shared_ptr<Calls> calls, bool stalled)
        : m_calls(std::move(calls)), m_isStalled(stalled) {}

    bool open(const EncoderConfig &config) override
    {
        note();
#ifdef Q_OS_LINUX
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        std::lock_guard lock(m_calls->mutex);
        m_calls->threadName = name;
#endif
        return m_inner.open(config);
    }
    void writeFrame(const VideoFrame &frame) override
    {
        note();
        m_inner.writeFrame(frame);
        std::lock_guard lock(m_calls->mutex);
        ++m_calls->framesWritten;
    }
    bool stop() override
    {
        note();
        std::lock_guard lock(m_calls->mutex);
        ++m_calls->stops;
        return m_inner.stop();
    }
    void setBitrate(int kbps) override { note(); m_inner.setBitrate(kbps); }
    QString lastError() const override { note(); return m_inner.lastError(); }
    bool hasFailed() const override { note(); return m_inner.hasFailed(); }
    qint64 framesEncoded() const override { note(); return m_isStalled ? 0 : m_inner.framesEncoded(); }
    qint64 droppedFrames() const override { note(); return m_inner.droppedFrames(); }
    qint64 bytesWritten() const override { note(); return m_inner.bytesWritten(); }
    QString encoderName() const override { note(); return m_inner.encoderName(); }

private:
    void note() const
    {
        std::lock_guard lock(m_calls->mutex);
        m_calls->threads.insert(std::this_thread::get_id());
    }

    std::shared_ptr<Calls> m_calls;
    bool m_isStalled;
    FfmpegEncoder m_inner;
};

QVariantList softwareEntries()
{
    return {QVariantMap{{"name", kX264}, {"note", "CPU Encoding"}, {"codec", "h264"}, {"encoder", "libx264"}},
            QVariantMap{{"name", kX265}, {"note", "CPU Encoding"}, {"codec", "hevc"}, {"encoder", "libx265"}}};
}

BenchmarkPlan plan(int channels, int threads)
{
    BenchmarkPlan p;
    p.channels = channels;
    p.threads = threads;
    return p;
}

} // namespace

class TestEncoderBenchmark : public QObject
{
    Q_OBJECT

private slots:
    void decision_data()
    {
        QTest::addColumn<QList<EncoderMeasurement>>("measurements");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("threads");
        QTest::addColumn<bool>("sustainable");
        QTest::addColumn<int>("resolution");
        QTest::addColumn<int>("framerate");
        QTest::addColumn<int>("encoder");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("headline");

        const EncoderMeasurement x264 = measured(0, kX264, QStringLiteral("h264"), false, 12.0, 7.0);
        const EncoderMeasurement x265 = measured(1, kX265, QStringLiteral("hevc"), false, 45.0, 25.0);

        // Four 1080p60 channels would need 144 % of two threads; four at 30 need 72 %.
        QTest::newRow("software only on two threads")
            << QList<EncoderMeasurement>{x264, x265} << 4 << 2 << true << 2 << 4 << 0 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p30 Software H.264 (4 channels, 72% CPU)");
        QTest::newRow("one channel keeps 60 fps")
            << QList<EncoderMeasurement>{x264, x265} << 1 << 2 << true << 2 << 8 << 0 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p60 Software H.264 (1 channel, 36% CPU)");
        QTest::newRow("hardware takes 1080p60 off the CPU")
            << QList<EncoderMeasurement>{x264, x265, measured(2, kNvencH264, QStringLiteral("h264"), true, 1.5, 3.0)}
            << 4 << 2 << true << 2 << 8 << 2 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p60 NVENC H.264 (4 channels, 18% CPU, 72% engine)");
        // 240 frames a second at 5 ms each would keep the engine busy 120 % of the time.
        QTest::newRow("slow engine drops to 30 fps, still hardware")
            << QList<EncoderMeasurement>{x264, x265, measured(2, kNvencH264, QStringLiteral("h264"), true, 1.5, 5.0)}
            << 4 << 2 << true << 2 << 4 << 2 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p30 NVENC H.264 (4 channels, 9% CPU, 60% engine)");
        QTest::newRow("H.264 before HEVC when both fit")
            << QList<EncoderMeasurement>{x264, x265, measured(2, kNvencH264, QStringLiteral("h264"), true, 2.0, 2.0),
                                         measured(3, kNvencHevc, QStringLiteral("hevc"), true, 1.0, 2.0)}
            << 4 << 2 << true << 2 << 8 << 2 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p60 NVENC H.264 (4 channels, 24% CPU, 48% engine)");
        QTest::newRow("HEVC when the H.264 encoder failed")
            << QList<EncoderMeasurement>{x264, x265, failed(2, kNvencH264, QStringLiteral("No NVENC capable devices found")),
                                         measured(3, kNvencHevc, QStringLiteral("hevc"), true, 1.0, 2.0)}
            << 4 << 2 << true << 2 << 8 << 3 << 2
            << QStringLiteral("Hardware baseline optimal for 1080p60 NVENC HEVC (4 channels, 12% CPU, 48% engine)");
        // 1080p frames at 32 ms: 1080p30 needs 192 %, 720p30 85 %, 640x480 at 30 28 %.
        QTest::newRow("slow CPU gives up resolution")
            << QList<EncoderMeasurement>{measured(0, kX264, QStringLiteral("h264"), false, 32.0, 20.0)}
            << 4 << 2 << true << 4 << 4 << 0 << 0
            << QStringLiteral("Hardware baseline optimal for 480p30 Software H.264 (4 channels, 28% CPU)");
        // Measured at 720p: 6 ms is 13.5 ms per 1080p frame, so 1080p30 needs 81 %.
        QTest::newRow("cost scales with the measured frame size")
            << QList<EncoderMeasurement>{measured(0, kX264, QStringLiteral("h264"), false, 6.0, 4.0, 1280, 720)}
            << 4 << 2 << true << 3 << 8 << 0 << 1
            << QStringLiteral("Hardware baseline optimal for 720p60 Software H.264 (4 channels, 72% CPU)");
        // 640x480 at 30 on four channels: 178 % with 200 ms per 1080p frame, 160 % with 180 ms.
        QTest::newRow("nothing fits: smallest settings, cheapest encoder")
            << QList<EncoderMeasurement>{measured(0, kX264, QStringLiteral("h264"), false, 200.0, 100.0),
                                         measured(1, kX265, QStringLiteral("hevc"), false, 180.0, 100.0)}
            << 4 << 2 << false << 4 << 4 << 1 << 0
            << QStringLiteral("Hardware below baseline: 480p30 Software HEVC (4 channels, needs 160% CPU)");
        QTest::newRow("no measurement keeps the defaults")
            << QList<EncoderMeasurement>{failed(0, kX264, QStringLiteral("Encoder not found"))}
            << 4 << 2 << false << 2 << 8 << 0 << 2
            << QStringLiteral("Benchmark failed: no encoder could encode test frames");
    }
    void decision()
    {
        QFETCH(QList<EncoderMeasurement>, measurements);
        QFETCH(int, channels);
        QFETCH(int, threads);
        QFETCH(bool, sustainable);
        QFETCH(int, resolution);
        QFETCH(int, framerate);
        QFETCH(int, encoder);
        QFETCH(int, quality);
        QFETCH(QString, headline);

        const BenchmarkRecommendation rec = recommendSettings(measurements, plan(channels, threads));
        QCOMPARE(rec.isSustainable, sustainable);
        QCOMPARE(rec.resolutionIndex, resolution);
        QCOMPARE(rec.framerateIndex, framerate);
        QCOMPARE(rec.encoderIndex, encoder);
        QCOMPARE(rec.qualityIndex, quality);
        const QStringList lines = rec.summary.split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), headline);
        QCOMPARE(lines.size(), 1 + measurements.size());
    }

    void wholeSummary()
    {
        const QList<EncoderMeasurement> measurements = {
            measured(0, kX264, QStringLiteral("h264"), false, 11.84, 6.96),
            measured(1, kX265, QStringLiteral("hevc"), false, 45.0, 25.0),
            failed(2, kNvencH264, QStringLiteral("Cannot load libcuda.so.1")),
            failed(3, kNvencHevc, QString()),
        };
        const BenchmarkRecommendation rec = recommendSettings(measurements, plan(4, 2));
        QVERIFY(rec.hasMeasurement);
        QCOMPARE(rec.summary,
                 QStringLiteral("Hardware baseline optimal for 1080p30 Software H.264 (4 channels, 71% CPU)\n"
                                "Software H.264: 11.8 ms CPU, 7.0 ms per 1920x1080 frame\n"
                                "Software HEVC: 45.0 ms CPU, 25.0 ms per 1920x1080 frame\n"
                                "NVENC H.264: failed (Cannot load libcuda.so.1)\n"
                                "NVENC HEVC: failed (no frames encoded)"));
    }

    // A whole run, cancelled and then run to its end: the encoders are called by the run's
    // thread alone, the result arrives once, on the GUI thread, and a cancelled run's never.
    void runOnItsOwnThread()
    {
        auto calls = std::make_shared<CallerNotingEncoder::Calls>();
        bool stalled = true;
        EncoderBenchmarkRun run;
        run.setWorkload({320, 180, 40});
        run.setEncoderFactory([calls, &stalled] { return std::make_unique<CallerNotingEncoder>(calls, stalled); });
        int results = 0;
        bool onGuiThread = false;
        BenchmarkRecommendation recommendation;
        connect(&run, &EncoderBenchmarkRun::finished, this, [&](const BenchmarkRecommendation &r) {
            ++results;
            onGuiThread = QThread::currentThread() == thread();
            recommendation = r;
        });

        // The first encoder never catches up: the run waits for room until it is cancelled.
        run.start(softwareEntries());
        QVERIFY(run.isRunning());
        const auto written = [&calls] { std::lock_guard lock(calls->mutex); return calls->framesWritten; };
        QTRY_VERIFY(written() > EncoderBenchmarkRun::kMaxQueuedFrames);
        QTest::qWait(50);
        QCOMPARE(written(), EncoderBenchmarkRun::kMaxQueuedFrames + 1);
        run.cancel();
        QVERIFY(!run.isRunning());
        QCOMPARE(calls->stops, 1);
        const auto calledFromOneOtherThread = [&calls] {
            return calls->threads.size() == 1 && !calls->threads.count(std::this_thread::get_id());
        };
        QVERIFY(calledFromOneOtherThread());
        calls->threads.clear();

        stalled = false;
        run.start(softwareEntries());
        QTRY_COMPARE_WITH_TIMEOUT(results, 1, 60000);
        QVERIFY(!run.isRunning());
        QVERIFY(onGuiThread);
        QCOMPARE(calls->stops, 3);
        QVERIFY(calledFromOneOtherThread());
#ifdef Q_OS_LINUX
        QCOMPARE(calls->threadName, QByteArray("Benchmark"));
#endif
        QVERIFY(recommendation.hasMeasurement);
        QVERIFY2(!recommendation.summary.contains(QLatin1String("failed")), qPrintable(recommendation.summary));
        QTest::qWait(50);
        QCOMPARE(results, 1);
    }
};

QTEST_GUILESS_MAIN(TestEncoderBenchmark)
#include "tst_encoderbenchmark.moc"
