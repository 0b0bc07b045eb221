// RecordingSettings: every recording setting as one value, with the defaults of a first
// start, and its store in the application's settings (group "RecordingConfig", plus
// "Recording/BroadcastWav"). The application manager owns the one live value; the settings
// window and the phone read and change it through the manager. GUI thread only (QSettings).
//
// Reading never fails: a key that is missing keeps its default, a key whose value cannot be
// read (damaged or hand-edited) gets its default and is named in one log line.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

struct RecordingSettings
{
    // Root folder of all sessions; empty: the platform's default (AppPaths).
    QString outputFolder;
    // Positions in the lists of RecordingChoices. The encoder position counts in the list of
    // encoders this machine offers; one past its end records with its last entry.
    int resolutionIndex = 2;   // "1920x1080 (1080p FHD)"
    int framerateIndex = 4;    // "30.00 fps (Standard Web/Streaming)"
    int encoderIndex = 0;
    int formatIndex = 0;       // MP4
    int qualityIndex = 2;      // "High (16 Mbps - Production 1080p60/4K)"
    // The advanced grid; it decides only while advancedQuality is on.
    bool advancedQuality = false;
    QString rateControlMode = QStringLiteral("CBR");
    // CBR/VBR: kbit/s. CQP: the quantiser ("CQP Level (1-51)"), when below 51.
    int targetBitrateKbps = 16000;
    int maxBitrateKbps = 24000;
    int keyframeIntervalSeconds = 2;
    int bFrames = 2;
    QString encoderProfile = QStringLiteral("High");
    bool lookahead = false;
    QString colorSpace = QStringLiteral("Rec.709");
    QString colorRange = QStringLiteral("Limited (16-235)");
    // WAV files carry a Broadcast WAV chunk with the take's timecode.
    bool broadcastWav = false;
    // How a camera without a mode of its own is recorded: "reencode" or "camera" (its own
    // stream as it comes; CameraRecordingMode).
    QString cameraRecordingMode = QStringLiteral("reencode");

    friend bool operator==(const RecordingSettings &, const RecordingSettings &) = default;

    // The CQP level the target field stands for: the value below 51, else 20.
    int cqpLevel() const;
    bool isFullRange() const;
};

namespace RecordingSettingsStore {

// Reads the value; keys that cannot be read keep their defaults and are named, with what
// they held, in one warning (also when the file itself is damaged).
RecordingSettings load(QSettings &settings);
// Writes every key; false (and a warning) when the store could not be written.
bool save(QSettings &settings, const RecordingSettings &value);

} // namespace RecordingSettingsStore

// What the settings window's typed fields mean (a typed 0 or text that is no number gives the
// default): the target in CQP mode is a level (default 20), else a bitrate (16000).
namespace RecordingSettingsText {

int targetFromText(const QString &text, const QString &rateControlMode);
QString targetText(int targetBitrateKbps, const QString &rateControlMode);
int maxBitrateFromText(const QString &text);
int keyframeIntervalFromText(const QString &text);
int bFramesFromText(const QString &text);

} // namespace RecordingSettingsText
