#include "app/DevicesReport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

double reportedFrameRate(const CameraFormat &format)
{
    if (format.fpsDenominator < 1)
        return 30.0;
    return double(float(format.fpsNumerator) / float(format.fpsDenominator));
}

QByteArray buildDevicesReport(const QList<VideoDeviceReport> &videoDevices,
                              const QStringList &audioInputs)
{
    QJsonArray videoArray;
    for (const VideoDeviceReport &entry : videoDevices) {
        QJsonArray formats;
        for (const CameraFormat &format : entry.formats) {
            formats.append(QJsonObject{{QStringLiteral("width"), format.width},
                                       {QStringLiteral("height"), format.height},
                                       {QStringLiteral("fps"), reportedFrameRate(format)},
                                       {QStringLiteral("formatName"), format.subtypeName}});
        }
        QJsonObject device{{QStringLiteral("name"), entry.device.friendlyName},
                           {QStringLiteral("link"), entry.device.devicePath},
                           {QStringLiteral("formats"), formats}};
        // Only for a device that cannot be opened: why (no permission, in use elsewhere).
        if (!entry.device.unavailableReason.isEmpty())
            device.insert(QStringLiteral("unavailable"), entry.device.unavailableReason);
        videoArray.append(device);
    }

    const QJsonObject root{{QStringLiteral("videoDevices"), videoArray},
                           {QStringLiteral("audioDevices"), QJsonArray::fromStringList(audioInputs)}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QString devicesReportPath()
{
    return QDir::current().absoluteFilePath(QStringLiteral("devices_info.json"));
}

bool writeDevicesReport(const QString &path, const QByteArray &report, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    if (file.write(report) != report.size() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}
