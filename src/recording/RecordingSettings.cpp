#include "recording/RecordingSettings.h"

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

// Reads the keys of one settings value, collecting the ones that cannot be read.
class Reader
{
public:
    explicit Reader(QSettings &settings) : m_settings(settings) {}

    void index(const QString &key, int count, int *target)
    {
        number(key, 0, count > 0 ? count - 1 : INT_MAX, target);
    }

    void number(const QString &key, int minimum, int maximum, int *target)
    {
        const QVariant value = m_settings.value(key);
        if (!value.isValid())
            return;
        bool ok = false;
        const int n = value.toString().trimmed().toInt(&ok);
        if (!ok || n < minimum || n > maximum)
            return unreadable(key, value);
        *target = n;
    }

    void flag(const QString &key, bool *target)
    {
        const QVariant value = m_settings.value(key);
        if (!value.isValid())
            return;
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            *target = true;
        else if (text == QLatin1String("false") || text == QLatin1String("0"))
            *target = false;
        else
            unreadable(key, value);
    }

    void choice(const QString &key, const QStringList &entries, QString *target)
    {
        const QVariant value = m_settings.value(key);
        if (!value.isValid())
            return;
        if (!entries.contains(value.toString()))
            return unreadable(key, value);
        *target = value.toString();
    }

    void text(const QString &key, QString *target)
    {
        const QVariant value = m_settings.value(key);
        if (!value.isValid())
            return;
        if (value.toString().trimmed().isEmpty())
            return unreadable(key, value);
        *target = value.toString();
    }

    QStringList problems;

private:
    void unreadable(const QString &key, const QVariant &value)
    {
        const QString group = m_settings.group();
        problems.append(QStringLiteral("%1%2 (\"%3\")")
                            .arg(group.isEmpty() ? QString() : group + QLatin1Char('/'), key, value.toString().left(40)));
    }

    QSettings &m_settings;
};

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
    // Parses the whole file now: only then does status() tell whether it is damaged.
    (void)settings.allKeys();
    Reader read(settings);
    read.flag(kBroadcastWavKey, &value.broadcastWav);
    settings.beginGroup(kGroup);
    read.text(QStringLiteral("outputFolder"), &value.outputFolder);
    read.index(QStringLiteral("resolutionIndex"), int(RecordingChoices::resolutions().size()), &value.resolutionIndex);
    read.index(QStringLiteral("framerateIndex"), int(RecordingChoices::frameRates().size()), &value.framerateIndex);
    // Stored on a machine that may offer more encoders: any position is kept.
    read.index(QStringLiteral("encoderIndex"), 0, &value.encoderIndex);
    read.index(QStringLiteral("formatIndex"), int(RecordingChoices::containerNames().size()), &value.formatIndex);
    read.index(QStringLiteral("qualityIndex"), int(RecordingChoices::qualityPresets().size()), &value.qualityIndex);
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
    settings.endGroup();

    if (settings.status() == QSettings::FormatError)
        read.problems.prepend(QStringLiteral("the settings file %1 is damaged").arg(settings.fileName()));
    if (!read.problems.isEmpty())
        qWarning().noquote() << "[RecordingSettings] Using the defaults for what could not be read:"
                             << read.problems.join(QLatin1String(", "));
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
