#include "capture/V4l2Mapping.h"

#include <QRegularExpression>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <sys/time.h>

#include <algorithm>
#include <numeric>

namespace {

constexpr qint64 HundredNsPerSecond = 10'000'000;

const QSize CommonSizes[] = {
    {320, 240}, {640, 360}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720},
    {1280, 960}, {1600, 1200}, {1920, 1080}, {2560, 1440}, {3840, 2160},
};

const quint32 CommonRates[] = {60, 50, 30, 25, 24, 20, 15, 10, 5};

bool onGrid(int value, int minimum, int maximum, int step)
{
    if (value < minimum || value > maximum)
        return false;
    return step <= 1 || (value - minimum) % step == 0;
}

// Sign of a/b - c/d for positive denominators, without overflow for 32-bit parts.
int compareFractions(quint64 a, quint64 b, quint64 c, quint64 d)
{
    const unsigned __int128 left = (unsigned __int128)a * d;
    const unsigned __int128 right = (unsigned __int128)c * b;
    return left < right ? -1 : (left > right ? 1 : 0);
}

bool intervalOnStepGrid(quint32 rate, V4l2Fraction minimum, V4l2Fraction step)
{
    // (1/rate - min) / step must be a whole number:
    // ((min.d - rate * min.n) * step.d) / (rate * min.d * step.n).
    if (step.numerator == 0 || step.denominator == 0)
        return true;
    const __int128 top = ((__int128)minimum.denominator - (__int128)rate * minimum.numerator)
        * step.denominator;
    const __int128 bottom = (__int128)rate * minimum.denominator * step.numerator;
    return bottom != 0 && top % bottom == 0;
}

} // namespace

QString v4l2SubtypeName(quint32 pixelFormat)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
        return QStringLiteral("YUY2");
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return QStringLiteral("MJPEG");
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
        return QStringLiteral("RGB24");
    case V4L2_PIX_FMT_H264:
        return QStringLiteral("H264");
    default:
        return QStringLiteral("Unknown");
    }
}

std::optional<CapturePixelFormat> capturePixelFormatFor(quint32 pixelFormat)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return CapturePixelFormat::Mjpeg;
    case V4L2_PIX_FMT_H264: return CapturePixelFormat::H264;
    case V4L2_PIX_FMT_YUYV: return CapturePixelFormat::Yuyv;
    case V4L2_PIX_FMT_UYVY: return CapturePixelFormat::Uyvy;
    case V4L2_PIX_FMT_NV12: return CapturePixelFormat::Nv12;
    case V4L2_PIX_FMT_YUV420: return CapturePixelFormat::Yu12;
    case V4L2_PIX_FMT_RGB24: return CapturePixelFormat::Rgb24;
    case V4L2_PIX_FMT_BGR24: return CapturePixelFormat::Bgr24;
    default: return std::nullopt;
    }
}

QString fourccText(quint32 pixelFormat)
{
    QString text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((pixelFormat >> shift) & 0xFF);
        text.append(c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('?'));
    }
    return text.trimmed();
}

qint64 v4l2BufferTimeNs(const timeval &timestamp, quint32 flags, qint64 dequeueNs)
{
    if ((flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) != V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
        return dequeueNs;
    const qint64 stampNs = qint64(timestamp.tv_sec) * 1'000'000'000 + qint64(timestamp.tv_usec) * 1000;
    // A driver that fills the field badly must not move pictures around in the recording.
    if (stampNs > dequeueNs || stampNs < dequeueNs - 2'000'000'000)
        return dequeueNs;
    return stampNs;
}

QString v4l2ErrorReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("permission denied \u2014 add your user to the 'video' group");
    case EBUSY: return QStringLiteral("in use by another program");
    case ENOENT:
    case ENODEV:
    case ENXIO: return QStringLiteral("not connected");
    default: return QString::fromLocal8Bit(strerror(error));
    }
}

bool v4l2IntervalToRate(V4l2Fraction interval, qint32 *fpsNumerator, qint32 *fpsDenominator)
{
    if (interval.numerator == 0 || interval.denominator == 0)
        return false;
    const quint64 hundredNs = (quint64(interval.numerator) * HundredNsPerSecond
                               + interval.denominator / 2)
        / interval.denominator;
    *fpsNumerator = qint32(HundredNsPerSecond);
    *fpsDenominator = qint32(std::clamp<quint64>(hundredNs, 1, quint64(INT32_MAX)));
    return true;
}

bool rateToV4l2Interval(qint32 fpsNumerator, qint32 fpsDenominator, V4l2Fraction *interval)
{
    if (fpsNumerator <= 0 || fpsDenominator <= 0)
        return false;
    const qint32 divisor = std::gcd(fpsNumerator, fpsDenominator);
    interval->numerator = quint32(fpsDenominator / divisor);
    interval->denominator = quint32(fpsNumerator / divisor);
    return true;
}

QList<QSize> v4l2RangeFrameSizes(int minWidth, int maxWidth, int stepWidth, int minHeight,
                                 int maxHeight, int stepHeight)
{
    QList<QSize> sizes;
    if (maxWidth < 1 || maxHeight < 1 || minWidth > maxWidth || minHeight > maxHeight)
        return sizes;
    for (const QSize &size : CommonSizes) {
        if (onGrid(size.width(), minWidth, maxWidth, stepWidth)
            && onGrid(size.height(), minHeight, maxHeight, stepHeight))
            sizes.append(size);
    }
    const QSize largest(maxWidth, maxHeight);
    if (!sizes.contains(largest))
        sizes.append(largest);
    return sizes;
}

QList<V4l2Fraction> v4l2RangeFrameIntervals(V4l2Fraction minimum, V4l2Fraction maximum,
                                            V4l2Fraction step, bool continuous)
{
    QList<V4l2Fraction> intervals;
    if (minimum.numerator == 0 || minimum.denominator == 0 || maximum.denominator == 0)
        return intervals;
    intervals.append(minimum);
    for (quint32 rate : CommonRates) {
        // The interval 1/rate lies in [minimum, maximum].
        if (compareFractions(1, rate, minimum.numerator, minimum.denominator) <= 0)
            continue; // as short as the minimum, already listed, or shorter than allowed
        if (compareFractions(1, rate, maximum.numerator, maximum.denominator) > 0)
            continue;
        if (!continuous && !intervalOnStepGrid(rate, minimum, step))
            continue;
        intervals.append(V4l2Fraction{1, rate});
    }
    return intervals;
}

QString v4l2DeviceKey(const QString &node, const QMap<QString, QString> &byIdLinks)
{
    // QMap iterates in key order, so the first match is the first link by name.
    for (auto it = byIdLinks.cbegin(); it != byIdLinks.cend(); ++it) {
        if (it.value() == node)
            return it.key();
    }
    return node;
}

bool isV4l2DeviceKey(const QString &key)
{
    if (isV4l2NodePath(key))
        return true;
    static const QRegularExpression linkPattern(QStringLiteral("^/dev/v4l/[^/]+/[^/]+$"));
    return !key.contains(QLatin1String("/../")) && !key.endsWith(QLatin1String("/.."))
        && linkPattern.match(key).hasMatch();
}

bool isV4l2NodePath(const QString &path)
{
    static const QRegularExpression nodePattern(QStringLiteral("^/dev/video[0-9]+$"));
    return nodePattern.match(path).hasMatch();
}

int v4l2NodeNumber(const QString &nodeName)
{
    static const QRegularExpression namePattern(QStringLiteral("^(?:/dev/)?video([0-9]{1,9})$"));
    const QRegularExpressionMatch match = namePattern.match(nodeName);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}
