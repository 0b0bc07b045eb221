#include "capture/V4l2Devices.h"

#include "capture/V4l2Mapping.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <libv4l2.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

int v4l2Ioctl(int fd, unsigned long request, void *argument)
{
    int result;
    do {
        result = v4l2_ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

namespace {

QMap<QString, QString> readByIdLinks()
{
    QMap<QString, QString> links;
    const QDir byId(QStringLiteral("/dev/v4l/by-id"));
    const QFileInfoList entries = byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString target = entry.canonicalFilePath();
        if (!target.isEmpty())
            links.insert(entry.absoluteFilePath(), target);
    }
    return links;
}

quint32 captureCapabilities(const v4l2_capability &caps)
{
    // A node's own capabilities; `capabilities` describes the whole physical device.
    return (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
}

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

QList<V4l2Fraction> frameIntervals(int fd, quint32 pixelFormat, int width, int height)
{
    QList<V4l2Fraction> intervals;
    v4l2_frmivalenum entry{};
    entry.pixel_format = pixelFormat;
    entry.width = quint32(width);
    entry.height = quint32(height);
    for (entry.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &entry) == 0; ++entry.index) {
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
        if (v4l2Ioctl(fd, VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator != 0)
            intervals.append({parm.parm.capture.timeperframe.numerator,
                              parm.parm.capture.timeperframe.denominator});
        else
            intervals.append({1, 30});
    }
    return intervals;
}

QList<QSize> frameSizes(int fd, quint32 pixelFormat)
{
    QList<QSize> sizes;
    v4l2_frmsizeenum entry{};
    entry.pixel_format = pixelFormat;
    for (entry.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &entry) == 0; ++entry.index) {
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

} // namespace

int openV4l2Device(const QString &deviceKey, QString *error)
{
    if (!isV4l2DeviceKey(deviceKey)) {
        *error = QStringLiteral("Not a video device: \"%1\"").arg(deviceKey);
        return -1;
    }
    const QString node = QFileInfo(deviceKey).canonicalFilePath();
    if (!isV4l2NodePath(node)) {
        *error = QStringLiteral("No video device at \"%1\"").arg(deviceKey);
        return -1;
    }
    // Non-blocking: the capture loop polls, and opening must never hang on a busy driver.
    const int fd = v4l2_open(QFile::encodeName(node).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        *error = QStringLiteral("Cannot open %1: %2").arg(node, QString::fromLocal8Bit(strerror(errno)));
    return fd;
}

QList<DeviceInfo> listV4l2Devices()
{
    QStringList nodes = QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
    nodes.removeIf([](const QString &name) { return v4l2NodeNumber(name) < 0; });
    std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
        return v4l2NodeNumber(a) < v4l2NodeNumber(b);
    });

    const QMap<QString, QString> byIdLinks = readByIdLinks();
    QList<DeviceInfo> devices;
    for (const QString &name : std::as_const(nodes)) {
        const QString node = QStringLiteral("/dev/") + name;
        QString error;
        const int fd = openV4l2Device(node, &error);
        if (fd < 0)
            continue; // held exclusively or without permission: not usable here anyway
        v4l2_capability caps{};
        const bool isCapture = v4l2Ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0
            && (captureCapabilities(caps) & V4L2_CAP_VIDEO_CAPTURE);
        v4l2_close(fd);
        if (!isCapture)
            continue;
        const QString card = QString::fromUtf8(reinterpret_cast<const char *>(caps.card),
                                               int(strnlen(reinterpret_cast<const char *>(caps.card),
                                                           sizeof caps.card)));
        devices.append(DeviceInfo{card, v4l2DeviceKey(node, byIdLinks)});
    }
    return devices;
}

QList<CameraFormat> listV4l2Formats(const QString &deviceKey)
{
    QString error;
    const int fd = openV4l2Device(deviceKey, &error);
    if (fd < 0) {
        qWarning() << "[CameraCapture]" << error;
        return {};
    }

    QList<CameraFormat> formats;
    int capsIndex = 0;
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FMT, &description) == 0; ++description.index) {
        // libv4l2 adds the formats it can convert to; they would list every size twice more.
        if (description.flags & V4L2_FMT_FLAG_EMULATED)
            continue;
        const quint32 pixelFormat = description.pixelformat;
        for (const QSize &size : frameSizes(fd, pixelFormat)) {
            for (const V4l2Fraction &interval : frameIntervals(fd, pixelFormat, size.width(), size.height()))
                formats.append(makeFormat(capsIndex++, pixelFormat, size.width(), size.height(), interval));
        }
    }
    v4l2_close(fd);
    formats.removeIf([](const CameraFormat &format) { return format.width <= 0 || format.height <= 0; });
    return formats;
}
