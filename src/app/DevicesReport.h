// The devices report, devices_info.json: every camera with its formats and every audio input,
// as one compact JSON document (object keys in alphabetical order, the order QJsonDocument
// writes). The remote control server serves the same bytes at "/devices_info.json".
//
//   {"audioDevices":["Mic"],"videoDevices":[{"formats":[{"formatName":"MJPEG","fps":30,
//    "height":1080,"width":1920}],"link":"/dev/video0","name":"USB Camera"}]}
//
// A camera that cannot be opened has no formats and one more member, "unavailable", with the
// reason ("permission denied — add your user to the 'video' group").
//
// Building is pure: the caller lists the devices and their formats (in enumeration order and
// in the order the device layer returns the formats). Writing goes through a temporary file
// that replaces the old report only once complete. Any thread may call these.
#pragma once

#include "capture/CameraFormat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct VideoDeviceReport
{
    DeviceInfo device;
    QList<CameraFormat> formats;
};

// The frame rate the report gives a format: numerator / denominator divided in single
// precision, widened to double (30000/1001 is written as 29.970029830932617); 30 when the
// denominator is below 1.
double reportedFrameRate(const CameraFormat &format);

// The UTF-8 bytes of the report.
QByteArray buildDevicesReport(const QList<VideoDeviceReport> &videoDevices,
                              const QStringList &audioInputs);

// Where saveDevicesInfoFile() writes: "devices_info.json" in the process's current directory,
// as an absolute path.
QString devicesReportPath();

// Writes the report to `path`, replacing an existing file only once the new one is complete.
// On failure returns false, leaves any old file untouched and puts the reason in *errorText.
bool writeDevicesReport(const QString &path, const QByteArray &report, QString *errorText = nullptr);
