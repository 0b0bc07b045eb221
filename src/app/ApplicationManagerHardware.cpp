// Hardware: the recording format tables, the graphics adapters and usable encoders, the
// devices report and the encoder benchmark.
#include "app/ApplicationManager.h"

#include "app/DevicesReport.h"
#include "app/EncoderBenchmark.h"
#include "app/GpuAdapters.h"
#include "app/HardwareReport.h"
#include "app/ProcessClock.h"
#include "capture/CameraCapture.h"
#include "recording/FfmpegEncoder.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

#include <array>
#include <atomic>

QString ApplicationManager::activeResolutionName() const
{
    static const std::array<const char *, 5> kResolutionNames = {
        "3840x2160 (4K UHD)", "2560x1440 (2K QHD)", "1920x1080 (1080p FHD)",
        "1280x720 (720p HD)", "640x480 (SD)"};
    if (m_recordingResolutionIndex < 0 || m_recordingResolutionIndex >= int(kResolutionNames.size()))
        return QStringLiteral("1920x1080 (1080p FHD)");
    return QString::fromLatin1(kResolutionNames[size_t(m_recordingResolutionIndex)]);
}

double ApplicationManager::selectedGlobalFps() const
{
    static const std::array<double, 8> kFrameRates = {60.0, 59.94, 50.0, 30.0, 29.97, 25.0, 24.0, 23.976};
    if (m_recordingFramerateIndex < 0 || m_recordingFramerateIndex >= int(kFrameRates.size()))
        return 30.0;
    return kFrameRates[size_t(m_recordingFramerateIndex)];
}

// --- hardware detection, devices report and benchmark ---

void ApplicationManager::refreshEncoderCapabilities()
{
    const HardwareReport report = buildHardwareReport(listGpuAdapters(), readCpuFacts(),
                                                      &FfmpegEncoder::isEncoderUsable);
    m_hardwareGpuInfo = report.gpuInfo;
    m_hardwareCpuInfo = report.cpuInfo;
    m_hardwareSummary = report.summary;
    emit hardwareInfoChanged();
    m_encoderCapabilities = report.encoderCapabilities;
    emit encoderCapabilitiesChanged();
}

QByteArray ApplicationManager::devicesReport() const
{
    QList<VideoDeviceReport> devices;
    for (const DeviceInfo &device : CameraCapture::listDevices())
        devices.append(VideoDeviceReport{device, device.unavailableReason.isEmpty()
                                                     ? CameraCapture::listFormats(device.devicePath)
                                                     : QList<CameraFormat>()});
    QStringList audioInputs;
    for (const QVariant &name : m_audioInputDevices)
        audioInputs.append(name.toString());
    return buildDevicesReport(devices, audioInputs);
}

void ApplicationManager::saveDevicesInfoFile()
{
    QString error;
    const QString path = devicesReportPath();
    if (!writeDevicesReport(path, devicesReport(), &error))
        qWarning() << "[ApplicationManager] Cannot write the devices report" << path << ":" << error;
}

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

// Encodes `frames` test pictures with one encoder entry into a scratch file and measures it;
// stops feeding as soon as `cancelled` is set.
EncoderMeasurement measureEncoder(int index, const EncoderChoice &choice, const QByteArray &picture,
                                  int width, int height, int frames, const QString &folder,
                                  const std::atomic<bool> &cancelled)
{
    EncoderMeasurement m;
    m.encoderIndex = index;
    m.name = choice.name;
    m.codec = choice.codec;
    m.isHardware = choice.isHardware;
    m.width = width;
    m.height = height;

    EncoderConfig config;
    config.outputPath = QStringLiteral("%1/benchmark_%2.mp4").arg(folder).arg(index);
    config.width = width;
    config.height = height;
    config.targetBitrateKbps = 16000;
    config.encoderName = choice.encoder;
    config.useHevc = choice.codec == QLatin1String("hevc");

    FfmpegEncoder encoder;
    if (!encoder.open(config) || encoder.encoderName() != choice.encoder) {
        m.errorText = encoder.lastError().isEmpty() ? QStringLiteral("did not open") : encoder.lastError();
        encoder.stop();
        return m;
    }
    const qint64 cpuStart = processCpuTimeNs();
    QElapsedTimer wall;
    wall.start();
    VideoFrame frame{picture, width, height, 0};
    for (int i = 0; i < frames && !cancelled.load(); ++i) {
        frame.frameIndex = i;
        // The queue holds two seconds; wait for room rather than measure dropped frames.
        while (encoder.framesEncoded() + encoder.droppedFrames() < i - 30 && !cancelled.load())
            QThread::msleep(1);
        encoder.writeFrame(frame);
    }
    const bool finished = encoder.stop();
    m.wallMs = double(wall.nsecsElapsed()) / 1e6;
    m.cpuMs = double(processCpuTimeNs() - cpuStart) / 1e6;
    m.frames = int(encoder.framesEncoded());
    m.succeeded = finished && encoder.droppedFrames() == 0 && m.frames == frames;
    if (!m.succeeded)
        m.errorText = encoder.lastError().isEmpty() ? QStringLiteral("frames lost") : encoder.lastError();
    QFile::remove(config.outputPath);
    return m;
}

} // namespace

