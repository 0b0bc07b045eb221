// The studio: this machine's take as part of a studio of linked recorders. The session
// (StudioSession, src/studio) drives the take through ManagerStudioRecorder: opened ahead of
// the studio's instant, started at it, ended after the studio's length; the arming countdown
// shows meanwhile. The leader's programme takes the followers' cameras as sources 5 and up.
#include "app/ApplicationManager.h"
#include "app/ManagerStudioRecorder.h"

#include "capture/ISource.h"
#include "common/ChannelRange.h"
#include "recording/TakeNaming.h"
#include "recording/TakeRecorder.h"
#include "recording/TimelineExport.h"
#include "studio/StudioTimeline.h"
#include "studio/StudioSettings.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

// --- what the studio asks of this recorder ---

QString ManagerStudioRecorder::machineName() const
{
    return m_manager->m_studio ? m_manager->m_studio->machineName() : StudioSettings::defaultMachineName();
}

double ManagerStudioRecorder::frameRate() const
{
    return m_manager->timelineFps();
}

QList<StudioCamera> ManagerStudioRecorder::cameras() const
{
    QList<StudioCamera> cameras;
    for (const ChannelState &channel : m_manager->m_channels) {
        if (channel.source && channel.source->isRunning())
            cameras.append(StudioCamera{channel.id, m_manager->getCameraNameForChannel(channel.id)});
    }
    return cameras;
}

bool ManagerStudioRecorder::isRecording() const
{
    return m_manager->m_isRecording || m_manager->m_openedTake;
}

qint64 ManagerStudioRecorder::diskFreeBytes() const
{
    return m_manager->diskFreeBytes();
}

StudioText ManagerStudioRecorder::problem() const
{
    return StudioText{m_manager->m_recordingError.en, m_manager->m_recordingError.sr};
}

QString ManagerStudioRecorder::recordingRoot() const
{
    return m_manager->recordingPath();
}

StudioText ManagerStudioRecorder::prepareTake(const StudioTakePlan &plan)
{
    if (isRecording())
        return StudioText{QStringLiteral("it is recording a take of its own"), QStringLiteral("snima svoj snimak")};
    if (m_manager->openTake(&plan))
        return StudioText{};
    const StudioText why = problem();
    return why.isEmpty() ? StudioText{QStringLiteral("its take could not be opened"), QStringLiteral("snimak nije otvoren")} : why;
}

QString ManagerStudioRecorder::preparedTakeId() const
{
    return QDir(m_manager->recordingPath()).relativeFilePath(m_manager->m_currentTakeFolder);
}

void ManagerStudioRecorder::startPreparedTake(qint64 startMonotonicNs)
{
    m_manager->beginTake(startMonotonicNs);
}

void ManagerStudioRecorder::cancelPreparedTake()
{
    m_manager->discardOpenedTake();
}

void ManagerStudioRecorder::endTakeAfter(qint64 lengthNs)
{
    if (m_manager->m_take)
        m_manager->m_take->limitLength(lengthNs);
}

void ManagerStudioRecorder::showArming(bool armed, int secondsLeft)
{
    m_manager->showStudioArming(armed, secondsLeft);
}

// --- the manager's side ---

bool ApplicationManager::isProgrammeSource(int sourceId) const
{
    if (ChannelRange::contains(sourceId))
        return true;
    const auto [follower, channel] = StudioLeader::machineChannel(sourceId);
    return m_studio && follower >= 0 && follower < m_studio->leader()->followers().size() && channel >= 1;
}

void ApplicationManager::startStudioTake()
{
    // The session folder is named once here, so every machine's take goes into one of that
    // name (an unnamed session's date and time would differ by machine).
    const QString session = TakeNaming::sessionFolderName(m_activeSessionName, QDateTime::currentDateTime());
    StudioText refusal;
    if (m_studio->leader()->recordAll(session, &refusal))
        return;
    qWarning().noquote() << "[ApplicationManager] Studio take not started:" << refusal.en;
    if (m_recordingError.isEmpty() && !refusal.isEmpty())
        setRecordingError(LocalisedText{refusal.en, refusal.sr});
}

