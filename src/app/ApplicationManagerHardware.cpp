// Hardware: the recording format tables, the graphics adapters and usable encoders, the
// devices report and the encoder benchmark (run by EncoderBenchmarkRun).
#include "app/ApplicationManager.h"

#include "app/DevicesReport.h"
#include "app/GpuAdapters.h"
#include "app/HardwareReport.h"
#include "capture/CameraCapture.h"
#include "recording/FfmpegEncoder.h"
#include "recording/RecordingChoices.h"
#include "recording/TakeFormat.h"

#include <QDebug>

QString ApplicationManager::activeResolutionName() const
{
    const QList<RecordingChoices::Resolution> &sizes = RecordingChoices::resolutions();
    return sizes.at(RecordingChoices::validIndex(m_recording.resolutionIndex, int(sizes.size()), 2)).label;
}

double ApplicationManager::selectedGlobalFps() const
{
    QList<double> cameraRates;
    for (const TakeCamera &camera : takeCameras())
        cameraRates.append(camera.fps);
    return TakeFormat::frameRateFor(m_recording, cameraRates).toDouble();
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

void ApplicationManager::runHardwareBenchmark()
{
    if (m_benchmark.isRunning())
        return;
    if (m_isRecording) {
        qWarning() << "[ApplicationManager] The benchmark does not run while recording.";
        return;
    }
    m_benchmarkSummaryBeforeRun = m_benchmarkSummary;
    m_benchmarkSummary = QStringLiteral("Benchmarking encoders...");
    m_benchmark.start(m_encoderCapabilities);
    qDebug() << "[ApplicationManager] Benchmark started.";
    emit benchmarkStateChanged();
}

void ApplicationManager::cancelBenchmark()
{
    if (!m_benchmark.isRunning())
        return;
    // What the encoder in hand still holds is a fraction of a second's work.
    m_benchmark.cancel();
    // The last finished run's recommendation still holds; a cancelled run has none.
    m_benchmarkSummary = m_benchmarkSummaryBeforeRun;
    qDebug() << "[ApplicationManager] Benchmark cancelled: a take started.";
    emit benchmarkStateChanged();
}

void ApplicationManager::finishBenchmark(const BenchmarkRecommendation &recommendation)
{
    m_benchmarkSummary = recommendation.summary;
    m_recommendedResolutionIndex = recommendation.resolutionIndex;
    m_recommendedFramerateIndex = recommendation.framerateIndex;
    m_recommendedEncoderIndex = recommendation.encoderIndex;
    m_recommendedQualityIndex = recommendation.qualityIndex;
    qDebug() << "[ApplicationManager] Benchmark finished:" << m_benchmarkSummary.section(QLatin1Char('\n'), 0, 0);
    emit benchmarkStateChanged();
}

void ApplicationManager::applyRecommendedSettings()
{
    // The whole recommendation: resolution, frame rate, encoder and quality.
    setRecordingResolutionIndex(m_recommendedResolutionIndex);
    setRecordingFramerateIndex(m_recommendedFramerateIndex);
    setRecordingEncoderIndex(std::clamp(m_recommendedEncoderIndex, 0, std::max(0, int(m_encoderCapabilities.size()) - 1)));
    setRecordingQualityIndex(m_recommendedQualityIndex);
}
