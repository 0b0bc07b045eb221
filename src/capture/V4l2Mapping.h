// V4l2Mapping: how V4L2's answers become Vireon's device and format records. Pure functions
// without device access, so they can be checked without a camera.
#pragma once

#include "capture/ICaptureDevice.h"

#include <QList>
#include <QMap>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <optional>

struct timeval;

struct V4l2Fraction
{
    quint32 numerator = 0;
    quint32 denominator = 0;
};

// "YUY2" for YUYV, "MJPEG" for MJPG (and JPEG), "RGB24" for RGB3 and BGR3, "H264" for H264,
// else "Unknown".
QString v4l2SubtypeName(quint32 pixelFormat);
// The layout a V4L2 pixel format (fourcc) is handed over in; none for formats we cannot show.
std::optional<CapturePixelFormat> capturePixelFormatFor(quint32 pixelFormat);
// "MJPG", "YUYV": the fourcc as text, for the log.
QString fourccText(quint32 pixelFormat);

// When a dequeued buffer's picture was taken, on the monotonic clock: the buffer's own
// timestamp when the driver says it is CLOCK_MONOTONIC (V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC),
// which is the clock monotonicNowNs() reads; the dequeue time otherwise, and also when the
// stamp is implausible (after the dequeue, or more than two seconds before it).
qint64 v4l2BufferTimeNs(const timeval &timestamp, quint32 flags, qint64 dequeueNs);

// What the user is told when a node cannot be opened or set up: "permission denied — add
// your user to the 'video' group" (EACCES, EPERM), "in use by another program" (EBUSY),
// "not connected" (ENOENT, ENODEV, ENXIO), else the system's text.
QString v4l2ErrorReason(int error);

// A frame interval of numerator/denominator seconds as a format's rate: fpsNumerator
// 10 000 000 and fpsDenominator the interval in 100-ns units (rounded, at least 1). False for
// an interval that is zero or has a zero denominator.
bool v4l2IntervalToRate(V4l2Fraction interval, qint32 *fpsNumerator, qint32 *fpsDenominator);
// The other way, reduced: the time per frame to ask a device for. False when the rate is not
// positive.
bool rateToV4l2Interval(qint32 fpsNumerator, qint32 fpsDenominator, V4l2Fraction *interval);

// Drivers that describe sizes as a range (stepwise or continuous) would offer thousands of
// sizes; we offer the common picture sizes on the range's grid, and the largest size.
QList<QSize> v4l2RangeFrameSizes(int minWidth, int maxWidth, int stepWidth, int minHeight,
                                 int maxHeight, int stepHeight);
// Likewise for interval ranges: the common rates (60, 50, 30, 25, 24, 20, 15, 10, 5 fps)
// inside the range (on its step grid unless continuous), and always the shortest interval.
QList<V4l2Fraction> v4l2RangeFrameIntervals(V4l2Fraction minimum, V4l2Fraction maximum,
                                            V4l2Fraction step, bool continuous);

// The key of a device node: the /dev/v4l/by-id link that resolves to it (the first in name
// order when there are several), else the node itself. byIdLinks maps each link to the node
// it resolves to. By-id links survive replugging and renumbering; node numbers do not.
QString v4l2DeviceKey(const QString &node, const QMap<QString, QString> &byIdLinks);

// True for keys this layer may open: "/dev/videoN" or a link under "/dev/v4l/". Anything else
// (a file, another device) is refused before it is opened.
bool isV4l2DeviceKey(const QString &key);
// True when a resolved path is a video node, "/dev/videoN".
bool isV4l2NodePath(const QString &path);
// N of "videoN" (or "/dev/videoN"), -1 otherwise; orders nodes numerically.
int v4l2NodeNumber(const QString &nodeName);