void ApplicationManager::showStudioArming(bool armed, int secondsLeft)
{
    if (armed && secondsLeft != m_countdownSeconds) {
        m_countdownSeconds = secondsLeft;
        emit countdownSecondsChanged();
    }
    if (armed != m_isArming) {
        m_isArming = armed;
        emit armingStateChanged();
    }
}

namespace {

void appendAudioFiles(StudioTakeReport &report, int channelId, const TakeAudioFile &file, qint64 durationMs)
{
    for (qsizetype i = 0; i < file.parts.size(); ++i) {
        const QFileInfo info(file.parts.at(i));
        const qint64 frames = file.partFrames.value(i);
        report.files.append(StudioTakeFile{info.fileName(), QStringLiteral("audio"), channelId, info.size(), frames,
                                           file.parts.size() > 1 ? frames * 1000 / 48'000 : durationMs, QString()});
    }
}

} // namespace

void ApplicationManager::noteStudioTakeFinished(const TakeReport &report)
{
    if (!m_studioPlan || !m_studio)
        return;
    m_studioPlan.reset();
    StudioLeader *leader = m_studio->leader();
    if (leader->phase() == StudioLeader::Phase::Running) {
        leader->takeFinished(m_currentTakeFolder);
        return;
    }
    StudioFollower *follower = m_studio->follower();
    if (!follower->isInStudioTake())
        return;
    StudioTakeReport studio;
    studio.durationMs = report.durationNs / 1'000'000;
    studio.failure = report.failure;
    for (const auto &[channelId, path] : m_videoPaths) {
        const QFileInfo info(path);
        const auto figures = report.cameras.find(channelId);
        studio.files.append(StudioTakeFile{info.fileName(), QStringLiteral("video"), channelId, info.size(),
                                           figures != report.cameras.end() ? figures->second.frames : 0,
                                           studio.durationMs, QString()});
        studio.cameras.append(StudioCamera{channelId, getCameraNameForChannel(channelId)});
    }
    if (report.hasMasterAudio)
        appendAudioFiles(studio, 0, report.masterAudio, studio.durationMs);
    for (const auto &[channelId, file] : report.channelAudio)
        appendAudioFiles(studio, channelId, file, studio.durationMs);
    follower->takeFinished(m_currentTakeFolder, studio);
}

void ApplicationManager::writeStudioTimelines()
{
    const StudioLeader *leader = m_studio->leader();
    for (const StudioLeader::Member &member : leader->members()) {
        if (member.armSent && !member.report)
            qWarning().noquote() << "[ApplicationManager] No take report from" << member.name << ":" << member.reportError
                                 << "- its angles are missing from the studio timelines";
    }
    const TimelineExportInput take = takeTimelineInput(m_lastTakeDurationMs);
    std::map<int, QString> cameraNames;
    for (const auto &[channelId, path] : m_videoPaths)
        cameraNames[channelId] = getCameraNameForChannel(channelId);
    const TimelineModel model = studioTimelineModel(take, m_studio->machineName(), cameraNames, leader->members());
    int angles = 0;
    for (const TimelineMedia &media : model.media)
        angles += media.kind == TimelineMedia::Kind::Video && !media.isStandIn ? 1 : 0;
    QList<TimelineFileWrite> results;
    const bool written = writeTimelineModel(model, timelineMediaFolder(take), take.sessionName,
                                            studioTimelineTakeName(QDir(m_currentTakeFolder).dirName()), &results);
    for (const TimelineFileWrite &result : results) {
        if (result.error.isEmpty())
            qDebug() << "[ApplicationManager] Studio timeline written:" << result.path;
        else
            qWarning() << "[ApplicationManager] Studio timeline not written:" << result.path << "-" << result.error;
    }
    qDebug().noquote() << "[ApplicationManager] Studio take:" << angles << "camera(s) on"
                       << 1 + leader->members().size() << "machine(s)" << (written ? "" : "- some timelines failed");
}
