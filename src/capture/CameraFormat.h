// Camera device and format records shared by every device layer, and the two rules that work
// on format lists: how a device's offer is cleaned up and how a format is chosen for a
// requested size, rate and subtype. Plain values, pure functions.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

struct DeviceInfo
{
    QString friendlyName;
    // The key that start() and listFormats() take: a stable device path, or a built-in
    // device's key.
    QString devicePath;
    // Why the device cannot be opened (no permission, in use by another program); empty for
    // a usable device. An unusable device is listed so the user learns why, never chosen.
    QString unavailableReason;
};

struct CameraFormat
{
    // Position of this format in the device's own enumeration (informational).
    int capsIndex = 0;
    int width = 0;
    int height = 0;
    // Frame rate = fpsNumerator / fpsDenominator; device layers use 10 000 000 over the frame
    // interval in 100-ns units.
    qint32 fpsNumerator = 0;
    qint32 fpsDenominator = 1;
    // The device's pixel format code (a fourcc), 0 when unknown.
    quint32 subtype = 0;
    // "RGB24", "YUY2", "MJPEG" or "Unknown"; empty for a format made up without a device.
    QString subtypeName;

    // 0 when the denominator is not positive.
    float frameRate() const;
};

// Drops repeats (same width, height, fpsDenominator and subtype; the first one stays) and
// orders the rest: more pixels first, then the higher frame rate; otherwise the device's order.
QList<CameraFormat> normaliseCameraFormats(const QList<CameraFormat> &formats);

// Picks the format to open for a requested size, rate and subtype name:
// among the formats of exactly that size whose rate is within 1 fps of the request and nearest
// to it (30 and 29.97 offered: each opens at the one asked for), the first
// whose subtypeName matches `name` ignoring case (or the first at all when name is "Default"),
// else the first of them; with none of that size and rate, the first format of the list (the
// largest). An empty list yields a format made of the request itself (rate as
// rate * 1000 / 1000, capsIndex 0, no subtype).
CameraFormat chooseCameraFormat(const QList<CameraFormat> &formats, int width, int height,
                                float fps, const QString &name);

// How a running format reads to the user: "1280×720 MJPEG 30 fps", "29.97 fps" where the rate
// is not whole. With `asked`, the parts the device did not grant follow in brackets:
// "1280×720 MJPEG 30 fps (asked 1920×1080)". An asked size, rate or name that is 0 or empty
// (or the name "Default") asks for nothing in particular.
QString describeCameraFormat(const CameraFormat &format);
QString describeGrantedFormat(const CameraFormat &granted, const CameraFormat &asked);
// True when the device granted every part asked for: describeGrantedFormat() then names no
// "asked" part.
bool isGrantedAsAsked(const CameraFormat &granted, const CameraFormat &asked);