void ApplicationManager::runHardwareBenchmark()
{
    if (m_isBenchmarking)
        return;
    if (m_isRecording) {
        qWarning() << "[ApplicationManager] The benchmark does not run while recording.";
        return;
    }
    if (m_benchmarkThread.joinable())
        m_benchmarkThread.join();

    m_isBenchmarking = true;
    m_benchmarkCancelled.store(false);
    m_benchmarkSummaryBeforeRun = m_benchmarkSummary;
    m_benchmarkSummary = QStringLiteral("Benchmarking encoders...");
    emit benchmarkStateChanged();
    qDebug() << "[ApplicationManager] Benchmark started.";

    // The encoders do the work on their own threads; this thread only feeds and times them,
    // and hands the result back to the GUI thread.
    const QVariantList capabilities = m_encoderCapabilities;
    m_benchmarkThread = std::thread([this, capabilities] {
#ifdef Q_OS_LINUX
        pthread_setname_np(pthread_self(), "Benchmark");
#endif
        constexpr int kWidth = 1920, kHeight = 1080, kFrames = 90;
        const QByteArray picture = benchmarkPicture(kWidth, kHeight);
        QTemporaryDir scratch;
        QList<EncoderMeasurement> measurements;
        for (int i = 0; i < capabilities.size() && !m_benchmarkCancelled.load(); ++i)
            measurements.append(measureEncoder(i, encoderChoiceAt(capabilities, i), picture, kWidth, kHeight,
                                               kFrames, scratch.path(), m_benchmarkCancelled));
        // A cancelled run measured too little to recommend anything; cancelBenchmark() has
        // already told the interface.
        if (m_benchmarkCancelled.load())
            return;
        BenchmarkPlan plan;
        plan.threads = qMax(1, QThread::idealThreadCount());
        const BenchmarkRecommendation recommendation = recommendSettings(measurements, plan);
        QMetaObject::invokeMethod(this, [this, recommendation] { finishBenchmark(recommendation); },
                                  Qt::QueuedConnection);
    });
}

void ApplicationManager::cancelBenchmark()
{
    if (!m_isBenchmarking)
        return;
    m_benchmarkCancelled.store(true);
    // The run stops feeding at its next frame; what its encoder still holds is a second's work.
    if (m_benchmarkThread.joinable())
        m_benchmarkThread.join();
    m_isBenchmarking = false;
    // The last finished run's recommendation still holds; a cancelled run has none.
    m_benchmarkSummary = m_benchmarkSummaryBeforeRun;
    qDebug() << "[ApplicationManager] Benchmark cancelled: a take started.";
    emit benchmarkStateChanged();
}

void ApplicationManager::finishBenchmark(const BenchmarkRecommendation &recommendation)
{
    if (m_benchmarkThread.joinable())
        m_benchmarkThread.join();
    m_isBenchmarking = false;
    m_benchmarkSummary = recommendation.summary;
    m_recommendedResolutionIndex = recommendation.resolutionIndex;
    m_recommendedFramerateIndex = recommendation.framerateIndex;
    m_recommendedEncoderIndex = recommendation.encoderIndex;
    m_recommendedQualityIndex = recommendation.qualityIndex;
    m_recommendedGlobalFramerateIndex = recommendation.globalFramerateIndex;
    qDebug() << "[ApplicationManager] Benchmark finished:" << m_benchmarkSummary.section(QLatin1Char('\n'), 0, 0);
    emit benchmarkStateChanged();
}

void ApplicationManager::applyRecommendedSettings()
{
    setRecordingResolutionIndex(m_recommendedResolutionIndex);
    if (m_recommendedGlobalFramerateIndex >= 0)
        setRecordingFramerateIndex(m_recommendedGlobalFramerateIndex);
}
