#include "recording/CameraRecordingMode.h"

#include <QLocale>

QString cameraRecordingModeKey(CameraRecordingMode mode)
{
    return mode == CameraRecordingMode::CameraStream ? QStringLiteral("camera") : QStringLiteral("reencode");
}

std::optional<CameraRecordingMode> cameraRecordingModeFromKey(const QString &key)
{
    if (key == QLatin1String("camera"))
        return CameraRecordingMode::CameraStream;
    if (key == QLatin1String("reencode"))
        return CameraRecordingMode::Reencode;
    return std::nullopt;
}

RecordingContainer cameraStreamContainer(PixelFormat codec, RecordingContainer takeContainer)
{
    if (codec == PixelFormat::Mjpeg)
        return takeContainer == RecordingContainer::Mkv ? RecordingContainer::Mkv : RecordingContainer::Mov;
    return takeContainer;
}

double encodedBytesPerSecond(int bitrateKbps)
{
    return double(qMax(0, bitrateKbps)) * 1000.0 / 8.0;
}

QString diskPerHourText(double bytesPerSecond, const QString &language)
{
    const bool isSerbian = language == QLatin1String("SR");
    if (bytesPerSecond <= 0)
        return isSerbian ? QStringLiteral("nepoznato") : QStringLiteral("unknown");
    const double gigabytes = bytesPerSecond * 3600.0 / 1e9;
    const QLocale locale = isSerbian ? QLocale(QLocale::Serbian, QLocale::LatinScript, QLocale::Serbia) : QLocale(QLocale::English);
    const QString amount = locale.toString(gigabytes, 'f', gigabytes < 10 ? 1 : 0);
    return isSerbian ? QStringLiteral("oko %1 GB na sat").arg(amount) : QStringLiteral("about %1 GB per hour").arg(amount);
}
