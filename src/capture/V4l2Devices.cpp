#include "capture/V4l2Devices.h"

#include "capture/V4l2Kernel.h"
#include "capture/V4l2Mapping.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace {

CameraFormat makeFormat(int index, quint32 pixelFormat, int width, int height, V4l2Fraction interval)
{
    CameraFormat format;
    format.capsIndex = index;
    format.width = width;
    format.height = height;
    format.subtype = pixelFormat;
    format.subtypeName = v4l2SubtypeName(pixelFormat);
    if (!v4l2IntervalToRate(interval, &format.fpsNumerator, &format.fpsDenominator)) {
        format.fpsNumerator = 0;
        format.fpsDenominator = 1;
    }
    return format;
}

QList<V4l2Fraction> frameIntervals(V4l2Kernel &kernel, int fd, quint32 pixelFormat, int width, int height)
{
    QList<V4l2Fraction> intervals;
    v4l2_frmivalenum entry{};
    entry.pixel_format = pixelFormat;
    entry.width = quint32(width);
    entry.height = quint32(height);
    for (entry.index = 0; kernel.ioctlRetrying(fd, VIDIOC_ENUM_FRAMEINTERVALS, &entry) == 0; ++entry.index) {
        if (entry.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            intervals.append({entry.discrete.numerator, entry.discrete.denominator});
            continue;
        }
        const v4l2_frmival_stepwise &range = entry.stepwise;
        intervals += v4l2RangeFrameIntervals({range.min.numerator, range.min.denominator},
                                             {range.max.numerator, range.max.denominator},
                                             {range.step.numerator, range.step.denominator},
                                             entry.type == V4L2_FRMIVAL_TYPE_CONTINUOUS);
        break; // a range is the only entry
    }
    if (intervals.isEmpty()) {
        // Drivers that do not enumerate intervals run at their own rate; offer that one.
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (kernel.ioctlRetrying(fd, VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator != 0)
            intervals.append({parm.parm.capture.timeperframe.numerator,
                              parm.parm.capture.timeperframe.denominator});
        else
            intervals.append({1, 30});
    }
    return intervals;
}

QList<QSize> frameSizes(V4l2Kernel &kernel, int fd, quint32 pixelFormat)
{
    QList<QSize> sizes;
    v4l2_frmsizeenum entry{};
    entry.pixel_format = pixelFormat;
    for (entry.index = 0; kernel.ioctlRetrying(fd, VIDIOC_ENUM_FRAMESIZES, &entry) == 0; ++entry.index) {
        if (entry.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.append(QSize(int(entry.discrete.width), int(entry.discrete.height)));
            continue;
        }
        const v4l2_frmsize_stepwise &range = entry.stepwise;
        sizes += v4l2RangeFrameSizes(int(range.min_width), int(range.max_width),
                                     int(range.step_width), int(range.min_height),
                                     int(range.max_height), int(range.step_height));
        break;
    }
    return sizes;
}

// The number at the end of a by-id link ("...-video-index1"): which of a camera's nodes it is.
// Index 0 is the picture; higher ones carry metadata. -1 without such an ending.
int byIdNodeIndex(const QString &link)
{
    static const QRegularExpression pattern(QStringLiteral("-video-index([0-9]+)$"));
    const QRegularExpressionMatch match = pattern.match(link);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A name for a node that could not be opened, so its card name is unknown: the camera's name
// as its by-id link spells it ("usb-Acme_HD_Cam_123-video-index0" → "Acme HD Cam 123"), or
// the node itself.
QString nameFromKey(const QString &key)
{
    QString name = QFileInfo(key).fileName();
    static const QRegularExpression decoration(QStringLiteral("^(usb|pci|platform)-|-video-index[0-9]+$"));
    name.remove(decoration);
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return key.startsWith(QLatin1String("/dev/v4l/")) && !name.trimmed().isEmpty()
        ? name.trimmed()
        : QStringLiteral("Camera %1").arg(key);
}

} // namespace

quint32 v4l2NodeCapabilities(quint32 capabilities, quint32 deviceCaps)
{
    // `capabilities` describes the whole physical device, every node of it.
    return (capabilities & V4L2_CAP_DEVICE_CAPS) ? deviceCaps : capabilities;
}

int openV4l2Device(V4l2Kernel &kernel, const QString &deviceKey, QString *error, int *errorNumber)
{
    if (errorNumber)
        *errorNumber = 0;
    if (!isV4l2DeviceKey(deviceKey)) {
        *error = QStringLiteral("Not a video device: \"%1\"").arg(deviceKey);
        return -1;
    }
    const QString node = kernel.resolveNode(deviceKey);
    if (!isV4l2NodePath(node)) {
        *error = QStringLiteral("No video device at \"%1\"").arg(deviceKey);
        if (errorNumber)
            *errorNumber = ENOENT;
        return -1;
    }
    // Non-blocking: the capture loop polls, and opening must never hang on a busy driver.
    const int fd = kernel.open(QFile::encodeName(node).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int openError = errno;
        if (errorNumber)
            *errorNumber = openError;
        *error = QStringLiteral("Cannot open %1: %2").arg(node, v4l2ErrorReason(openError));
    }
    return fd;
}

QList<DeviceInfo> listV4l2Devices(V4l2Kernel &kernel)
{
    QStringList nodes = kernel.videoNodes();
    nodes.removeIf([](const QString &node) { return v4l2NodeNumber(node) < 0; });
    std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
        return v4l2NodeNumber(a) < v4l2NodeNumber(b);
    });

    const QMap<QString, QString> byIdLinks = kernel.byIdLinks();
    QList<DeviceInfo> devices;
    for (const QString &node : std::as_const(nodes)) {
        const QString key = v4l2DeviceKey(node, byIdLinks);
        QString error;
        int errorNumber = 0;
        const int fd = openV4l2Device(kernel, node, &error, &errorNumber);
        if (fd < 0) {
            // Without opening it we cannot ask what it is; a camera's second node (metadata)
            // says so in its link and would only list the camera twice.
            if (byIdNodeIndex(key) > 0)
                continue;
            devices.append(DeviceInfo{nameFromKey(key), key, v4l2ErrorReason(errorNumber)});
            continue;
        }
        v4l2_capability caps{};
        const bool isCapture = kernel.ioctlRetrying(fd, VIDIOC_QUERYCAP, &caps) == 0
            && (v4l2NodeCapabilities(caps.capabilities, caps.device_caps) & V4L2_CAP_VIDEO_CAPTURE);
        kernel.close(fd);
        if (!isCapture)
            continue;
        const QString card = QString::fromUtf8(reinterpret_cast<const char *>(caps.card),
                                               int(strnlen(reinterpret_cast<const char *>(caps.card),
                                                           sizeof caps.card)));
        devices.append(DeviceInfo{card, key, QString()});
    }
    return devices;
}

