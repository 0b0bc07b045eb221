#include "recording/RecordingChoices.h"

#include <cmath>

namespace RecordingChoices {

const QList<Resolution> &resolutions()
{
    static const QList<Resolution> list = {
        {QStringLiteral("3840x2160 (4K UHD)"), QSize(3840, 2160)},
        {QStringLiteral("2560x1440 (2K QHD)"), QSize(2560, 1440)},
        {QStringLiteral("1920x1080 (1080p FHD)"), QSize(1920, 1080)},
        {QStringLiteral("1280x720 (720p HD)"), QSize(1280, 720)},
        {QStringLiteral("640x480 (SD)"), QSize(640, 480)},
    };
    return list;
}

const QList<FrameRateEntry> &frameRates()
{
    static const QList<FrameRateEntry> list = {
        {QStringLiteral("23.976 fps (Film / 24p NTSC)"), {24000, 1001}},
        {QStringLiteral("24.00 fps (Cinema Standard)"), {24, 1}},
        {QStringLiteral("25.00 fps (PAL Broadcast)"), {25, 1}},
        {QStringLiteral("29.97 fps (NTSC Broadcast)"), {30000, 1001}},
        {QStringLiteral("30.00 fps (Standard Web/Streaming)"), {30, 1}},
        {QStringLiteral("48.00 fps (HFR Cinema)"), {48, 1}},
        {QStringLiteral("50.00 fps (PAL High Motion)"), {50, 1}},
        {QStringLiteral("59.94 fps (NTSC High Motion)"), {60000, 1001}},
        {QStringLiteral("60.00 fps (60p High Framerate)"), {60, 1}},
        {QStringLiteral("120.00 fps (High Speed / Slomo)"), {120, 1}},
        {QStringLiteral("Auto (Match Highest Camera FPS)"), {30, 1}, true},
    };
    return list;
}

const QList<QualityPreset> &qualityPresets()
{
    static const QList<QualityPreset> list = {
        {QStringLiteral("Low (4 Mbps - Draft / Proxy)"), 4000, false, 0},
        {QStringLiteral("Medium (8 Mbps - Standard 1080p)"), 8000, false, 1},
        {QStringLiteral("High (16 Mbps - Production 1080p60/4K)"), 16000, false, 2},
        {QStringLiteral("Ultra (30 Mbps - Mastering / High Bitrate)"), 30000, false, 3},
        {QStringLiteral("Lossless (CRF 0 - Archival Quality)"), 0, true, 2},
    };
    return list;
}

const QStringList &rateControlModes()
{
    static const QStringList list = {QStringLiteral("CBR"), QStringLiteral("VBR"), QStringLiteral("CQP")};
    return list;
}

const QStringList &encoderProfiles()
{
    static const QStringList list = {QStringLiteral("Baseline"), QStringLiteral("Main"), QStringLiteral("High")};
    return list;
}

const QStringList &colorSpaces()
{
    static const QStringList list = {QStringLiteral("Rec.601"), QStringLiteral("Rec.709"), QStringLiteral("Rec.2020")};
    return list;
}

const QStringList &colorRanges()
{
    static const QStringList list = {QStringLiteral("Limited (16-235)"), QStringLiteral("Full (0-255)")};
    return list;
}

const QStringList &containerNames()
{
    static const QStringList list = {
        QStringLiteral("MP4 (.mp4 - Universal MPEG-4)"),
        QStringLiteral("MKV (.mkv - Safe Matroska Container)"),
        QStringLiteral("MOV (.mov - Apple QuickTime Format)"),
        QStringLiteral("TS (.ts - Broadcast Transport Stream)"),
        QStringLiteral("AVI (.avi - Legacy Audio Video Interleave)"),
    };
    return list;
}

int validIndex(int index, int count, int fallback)
{
    return index >= 0 && index < count ? index : fallback;
}

namespace {

// "29.97" of "29.97 fps (NTSC Broadcast)"; "auto" for the Auto entry.
QString commandLineValue(const FrameRateEntry &entry)
{
    return entry.isAuto ? QStringLiteral("auto") : entry.rate.text();
}

} // namespace

int frameRateIndexForText(const QString &text)
{
    const QString value = text.trimmed().toLower();
    const QList<FrameRateEntry> &list = frameRates();
    bool isNumber = false;
    const double fps = value.toDouble(&isNumber);
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (value == commandLineValue(list.at(i)))
            return int(i);
        // "25.00", "29.970" name the same entry; 29.9 or 30.5 name none.
        if (isNumber && !list.at(i).isAuto && std::abs(fps - list.at(i).rate.toDouble()) < 0.0015)
            return int(i);
    }
    return -1;
}

int resolutionIndexForText(const QString &text)
{
    const QString value = text.trimmed().toLower();
    const QList<Resolution> &list = resolutions();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QSize size = list.at(i).size;
        if (value == QStringLiteral("%1x%2").arg(size.width()).arg(size.height()))
            return int(i);
    }
    return -1;
}

QString frameRateValues()
{
    QStringList values;
    for (const FrameRateEntry &entry : frameRates())
        values.append(commandLineValue(entry));
    return values.join(QLatin1String(", "));
}

QString resolutionValues()
{
    QStringList values;
    for (const Resolution &entry : resolutions())
        values.append(QStringLiteral("%1x%2").arg(entry.size.width()).arg(entry.size.height()));
    return values.join(QLatin1String(", "));
}

} // namespace RecordingChoices
