#include "capture/CameraFormat.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

float CameraFormat::frameRate() const
{
    if (fpsDenominator <= 0)
        return 0.0f;
    return float(fpsNumerator) / float(fpsDenominator);
}

namespace {

bool isSameOffer(const CameraFormat &a, const CameraFormat &b)
{
    return a.width == b.width && a.height == b.height && a.fpsDenominator == b.fpsDenominator
        && a.subtype == b.subtype && a.subtypeName == b.subtypeName;
}

double exactRate(const CameraFormat &format)
{
    return format.fpsDenominator > 0 ? double(format.fpsNumerator) / format.fpsDenominator : 0.0;
}

} // namespace

QList<CameraFormat> normaliseCameraFormats(const QList<CameraFormat> &formats)
{
    QList<CameraFormat> unique;
    unique.reserve(formats.size());
    for (const CameraFormat &format : formats) {
        const bool seen = std::any_of(unique.cbegin(), unique.cend(), [&](const CameraFormat &kept) {
            return isSameOffer(kept, format);
        });
        if (!seen)
            unique.append(format);
    }
    // Stable, so formats that tie (one size and rate in several subtypes) keep the device's
    // order, which is its own preference.
    std::stable_sort(unique.begin(), unique.end(), [](const CameraFormat &a, const CameraFormat &b) {
        const qint64 pixelsA = qint64(a.width) * a.height;
        const qint64 pixelsB = qint64(b.width) * b.height;
        if (pixelsA != pixelsB)
            return pixelsA > pixelsB;
        return exactRate(a) > exactRate(b);
    });
    return unique;
}

CameraFormat chooseCameraFormat(const QList<CameraFormat> &formats, int width, int height,
                                float fps, const QString &name)
{
    if (formats.isEmpty()) {
        CameraFormat requested;
        requested.width = width;
        requested.height = height;
        // A rate that is not a positive number would not convert to an integer safely; 0 leaves
        // the device at its own rate.
        const bool usableRate = std::isfinite(fps) && fps > 0.0f;
        requested.fpsNumerator = usableRate ? qint32(std::min(fps, 1000.0f) * 1000.0f) : 0;
        requested.fpsDenominator = 1000;
        return requested;
    }

    // Of the rates within 1 fps, the nearest: a camera that offers both 30 and 29.97 opens at
    // the one asked for.
    float nearest = 1.0f;
    for (const CameraFormat &format : formats) {
        if (format.width == width && format.height == height)
            nearest = std::min(nearest, std::fabs(format.frameRate() - fps));
    }
    const CameraFormat *firstCandidate = nullptr;
    for (const CameraFormat &format : formats) {
        if (format.width != width || format.height != height)
            continue;
        const float distance = std::fabs(format.frameRate() - fps);
        if (!(distance < 1.0f) || distance > nearest + 0.005f)
            continue;
        if (name == QLatin1String("Default") || format.subtypeName.compare(name, Qt::CaseInsensitive) == 0)
            return format;
        if (!firstCandidate)
            firstCandidate = &format;
    }
    return firstCandidate ? *firstCandidate : formats.first();
}

namespace {

QString sizeText(const CameraFormat &format)
{
    return QStringLiteral("%1\u00d7%2").arg(format.width).arg(format.height);
}

QString rateText(double rate)
{
    // Two decimals, without trailing zeros: 30, 29.97, 59.94, 7.5.
    QString text = QString::number(rate, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text + QStringLiteral(" fps");
}

} // namespace

QString describeCameraFormat(const CameraFormat &format)
{
    QStringList parts{sizeText(format)};
    if (!format.subtypeName.isEmpty())
        parts.append(format.subtypeName);
    if (exactRate(format) > 0.0)
        parts.append(rateText(exactRate(format)));
    return parts.join(QLatin1Char(' '));
}

namespace {

// What of `asked` the device did not grant, as the user reads it ("1920×1080", "MJPEG",
// "30 fps"); empty when it granted everything asked for.
QStringList ungrantedParts(const CameraFormat &granted, const CameraFormat &asked)
{
    QStringList differences;
    if (asked.width > 0 && asked.height > 0 && (asked.width != granted.width || asked.height != granted.height))
        differences.append(sizeText(asked));
    if (!asked.subtypeName.isEmpty() && asked.subtypeName != QLatin1String("Default")
        && asked.subtypeName.compare(granted.subtypeName, Qt::CaseInsensitive) != 0)
        differences.append(asked.subtypeName);
    // Within a twentieth of a frame: 30 asked is granted by 30000/1001 as well as by 30.
    if (exactRate(asked) > 0.0 && std::fabs(exactRate(asked) - exactRate(granted)) > 0.05)
        differences.append(rateText(exactRate(asked)));
    return differences;
}

} // namespace

bool isGrantedAsAsked(const CameraFormat &granted, const CameraFormat &asked)
{
    return ungrantedParts(granted, asked).isEmpty();
}

QString describeGrantedFormat(const CameraFormat &granted, const CameraFormat &asked)
{
    const QStringList differences = ungrantedParts(granted, asked);
    const QString text = describeCameraFormat(granted);
    if (differences.isEmpty())
        return text;
    return QStringLiteral("%1 (asked %2)").arg(text, differences.join(QLatin1Char(' ')));
}
