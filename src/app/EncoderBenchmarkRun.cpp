#include "app/EncoderBenchmarkRun.h"

#include "app/HardwareReport.h"
#include "app/ProcessClock.h"
#include "common/ThreadName.h"
#include "recording/FfmpegEncoder.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>

namespace {

// A picture with detail everywhere (gradients and fine texture), so encoders are measured on
// something like camera content rather than flat colour.
QByteArray benchmarkPicture(int width, int height)
{
    QByteArray picture(qsizetype(width) * height * 4, Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(picture.data());
    quint32 noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 4) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28) - 8;
            p[0] = uchar(qBound(0, x * 255 / width + grain, 255));
            p[1] = uchar(qBound(0, y * 255 / height + grain, 255));
            p[2] = uchar(qBound(0, ((x ^ y) & 0xff) + grain, 255));
            p[3] = 255;
        }
    }
    return picture;
}

// How often the run looks whether its encoder has taken the frames sent: often enough that
// the queue never runs dry, and it costs nothing while waiting.
constexpr int kPollMs = 1;

} // namespace

EncoderBenchmarkRun::EncoderBenchmarkRun(QObject *parent)
    : QObject(parent)
    , m_makeEncoder([] { return std::make_unique<FfmpegEncoder>(); })
{
}

EncoderBenchmarkRun::~EncoderBenchmarkRun()
{
    cancel();
}

void EncoderBenchmarkRun::start(const QVariantList &capabilities)
{
    if (m_isRunning)
        return;
    // A run that ended on its own has already been joined by deliver(); one that was
    // cancelled by cancel().
    {
        std::lock_guard lock(m_mutex);
        m_isCancelled = false;
    }
    m_isRunning = true;
    const quint64 runId = ++m_runId;
    m_thread = std::thread([this, capabilities, workload = m_workload, makeEncoder = m_makeEncoder, runId] {
        run(capabilities, workload, makeEncoder, runId);
    });
}

void EncoderBenchmarkRun::cancel()
{
    if (!m_isRunning)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_isCancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_isRunning = false;
}

void EncoderBenchmarkRun::deliver(quint64 runId, const BenchmarkRecommendation &recommendation)
{
    // Cancelled (and perhaps started again) while this was on its way.
    if (!m_isRunning || runId != m_runId)
        return;
    // The thread posted this as its last act; it is ending or has ended.
    if (m_thread.joinable())
        m_thread.join();
    m_isRunning = false;
    emit finished(recommendation);
}

bool EncoderBenchmarkRun::pause(int ms)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_isCancelled; });
}

bool EncoderBenchmarkRun::isCancelled()
{
    std::lock_guard lock(m_mutex);
    return m_isCancelled;
}

void EncoderBenchmarkRun::run(const QVariantList &capabilities, const Workload &workload,
                              const EncoderFactory &makeEncoder, quint64 runId)
{
    nameCurrentThread(QStringLiteral("Benchmark"));
    const Picture picture(benchmarkPicture(workload.width, workload.height));
    QList<EncoderMeasurement> measurements;
    {
        QTemporaryDir scratch;
        for (int i = 0; i < capabilities.size() && !isCancelled(); ++i)
            measurements.append(measure(i, capabilities, workload, makeEncoder, scratch.path(), picture));
    }
    if (isCancelled())
        return;
    BenchmarkPlan plan;
    plan.threads = qMax(1, QThread::idealThreadCount());
    const BenchmarkRecommendation recommendation = recommendSettings(measurements, plan);
    QMetaObject::invokeMethod(this, [this, runId, recommendation] { deliver(runId, recommendation); },
                              Qt::QueuedConnection);
}

EncoderMeasurement EncoderBenchmarkRun::measure(int index, const QVariantList &capabilities, const Workload &workload,
                                                const EncoderFactory &makeEncoder, const QString &folder,
                                                const Picture &picture)
{
    const EncoderChoice choice = encoderChoiceAt(capabilities, index);
    EncoderMeasurement m;
    m.encoderIndex = index;
    m.name = choice.name;
    m.codec = choice.codec;
    m.isHardware = choice.isHardware;
    m.width = workload.width;
    m.height = workload.height;

    EncoderConfig config;
    config.outputPath = QStringLiteral("%1/benchmark_%2.mp4").arg(folder).arg(index);
    config.width = workload.width;
    config.height = workload.height;
    config.targetBitrateKbps = 16000;
    config.encoderName = choice.encoder;
    config.useHevc = choice.codec == QLatin1String("hevc");

    const std::unique_ptr<IEncoder> encoder = makeEncoder();
    // An entry that falls back to another encoder would measure the wrong one.
    if (!encoder->open(config) || encoder->encoderName() != choice.encoder) {
        m.errorText = encoder->lastError().isEmpty() ? QStringLiteral("did not open") : encoder->lastError();
        encoder->stop();
        QFile::remove(config.outputPath);
        return m;
    }

    const qint64 cpuStartNs = processCpuTimeNs();
    QElapsedTimer wall;
    wall.start();
    const auto handled = [&encoder] { return encoder->framesEncoded() + encoder->droppedFrames(); };
    // A failed encoder takes no more frames; waiting for it would never end.
    const auto waitsFor = [&encoder, &handled](qint64 frames) { return !encoder->hasFailed() && handled() < frames; };
    bool goesOn = true;
    for (int i = 0; i < workload.frames && goesOn; ++i) {
        while (goesOn && waitsFor(i - kMaxQueuedFrames))
            goesOn = pause(kPollMs);
        if (goesOn)
            encoder->writeFrame(VideoFrame{picture, workload.width, workload.height, i});
    }
    // Stopped only once everything sent has reached the encoder, so stop() waits for the
    // encoder's last frames alone, not for a queue of them.
    while (goesOn && waitsFor(workload.frames))
        goesOn = pause(kPollMs);
    const bool completed = encoder->stop();
    m.wallMs = double(wall.nsecsElapsed()) / 1e6;
    m.cpuMs = double(processCpuTimeNs() - cpuStartNs) / 1e6;
    m.frames = int(encoder->framesEncoded());
    m.succeeded = goesOn && completed && encoder->droppedFrames() == 0 && m.frames == workload.frames;
    if (!m.succeeded)
        m.errorText = encoder->lastError().isEmpty() ? QStringLiteral("frames lost") : encoder->lastError();
    QFile::remove(config.outputPath);
    return m;
}
