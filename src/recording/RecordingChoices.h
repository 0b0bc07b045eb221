// RecordingChoices: the lists the recording settings choose from, in the settings window's
// order, with what each entry means for a take. The one place these lists live: the settings
// window, the phone page and the command line all read them from here. Pure data and
// look-ups; any thread may call them.
#pragma once

#include "recording/FrameRate.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace RecordingChoices {

// "Master Recording Resolution": the largest size a camera is recorded at.
struct Resolution
{
    QString label; // "1920x1080 (1080p FHD)"
    QSize size;
};
const QList<Resolution> &resolutions();

// "Global Framerate": the take's rate. The last entry, "Auto (Match Highest Camera FPS)",
// takes the fastest running camera's rate when the take starts.
struct FrameRateEntry
{
    QString label; // "29.97 fps (NTSC Broadcast)"
    FrameRate rate;
    bool isAuto = false;
};
const QList<FrameRateEntry> &frameRates();
// The rate a take records at for entry `index` when the list has no such entry, and when
// "Auto" finds no camera: 30 fps.
constexpr int kDefaultFrameRateIndex = 4;

// "Quality Preset": a bitrate (or lossless) and how hard a hardware encoder works for it.
struct QualityPreset
{
    QString label;      // "High (16 Mbps - Production 1080p60/4K)"
    int bitrateKbps = 0;
    bool isLossless = false;
    int effort = 0;     // EncoderConfig::effort
};
const QList<QualityPreset> &qualityPresets();

// The advanced grid's lists, in list order.
const QStringList &rateControlModes();  // "CBR", "VBR", "CQP"
const QStringList &encoderProfiles();   // "Baseline", "Main", "High"
const QStringList &colorSpaces();       // "Rec.601", "Rec.709", "Rec.2020"
const QStringList &colorRanges();       // "Limited (16-235)", "Full (0-255)"
// "Recording Format (Container)".
const QStringList &containerNames();

// The entry `index` of a list of `count` entries, or `fallback` when there is none.
int validIndex(int index, int count, int fallback);

// Command line values: "25", "29.97", "23.976", "60", "auto" → the frame-rate entry; -1 for a
// value the list does not offer. "1280x720" → the resolution entry; -1 likewise.
int frameRateIndexForText(const QString &text);
int resolutionIndexForText(const QString &text);
// What the command line offers: "23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 120, auto" and
// "3840x2160, 2560x1440, 1920x1080, 1280x720, 640x480".
QString frameRateValues();
QString resolutionValues();

} // namespace RecordingChoices
