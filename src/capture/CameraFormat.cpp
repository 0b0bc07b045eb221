#include "capture/CameraFormat.h"

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

    const CameraFormat *firstCandidate = nullptr;
    for (const CameraFormat &format : formats) {
        if (format.width != width || format.height != height)
            continue;
        if (!(std::fabs(format.frameRate() - fps) < 1.0f))
            continue;
        if (name == QLatin1String("Default") || format.subtypeName.compare(name, Qt::CaseInsensitive) == 0)
            return format;
        if (!firstCandidate)
            firstCandidate = &format;
    }
    return firstCandidate ? *firstCandidate : formats.first();
}