QList<CameraFormat> listV4l2Formats(V4l2Kernel &kernel, const QString &deviceKey)
{
    QString error;
    const int fd = openV4l2Device(kernel, deviceKey, &error);
    if (fd < 0) {
        qWarning().noquote() << "[CameraCapture]" << error;
        return {};
    }

    QList<CameraFormat> formats;
    int capsIndex = 0;
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; kernel.ioctlRetrying(fd, VIDIOC_ENUM_FMT, &description) == 0; ++description.index) {
        // libv4l2 adds the formats it can convert to; they would list every size twice more,
        // and the conversion is ours now.
        if (description.flags & V4L2_FMT_FLAG_EMULATED)
            continue;
        const quint32 pixelFormat = description.pixelformat;
        // A format we could not turn into a picture is no choice at all.
        if (!capturePixelFormatFor(pixelFormat))
            continue;
        for (const QSize &size : frameSizes(kernel, fd, pixelFormat)) {
            for (const V4l2Fraction &interval : frameIntervals(kernel, fd, pixelFormat, size.width(), size.height()))
                formats.append(makeFormat(capsIndex++, pixelFormat, size.width(), size.height(), interval));
        }
    }
    kernel.close(fd);
    formats.removeIf([](const CameraFormat &format) { return format.width <= 0 || format.height <= 0; });
    return formats;
}
