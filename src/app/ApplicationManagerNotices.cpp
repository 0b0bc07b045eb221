// What the operator is told about takes: the failure that kept a take from starting or ended
// it, the warning of a running take, and what a finished take left on disk.
#include "app/ApplicationManager.h"

#include "common/AudioFormat.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace {

bool isWrittenFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

} // namespace

QString ApplicationManager::lastRecordingError() const
{
    // The take's own failure first: the full disk that stopped it is why the timeline could
    // not be written either.
    QStringList parts;
    for (const LocalisedText *text : {&m_recordingError, &m_timelineError}) {
        if (!text->isEmpty())
            parts.append(text->en);
    }
    return parts.join(QLatin1String("; "));
}

QString ApplicationManager::recordingErrorText() const
{
    QStringList parts;
    for (const LocalisedText *text : {&m_recordingError, &m_timelineError}) {
        if (!text->isEmpty())
            parts.append(text->in(m_currentLanguage));
    }
    return parts.join(QLatin1Char('\n'));
}

void ApplicationManager::setRecordingError(const LocalisedText &error)
{
    if (m_recordingError == error)
        return;
    m_recordingError = error;
    emit lastRecordingErrorChanged();
}

void ApplicationManager::setTimelineError(const LocalisedText &error)
{
    if (m_timelineError == error)
        return;
    m_timelineError = error;
    emit lastRecordingErrorChanged();
}

void ApplicationManager::setRecordingWarning(const LocalisedText &warning)
{
    if (m_recordingWarning == warning)
        return;
    m_recordingWarning = warning;
    emit recordingWarningChanged();
}

void ApplicationManager::dismissRecordingError()
{
    setRecordingError(LocalisedText{});
    setTimelineError(LocalisedText{});
}

void ApplicationManager::dismissRecordingWarning()
{
    setRecordingWarning(LocalisedText{});
    if (!m_audioInputWarning.isEmpty()) {
        m_audioInputWarning = LocalisedText{};
        emit recordingWarningChanged();
    }
}

QString ApplicationManager::recordingWarningText() const
{
    // The disk's warning first: it ends the take; a lost microphone only costs its track.
    QStringList parts;
    for (const LocalisedText *text : {&m_recordingWarning, &m_audioInputWarning}) {
        if (!text->isEmpty())
            parts.append(text->in(m_currentLanguage));
    }
    return parts.join(QLatin1Char('\n'));
}

void ApplicationManager::openLastTakeFolder()
{
    const QString folder = m_lastTakeSummary.value(QStringLiteral("folder")).toString();
    if (!folder.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString ApplicationManager::folderCreationError(const QString &folder)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder.toStdWString()), error);
    if (!error)
        return QStringLiteral("unknown reason");
    return QString::fromLocal8Bit(error.message().c_str());
}

QVariantMap ApplicationManager::summariseTake(const TakeReport &report, bool hasTimeline) const
{
    // Counted on disk: a file that was opened but never got a byte is not a recording.
    int cameras = 0;
    for (const auto &[channelId, path] : m_videoPaths) {
        if (isWrittenFile(path))
            ++cameras;
    }
    int wavFiles = 0;
    const auto countParts = [&wavFiles](const TakeAudioFile &file) {
        for (const QString &part : file.parts) {
            if (isWrittenFile(part))
                ++wavFiles;
        }
    };
    if (report.hasMasterAudio)
        countParts(report.masterAudio);
    for (const auto &[channelId, file] : report.channelAudio)
        countParts(file);
    // Channels whose track holds silence for an input that had nothing (lost, or late): seconds.
    QVariantMap silence;
    for (const auto &[channelId, frames] : report.channelSilenceFrames)
        silence.insert(QString::number(channelId), double(frames) / AudioFormat::kSampleRate);
    return QVariantMap{
        {QStringLiteral("name"), QFileInfo(m_currentTakeFolder).fileName()},
        {QStringLiteral("audioSilence"), silence},
        {QStringLiteral("folder"), QDir::toNativeSeparators(m_currentTakeFolder)},
        {QStringLiteral("cameras"), cameras},
        {QStringLiteral("wavFiles"), wavFiles},
        {QStringLiteral("timeline"), hasTimeline},
    };
}
