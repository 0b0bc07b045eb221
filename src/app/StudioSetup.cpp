#include "app/StudioSetup.h"

#include "common/SettingsReader.h"

#include <QDebug>

namespace {

const QString kGroup = QStringLiteral("Studio");
// Written with every save: tells a saved set-up (restored at start) from a first start.
const QString kSavedKey = QStringLiteral("saved");

QString channelGroup(int channelId)
{
    return QStringLiteral("Channel%1").arg(channelId);
}

void readChannel(SettingsReader &read, ChannelSetup &c)
{
    read.text(QStringLiteral("cameraKey"), &c.cameraKey);
    read.text(QStringLiteral("cameraName"), &c.cameraName);
    read.number(QStringLiteral("width"), 1, 16384, &c.width);
    read.number(QStringLiteral("height"), 1, 16384, &c.height);
    read.number(QStringLiteral("fps"), 0.1, 1000.0, &c.fps);
    read.text(QStringLiteral("formatName"), &c.formatName);
    read.text(QStringLiteral("colorRange"), &c.colorRange, false);
    read.flag(QStringLiteral("flipped"), &c.isFlipped);
    read.flag(QStringLiteral("recorded"), &c.isCameraRecorded);
    read.choice(QStringLiteral("recordingMode"), {QString(), QStringLiteral("reencode"), QStringLiteral("camera")},
                &c.recordingMode);
    read.text(QStringLiteral("channelName"), &c.channelName);
    read.text(QStringLiteral("audioInput"), &c.audioInput);
    read.number(QStringLiteral("fader"), 0.0f, 1.0f, &c.fader);
    read.flag(QStringLiteral("mute"), &c.isMuted);
    read.flag(QStringLiteral("solo"), &c.isSolo);
    read.flag(QStringLiteral("separateAudio"), &c.isSeparateAudio);
    read.number(QStringLiteral("cameraLink"), 0, ChannelRange::kLast, &c.cameraLink);
    read.number(QStringLiteral("trimDb"), -20.0f, 20.0f, &c.trimDb);
    read.flag(QStringLiteral("lowCut"), &c.isLowCut);
}

void writeChannel(QSettings &s, const ChannelSetup &c)
{
    s.setValue(QStringLiteral("cameraKey"), c.cameraKey);
    s.setValue(QStringLiteral("cameraName"), c.cameraName);
    s.setValue(QStringLiteral("width"), c.width);
    s.setValue(QStringLiteral("height"), c.height);
    s.setValue(QStringLiteral("fps"), c.fps);
    s.setValue(QStringLiteral("formatName"), c.formatName);
    s.setValue(QStringLiteral("colorRange"), c.colorRange);
    s.setValue(QStringLiteral("flipped"), c.isFlipped);
    s.setValue(QStringLiteral("recorded"), c.isCameraRecorded);
    s.setValue(QStringLiteral("recordingMode"), c.recordingMode);
    s.setValue(QStringLiteral("channelName"), c.channelName);
    s.setValue(QStringLiteral("audioInput"), c.audioInput);
    s.setValue(QStringLiteral("fader"), double(c.fader));
    s.setValue(QStringLiteral("mute"), c.isMuted);
    s.setValue(QStringLiteral("solo"), c.isSolo);
    s.setValue(QStringLiteral("separateAudio"), c.isSeparateAudio);
    s.setValue(QStringLiteral("cameraLink"), c.cameraLink);
    s.setValue(QStringLiteral("trimDb"), double(c.trimDb));
    s.setValue(QStringLiteral("lowCut"), c.isLowCut);
}

} // namespace

namespace StudioSetupStore {

bool hasSavedSetup(QSettings &settings)
{
    return settings.contains(kGroup + QLatin1Char('/') + kSavedKey);
}

StudioSetup load(QSettings &settings)
{
    StudioSetup setup;
    SettingsReader read(settings);
    settings.beginGroup(kGroup);
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id) {
        settings.beginGroup(channelGroup(id));
        readChannel(read, setup.channel(id));
        settings.endGroup();
    }
    for (size_t i = 0; i < setup.sourceKeys.size(); ++i)
        read.number(QStringLiteral("hotkey%1").arg(i + 1), 0, 0x7fffffff, &setup.sourceKeys[i]);
    read.number(QStringLiteral("markerKey"), 0, 0x7fffffff, &setup.markerKey);
    read.number(QStringLiteral("masterFader"), 0.0f, 1.0f, &setup.masterFader);
    settings.endGroup();
    if (const QStringList problems = read.problems(); !problems.isEmpty())
        qWarning().noquote() << "[StudioSetup] Using the defaults for what could not be read:"
                             << problems.join(QLatin1String(", "));
    return setup;
}

bool save(QSettings &settings, const StudioSetup &setup)
{
    settings.beginGroup(kGroup);
    settings.setValue(kSavedKey, true);
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id) {
        settings.beginGroup(channelGroup(id));
        writeChannel(settings, setup.channel(id));
        settings.endGroup();
    }
    for (size_t i = 0; i < setup.sourceKeys.size(); ++i)
        settings.setValue(QStringLiteral("hotkey%1").arg(i + 1), setup.sourceKeys[i]);
    settings.setValue(QStringLiteral("markerKey"), setup.markerKey);
    settings.setValue(QStringLiteral("masterFader"), double(setup.masterFader));
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning().noquote() << "[StudioSetup] Could not save the studio set-up to" << settings.fileName();
        return false;
    }
    return true;
}

} // namespace StudioSetupStore
