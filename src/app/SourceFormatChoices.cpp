#include "app/SourceFormatChoices.h"

#include "recording/FrameRate.h"

#include <QSize>

#include <cmath>

namespace {

const QList<QSize> kCommonSizes = {{1920, 1080}, {3840, 2160}, {2560, 1440}, {1280, 720}, {640, 480}};
const QList<double> kCommonRates = {60.0, 60000.0 / 1001, 50.0, 30.0, 30000.0 / 1001, 25.0, 24.0, 24000.0 / 1001};

QString sizeLabel(int width, int height)
{
    const QString size = QStringLiteral("%1x%2").arg(width).arg(height);
    static const QList<std::pair<QSize, const char *>> names = {
        {{3840, 2160}, " (4K UHD)"}, {{2560, 1440}, " (2K QHD)"}, {{1920, 1080}, " (1080p FHD)"},
        {{1280, 720}, " (720p HD)"}, {{640, 480}, " (SD)"}};
    for (const auto &[known, name] : names) {
        if (known == QSize(width, height))
            return size + QLatin1String(name);
    }
    return size;
}

QString rateLabel(double fps, const QString &formatName)
{
    // Three decimals where two would hide the rate (23.976).
    const bool isFilm = std::abs(fps - 24000.0 / 1001) < 0.001;
    const QString rate = QString::number(fps, 'f', isFilm ? 3 : 2) + QStringLiteral(" fps");
    return formatName.isEmpty() ? rate : QStringLiteral("%1 (%2)").arg(rate, formatName);
}

QVariantMap rateEntry(double fps, const QString &formatName)
{
    return {{QStringLiteral("label"), rateLabel(fps, formatName)},
            {QStringLiteral("fps"), fps},
            {QStringLiteral("formatName"), formatName}};
}

QVariantList commonRates()
{
    QVariantList rates;
    for (const double fps : kCommonRates)
        rates.append(rateEntry(fps, QString()));
    return rates;
}

// The rate as the take names it: 10 000 000 / 333 333 is 30, 10 000 000 / 333 667 is 30000/1001.
double nominalFps(const CameraFormat &format)
{
    return frameRateFraction(format.fpsDenominator > 0 ? double(format.fpsNumerator) / format.fpsDenominator : 30.0)
        .toDouble();
}

} // namespace

namespace SourceFormatChoices {

QVariantMap choicesFor(const QList<CameraFormat> &formats)
{
    QVariantList resolutions;
    QList<QSize> sizes;
    for (const CameraFormat &format : formats) {
        if (!sizes.contains(QSize(format.width, format.height)))
            sizes.append(QSize(format.width, format.height));
    }
    for (const QSize &size : sizes) {
        QVariantList rates;
        QStringList seen;
        for (const CameraFormat &format : formats) {
            if (QSize(format.width, format.height) != size)
                continue;
            const QVariantMap entry = rateEntry(nominalFps(format), format.subtypeName);
            const QString label = entry.value(QStringLiteral("label")).toString();
            if (!seen.contains(label)) {
                seen.append(label);
                rates.append(entry);
            }
        }
        resolutions.append(QVariantMap{{QStringLiteral("label"), sizeLabel(size.width(), size.height())},
                                       {QStringLiteral("width"), size.width()},
                                       {QStringLiteral("height"), size.height()},
                                       {QStringLiteral("frameRates"), rates}});
    }
    if (resolutions.isEmpty()) {
        for (const QSize &size : kCommonSizes)
            resolutions.append(QVariantMap{{QStringLiteral("label"), sizeLabel(size.width(), size.height())},
                                           {QStringLiteral("width"), size.width()},
                                           {QStringLiteral("height"), size.height()},
                                           {QStringLiteral("frameRates"), commonRates()}});
    }
    const QVariantList colorRanges = {
        QVariantMap{{QStringLiteral("label"), QStringLiteral("Default (Auto)")}, {QStringLiteral("value"), QStringLiteral("Default")}},
        QVariantMap{{QStringLiteral("label"), QStringLiteral("Full (0-255 PC)")}, {QStringLiteral("value"), QStringLiteral("Full (0-255 PC)")}},
        QVariantMap{{QStringLiteral("label"), QStringLiteral("Partial (16-235 TV)")}, {QStringLiteral("value"), QStringLiteral("Partial (16-235 TV)")}},
    };
    return {{QStringLiteral("resolutions"), resolutions}, {QStringLiteral("colorRanges"), colorRanges}};
}

QVariantMap positionsIn(const QVariantMap &choices, int width, int height, double fps,
                        const QString &formatName, const QString &colorRange)
{
    const QVariantList resolutions = choices.value(QStringLiteral("resolutions")).toList();
    int resolution = 0;
    for (qsizetype i = 0; i < resolutions.size(); ++i) {
        const QVariantMap entry = resolutions.at(i).toMap();
        if (entry.value(QStringLiteral("width")).toInt() == width && entry.value(QStringLiteral("height")).toInt() == height) {
            resolution = int(i);
            break;
        }
    }
    const QVariantList rates = resolutions.value(resolution).toMap().value(QStringLiteral("frameRates")).toList();
    // The rate nearest to the one asked for (within 0.2 fps), the entry of its pixel format
    // first among equally near ones.
    int frameRate = 0;
    double nearest = 0.2;
    bool isNamed = false;
    for (qsizetype i = 0; i < rates.size(); ++i) {
        const QVariantMap entry = rates.at(i).toMap();
        const double distance = std::abs(entry.value(QStringLiteral("fps")).toDouble() - fps);
        const bool named = !formatName.isEmpty() && entry.value(QStringLiteral("formatName")).toString() == formatName;
        if (distance < nearest - 1e-6 || (distance < nearest + 1e-6 && named && !isNamed)) {
            nearest = distance;
            frameRate = int(i);
            isNamed = named;
        }
    }
    const QVariantList ranges = choices.value(QStringLiteral("colorRanges")).toList();
    int range = 0;
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        if (ranges.at(i).toMap().value(QStringLiteral("value")).toString() == colorRange)
            range = int(i);
    }
    return {{QStringLiteral("resolution"), resolution},
            {QStringLiteral("frameRate"), frameRate},
            {QStringLiteral("colorRange"), range}};
}

} // namespace SourceFormatChoices
