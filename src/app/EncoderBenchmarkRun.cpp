#include "app/EncoderBenchmarkRun.h"

#include "app/HardwareReport.h"
#include "app/ProcessClock.h"
#include "recording/FfmpegEncoder.h"

#include <QDebug>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

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

} // namespace

EncoderBenchmarkRun::EncoderBenchmarkRun(QObject *parent)
    : QObject(parent)
{
    // Often enough that the queue never runs dry between steps.
    m_stepTimer.setInterval(1);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &EncoderBenchmarkRun::step);
}

EncoderBenchmarkRun::~EncoderBenchmarkRun()
{
    cancel();
}

void EncoderBenchmarkRun::start(const QVariantList &capabilities)
{
    if (m_isRunning)
        return;
    m_isRunning = true;
    m_capabilities = capabilities;
    m_measurements.clear();
    m_nextIndex = 0;
    if (m_picture.isEmpty())
        m_picture = Picture(benchmarkPicture(kWidth, kHeight));
    m_scratch = std::make_unique<QTemporaryDir>();
    m_stepTimer.start();
}

void EncoderBenchmarkRun::cancel()
{
    if (!m_isRunning)
        return;
    m_stepTimer.stop();
    if (m_encoder) {
        m_encoder->stop();
        m_encoder.reset();
        QFile::remove(m_outputPath);
    }
    m_scratch.reset();
    m_isRunning = false;
}

void EncoderBenchmarkRun::step()
{
    if (!m_encoder) {
        if (m_nextIndex < m_capabilities.size())
            openNextEncoder();
        else
            finishRun();
        return;
    }
    const auto handled = [this] { return m_encoder->framesEncoded() + m_encoder->droppedFrames(); };
    while (m_framesSent < kFrames && handled() >= m_framesSent - kMaxQueuedFrames) {
        m_encoder->writeFrame(VideoFrame{m_picture, kWidth, kHeight, m_framesSent});
        ++m_framesSent;
    }
    // Stopped only once everything sent has reached the encoder, so stop() waits for the
    // encoder's last frames alone, not for a queue of them.
    if (m_framesSent == kFrames && handled() >= kFrames)
        finishEncoder();
}

void EncoderBenchmarkRun::openNextEncoder()
{
    const int index = m_nextIndex++;
    const EncoderChoice choice = encoderChoiceAt(m_capabilities, index);
    m_current = EncoderMeasurement{};
    m_current.encoderIndex = index;
    m_current.name = choice.name;
    m_current.codec = choice.codec;
    m_current.isHardware = choice.isHardware;
    m_current.width = kWidth;
    m_current.height = kHeight;

    EncoderConfig config;
    config.outputPath = QStringLiteral("%1/benchmark_%2.mp4").arg(m_scratch->path()).arg(index);
    config.width = kWidth;
    config.height = kHeight;
    config.targetBitrateKbps = 16000;
    config.encoderName = choice.encoder;
    config.useHevc = choice.codec == QLatin1String("hevc");
    m_outputPath = config.outputPath;

    auto encoder = std::make_unique<FfmpegEncoder>();
    // An entry that falls back to another encoder would measure the wrong one.
    if (!encoder->open(config) || encoder->encoderName() != choice.encoder) {
        m_current.errorText = encoder->lastError().isEmpty() ? QStringLiteral("did not open") : encoder->lastError();
        encoder->stop();
        QFile::remove(m_outputPath);
        m_measurements.append(m_current);
        return;
    }
    m_encoder = std::move(encoder);
    m_framesSent = 0;
    m_cpuStartNs = processCpuTimeNs();
    m_wall.start();
}

void EncoderBenchmarkRun::finishEncoder()
{
    const bool completed = m_encoder->stop();
    m_current.wallMs = double(m_wall.nsecsElapsed()) / 1e6;
    m_current.cpuMs = double(processCpuTimeNs() - m_cpuStartNs) / 1e6;
    m_current.frames = int(m_encoder->framesEncoded());
    m_current.succeeded = completed && m_encoder->droppedFrames() == 0 && m_current.frames == kFrames;
    if (!m_current.succeeded)
        m_current.errorText = m_encoder->lastError().isEmpty() ? QStringLiteral("frames lost") : m_encoder->lastError();
    m_encoder.reset();
    QFile::remove(m_outputPath);
    m_measurements.append(m_current);
}

void EncoderBenchmarkRun::finishRun()
{
    m_stepTimer.stop();
    m_scratch.reset();
    m_isRunning = false;
    BenchmarkPlan plan;
    plan.threads = qMax(1, QThread::idealThreadCount());
    emit finished(recommendSettings(m_measurements, plan));
}
