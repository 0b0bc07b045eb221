#include "recording/RecordingSettings.h"

#include "common/SettingsReader.h"
#include "recording/RecordingChoices.h"

#include <QDebug>

#include <climits>

namespace {

const QString kGroup = QStringLiteral("RecordingConfig");
const QString kBroadcastWavKey = QStringLiteral("Recording/BroadcastWav");

// The highest CQP level; a stored target above it is a bitrate, not a level.
constexpr int kMaxCqpLevel = 51;
constexpr int kDefaultCqpLevel = 20;
// Sane bounds for what a hand-edited file may say.
constexpr int kMaxBitrateKbps = 1'000'000;
constexpr int kMaxKeyframeSeconds = 60;
constexpr int kMaxBFrames = 16;

int positiveIntOr(const QString &text, int fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int RecordingSettings::cqpLevel() const
{
    return targetBitrateKbps >= 1 && targetBitrateKbps < kMaxCqpLevel ? targetBitrateKbps : kDefaultCqpLevel;
}

bool RecordingSettings::isFullRange() const
{
    return colorRange == RecordingChoices::colorRanges().value(1);
}

namespace RecordingSettingsStore {

RecordingSettings load(QSettings &settings)
{
    RecordingSettings value;
    SettingsReader read(settings);
    read.flag(kBroadcastWavKey, &value.broadcastWav);
    settings.beginGroup(kGroup);
    read.text(QStringLiteral("outputFolder"), &value.outputFolder, false);
    const auto index = [&read](const QString &key, qsizetype entries, int *target) {
        read.number(key, 0, int(entries) - 1, target);
    };
    index(QStringLiteral("resolutionIndex"), RecordingChoices::resolutions().size(), &value.resolutionIndex);
    index(QStringLiteral("framerateIndex"), RecordingChoices::frameRates().size(), &value.framerateIndex);
    // Stored on a machine that may offer more encoders: any position is kept.
    read.number(QStringLiteral("encoderIndex"), 0, INT_MAX, &value.encoderIndex);
    index(QStringLiteral("formatIndex"), RecordingChoices::containerNames().size(), &value.formatIndex);
    index(QStringLiteral("qualityIndex"), RecordingChoices::qualityPresets().size(), &value.qualityIndex);
    read.flag(QStringLiteral("advancedQuality"), &value.advancedQuality);
    read.choice(QStringLiteral("rateControlMode"), RecordingChoices::rateControlModes(), &value.rateControlMode);
    read.number(QStringLiteral("targetBitrateKbps"), 1, kMaxBitrateKbps, &value.targetBitrateKbps);
    read.number(QStringLiteral("maxBitrateKbps"), 1, kMaxBitrateKbps, &value.maxBitrateKbps);
    read.number(QStringLiteral("keyframeInterval"), 1, kMaxKeyframeSeconds, &value.keyframeIntervalSeconds);
    read.number(QStringLiteral("bFrames"), 0, kMaxBFrames, &value.bFrames);
    read.choice(QStringLiteral("encoderProfile"), RecordingChoices::encoderProfiles(), &value.encoderProfile);
    read.flag(QStringLiteral("lookahead"), &value.lookahead);
    read.choice(QStringLiteral("colorSpace"), RecordingChoices::colorSpaces(), &value.colorSpace);
    read.choice(QStringLiteral("colorRange"), RecordingChoices::colorRanges(), &value.colorRange);
    read.choice(QStringLiteral("cameraRecordingMode"), {QStringLiteral("reencode"), QStringLiteral("camera")},
                &value.cameraRecordingMode);
    settings.endGroup();

    if (const QStringList problems = read.problems(); !problems.isEmpty())
        qWarning().noquote() << "[RecordingSettings] Using the defaults for what could not be read:"
                             << problems.join(QLatin1String(", "));
    return value;
}

bool save(QSettings &settings, const RecordingSettings &value)
{
    settings.setValue(kBroadcastWavKey, value.broadcastWav);
    settings.beginGroup(kGroup);
    if (value.outputFolder.isEmpty())
        settings.remove(QStringLiteral("outputFolder"));
    else
        settings.setValue(QStringLiteral("outputFolder"), value.outputFolder);
    settings.setValue(QStringLiteral("resolutionIndex"), value.resolutionIndex);
    settings.setValue(QStringLiteral("framerateIndex"), value.framerateIndex);
    settings.setValue(QStringLiteral("encoderIndex"), value.encoderIndex);
    settings.setValue(QStringLiteral("formatIndex"), value.formatIndex);
    settings.setValue(QStringLiteral("qualityIndex"), value.qualityIndex);
    settings.setValue(QStringLiteral("advancedQuality"), value.advancedQuality);
    settings.setValue(QStringLiteral("rateControlMode"), value.rateControlMode);
    settings.setValue(QStringLiteral("targetBitrateKbps"), value.targetBitrateKbps);
    settings.setValue(QStringLiteral("maxBitrateKbps"), value.maxBitrateKbps);
    settings.setValue(QStringLiteral("keyframeInterval"), value.keyframeIntervalSeconds);
    settings.setValue(QStringLiteral("bFrames"), value.bFrames);
    settings.setValue(QStringLiteral("encoderProfile"), value.encoderProfile);
    settings.setValue(QStringLiteral("lookahead"), value.lookahead);
    settings.setValue(QStringLiteral("colorSpace"), value.colorSpace);
    settings.setValue(QStringLiteral("colorRange"), value.colorRange);
    settings.setValue(QStringLiteral("cameraRecordingMode"), value.cameraRecordingMode);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning().noquote() << "[RecordingSettings] Could not save the recording settings to" << settings.fileName();
        return false;
    }
    return true;
}

} // namespace RecordingSettingsStore

namespace RecordingSettingsText {

int targetFromText(const QString &text, const QString &rateControlMode)
{
    const RecordingSettings defaults;
    return positiveIntOr(text, rateControlMode == QLatin1String("CQP") ? kDefaultCqpLevel : defaults.targetBitrateKbps);
}

QString targetText(int targetBitrateKbps, const QString &rateControlMode)
{
    if (rateControlMode != QLatin1String("CQP"))
        return QString::number(targetBitrateKbps);
    RecordingSettings value;
    value.targetBitrateKbps = targetBitrateKbps;
    return QString::number(value.cqpLevel());
}

int maxBitrateFromText(const QString &text)
{
    return positiveIntOr(text, RecordingSettings{}.maxBitrateKbps);
}

int keyframeIntervalFromText(const QString &text)
{
    return positiveIntOr(text, RecordingSettings{}.keyframeIntervalSeconds);
}

int bFramesFromText(const QString &text)
{
    return positiveIntOr(text, RecordingSettings{}.bFrames);
}

} // namespace RecordingSettingsText
