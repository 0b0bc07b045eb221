// What the operator is told about takes: the failure that kept a take from starting or ended
// it, the warning of a running take, and what a finished take left on disk.
#include "app/ApplicationManager.h"

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

void ApplicationManager::setLastRecordingError(const QString &error)
{
    setRecordingError(RecordingProblems::untranslated(error));
}

void ApplicationManager::setRecordingError(const LocalisedText &error)
{
    if (m_recordingError == error)
        return;
    m_recordingError = error;
    emit lastRecordingErrorChanged();
}

void ApplicationManager::addRecordingError(const LocalisedText &error)
{
    // A take that failed and then could not write its timeline either: both are news.
    if (m_recordingError.isEmpty() || m_recordingError.en.contains(error.en)) {
        setRecordingError(error.isEmpty() ? m_recordingError : error);
        return;
    }
    setRecordingError(LocalisedText{m_recordingError.en + QLatin1Char('\n') + error.en,
                                     m_recordingError.sr + QLatin1Char('\n') + error.sr});
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
}

void ApplicationManager::dismissRecordingWarning()
{
    setRecordingWarning(LocalisedText{});
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
    return QVariantMap{
        {QStringLiteral("name"), QFileInfo(m_currentTakeFolder).fileName()},
        {QStringLiteral("folder"), QDir::toNativeSeparators(m_currentTakeFolder)},
        {QStringLiteral("cameras"), cameras},
        {QStringLiteral("wavFiles"), wavFiles},
        {QStringLiteral("timeline"), hasTimeline},
    };
}
