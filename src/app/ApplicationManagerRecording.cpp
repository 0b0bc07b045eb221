// Recording control: where a take goes and with which settings, start and stop, the running
// timecode, failures during a take and arming. Recording the take itself (files, frame pump,
// audio, finalising) is TakeRecorder's.
#include "app/ApplicationManager.h"

#include "common/AppPaths.h"
#include "common/AudioFormat.h"
#include "app/LogMarkers.h"
#include "recording/TakeNaming.h"
#include "common/ChannelRange.h"
#include "common/MonotonicClock.h"
#include "capture/ISource.h"
#include "recording/EncoderConfig.h"
#include "recording/FrameRate.h"
#include "recording/IEncoder.h"
#include "recording/TakeRecorder.h"
#include "recording/Timecode.h"
#include "recording/TimelineExport.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr int kSampleRate = AudioFormat::kSampleRate;

} // namespace

qint64 ApplicationManager::elapsedTakeMs() const
{
    return (monotonicNowNs() - m_recordStartNs) / 1000000;
}

void ApplicationManager::limitTakeLength(qint64 lengthMs)
{
    if (m_isRecording && m_take && lengthMs > 0)
        m_take->limitLength(lengthMs * 1000000);
}

int ApplicationManager::effectiveEncoderIndex() const
{
    // As the settings window shows it: a position past this machine's list (stored on a
    // machine that offers more encoders) is its last entry.
    const int count = int(m_encoderCapabilities.size());
    return count > 0 ? std::clamp(m_recording.encoderIndex, 0, count - 1) : 0;
}

TakeEncoderChoice ApplicationManager::encoderChoice() const
{
    TakeEncoderChoice choice;
    const QVariantMap entry = m_encoderCapabilities.value(effectiveEncoderIndex()).toMap();
    choice.name = entry.value(QStringLiteral("name"), QStringLiteral("Software H.264")).toString();
    choice.encoder = entry.value(QStringLiteral("encoder")).toString();
    choice.isHevc = entry.value(QStringLiteral("codec")).toString() == QLatin1String("hevc");
    return choice;
}

QList<TakeCamera> ApplicationManager::takeCameras() const
{
    QList<TakeCamera> cameras;
    for (const ChannelState &channel : m_channels) {
        if (!channel.source || !channel.source->isRunning() || !channel.isCameraRecorded)
            continue;
        // The rate the camera really runs at (Auto follows it), else the one it was asked for.
        const double granted = m_cameraWatch.grantedRateOf(channel.id);
        const double fps = granted > 0.0 ? granted : (channel.camera ? double(channel.camera->framerate) : 0.0);
        // The camera's own stream goes into its file as it comes.
        cameras.append(TakeCamera{channel.id, QSize(channel.source->width(), channel.source->height()), fps,
                                  recordedCameraStream(channel)});
    }
    return cameras;
}

std::shared_ptr<IEncoder> ApplicationManager::openCameraEncoder(int channelId, const EncoderConfig &config)
{
    std::shared_ptr<IEncoder> encoder = m_encoderFactory ? m_encoderFactory() : nullptr;
    if (!encoder) {
        qWarning() << "[ApplicationManager] Failed to start Video Encoder for channel" << channelId
                   << "- no video encoder available";
        return nullptr;
    }
    if (!encoder->open(config)) {
        qWarning() << "[ApplicationManager] Failed to start Video Encoder for channel" << channelId << "-"
                   << encoder->lastError();
        return nullptr;
    }
    // What the file is really written with, and what could not be done as set.
    qDebug().noquote() << "[ApplicationManager] Started Video Encoder for channel" << channelId << "at"
                       << config.outputPath << "with" << encoder->encoderName()
                       << (encoder->appliedSettings().isEmpty() ? QString() : QStringLiteral("(%1)").arg(encoder->appliedSettings()));
    for (const EncoderNote &note : encoder->settingNotes())
        qWarning().noquote() << "[ApplicationManager] Channel" << channelId << "setting not applied as set:" << note.en;
    return encoder;
}

void ApplicationManager::startRecording()
{
    if (m_isRecording || m_openedTake)
        return;
    qDebug() << "[ApplicationManager] startRecording() triggered.";
    // With followers the take runs on every machine from one instant.
    if (m_studio && m_studio->isLeading()) {
        startStudioTake();
        return;
    }
    if (openTake(nullptr))
        beginTake(monotonicNowNs());
}

bool ApplicationManager::openTake(const StudioTakePlan *studio)
{
    // A take always wins over a benchmark: both would fight for the same CPU.
    if (m_benchmark.isRunning())
        cancelBenchmark();
    if (const LocalisedText refusal = m_diskWatch.refusalToStart(recordingPath()); !refusal.isEmpty()) {
        qWarning().noquote() << "[ApplicationManager] Recording not started:" << refusal.en;
        setRecordingError(refusal);
        return false;
    }

    // Where the take goes and what each file is written with. A studio take goes into the
    // session folder its leader named and starts at its planned instant, on a frame boundary,
    // at the rate and with the timecode the leader gave it.
    TakeRequest request;
    request.recordingPath = recordingPath();
    request.sessionName = studio ? studio->session : m_activeSessionName;
    request.now = studio ? QDateTime::fromMSecsSinceEpoch(studio->start.startWallNs / 1'000'000)
                         : QDateTime::currentDateTime();
    request.settings = m_recording;
    request.encoder = encoderChoice();
    request.cameras = takeCameras();
    for (const TakeCamera &camera : request.cameras) {
        const ChannelState *channel = m_channels.find(camera.channelId);
        if (!camera.cameraStream && channel && cameraRecordingModeOf(*channel) == CameraRecordingMode::CameraStream)
            qDebug() << "[ApplicationManager] Channel" << camera.channelId
                     << "is re-encoded: its camera sends no compressed stream to record as it comes";
    }
    if (effectiveEncoderIndex() != m_recording.encoderIndex)
        qWarning() << "[ApplicationManager] Encoder entry" << m_recording.encoderIndex
                   << "does not exist here; recording with" << request.encoder.name;
    TakePlan plan = TakeSetup::prepare(request);
    if (studio) {
        plan.rate = frameRateFraction(studio->start.fps);
        plan.startTimecode = studio->start.timecode;
        for (const TakeCamera &camera : request.cameras)
            plan.cameras[camera.channelId] = plan.cameraConfig(camera);
    }
    const QString &takeFolder = plan.takeFolder;
    m_currentTakeFolder = takeFolder;
    qDebug() << "[ApplicationManager] Recording to take folder:" << takeFolder;

    m_videoPaths.clear();
    m_videoStartFrames.clear();
    m_isoAudioPaths.clear();
    m_timelineCuts.clear();
    m_timelineCuts.append(TimelineCut{m_activeSourceId, 0});
    m_takeMarkers.clear();
    if (!m_lastMarkerText.isEmpty()) {
        m_lastMarkerText.clear();
        emit lastMarkerChanged();
    }
    m_takeHasBroadcastWav = m_recording.broadcastWav;
    m_recordStartTime = plan.startedAt.time();
    m_startTimecode = plan.startTimecode;

    m_audioParts.clear();
    m_takeFileLengths.clear();
    auto take = std::make_unique<TakeRecorder>(plan.rate, kSampleRate);
    if (m_audioPartLimitBytes > 0)
        take->setAudioPartLimitBytes(m_audioPartLimitBytes);
    m_masterWavPath = plan.masterWavPath;
    if (take->openMasterAudio(m_masterWavPath, plan.broadcastInfo(QStringLiteral("master mix"), kSampleRate)))
        qDebug() << "[ApplicationManager] Started Master Audio Recorder:" << m_masterWavPath;
    else
        qWarning() << "[ApplicationManager] Failed to start Master WAV recorder at:" << m_masterWavPath;

    for (const ChannelState &channel : m_channels) {
        const int channelId = channel.id;
        if (!channel.audioCapture || !channel.isSeparateAudio)
            continue;
        const QString path = plan.channelWavPath(channelId);
        if (!take->openChannelAudio(channelId, path, plan.broadcastInfo(QStringLiteral("channel %1").arg(channelId), kSampleRate)))
            continue;
        qDebug() << "[ApplicationManager] Started ISO Audio Recorder for channel" << channelId << "at" << path;
        m_isoAudioPaths[channelId] = path;
    }

    for (const auto &[channelId, config] : plan.cameras) {
        std::shared_ptr<IEncoder> encoder = openCameraEncoder(channelId, config);
        if (!encoder)
            continue;
        take->addCamera(channelId, encoder, config.width, config.height);
        m_videoPaths[channelId] = config.outputPath;
    }

    // A take that could not open a single file would record nothing: say so, do not start.
    if (!take->hasOpenFile()) {
        const LocalisedText error = plan.isTakeFolderMade
            ? RecordingProblems::nothingOpened(takeFolder, take->lastOpenError())
            : RecordingProblems::takeFolderNotCreated(takeFolder, folderCreationError(takeFolder));
        qWarning().noquote() << "[ApplicationManager] Recording not started:" << error.en;
        take.reset();
        QDir().rmdir(takeFolder);
        setRecordingError(error);
        return false;
    }
    setRecordingError(LocalisedText{});
    setTimelineError(LocalisedText{});
    setRecordingWarning(LocalisedText{});
    m_openedTake = std::move(take);
    m_openedPlan = std::move(plan);
    m_studioPlan = studio ? std::optional<StudioTakePlan>(*studio) : std::nullopt;
    return true;
}

void ApplicationManager::discardOpenedTake()
{
    if (!m_openedTake)
        return;
    // Nothing was recorded: the files go, and the folder with them.
    m_openedTake->finish([](int) { return std::shared_ptr<ISource>(); });
    m_openedTake.reset();
    m_studioPlan.reset();
    QDir(m_currentTakeFolder).removeRecursively();
    qDebug() << "[ApplicationManager] Take called off before it began:" << m_currentTakeFolder;
}

void ApplicationManager::beginTake(qint64 startNs)
{
    if (!m_openedTake || m_isRecording)
        return;
    m_diskWatch.takeStarted();

    // Audio and video start at the same instant: the inputs drop what they collected while
    // the files were being opened, and the frame slots count from the start.
    m_mixer.reset();
    m_takePlan = std::move(m_openedPlan);
    m_take = std::move(m_openedTake);
    m_take->start(startNs);
    m_isRecording = true;
    m_recordStartNs = m_take->startNs();
    m_takeStats = TakeStats{};
    m_takeStats.lastSampleNs = m_recordStartNs;
    m_perfLog.open(AppPaths::perfLogFilePath());
    publishCameraHealth(); // the new take's figures start from nothing
    openCutJournal();
    publishAudioInputState(0); // a microphone already lost is the take's warning from the start

    // Each tile shows whether its camera is being recorded into a file of its own.
    if (m_channelsModel) {
        for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id)
            m_channelsModel->setRecording(id, m_videoPaths.count(id) > 0);
    }
    // Slot 0 is filled by the tick like every other slot, once pictures taken within it had
    // time to arrive; filling it now would give it a picture from before the take.
    m_timecodeTimer.start(33);
    // Marker lines the performance monitor colours.
    qDebug().noquote() << "[ApplicationManager]" << LogMarkers::markerLine(LogMarkers::kRecordingStarted) << m_take->cameraCount()
                       << "camera(s) at" << m_takePlan.rate.text() << "fps, timecode" << m_startTimecode;
    emit isRecordingChanged();
    emit recordingRateChanged();
}

void ApplicationManager::joinRunningTake(int channelId)
{
    ChannelState *channel = m_channels.find(channelId);
    if (!m_isRecording || !m_take || !channel || !channel->source || !channel->source->isRunning()
        || !channel->isCameraRecorded || m_take->hasCamera(channelId))
        return;
    const qint64 startFrame = m_take->joiningFrame();
    const TakeCamera camera{channelId, QSize(channel->source->width(), channel->source->height()), 0.0,
                            recordedCameraStream(*channel)};
    const EncoderConfig config = m_takePlan.cameraConfig(camera, startFrame);
    std::shared_ptr<IEncoder> encoder = openCameraEncoder(channelId, config);
    if (!encoder)
        return;
    m_take->addJoiningCamera(channelId, encoder, config.width, config.height);
    m_videoPaths[channelId] = config.outputPath;
    m_videoStartFrames[channelId] = startFrame;
    m_takePlan.cameras[channelId] = config;
    m_journal.noteCameraJoined(elapsedTakeMs(), channelId, QFileInfo(config.outputPath).fileName(), startFrame);
    if (m_channelsModel)
        m_channelsModel->setRecording(channelId, true);
    qDebug().noquote() << "[ApplicationManager]" << LogMarkers::markerLine(LogMarkers::kCameraJoined) << "channel" << channelId << "at take frame"
                       << startFrame << "(" + takeTimeText() + "), timecode" << config.startTimecode;
}

void ApplicationManager::stopRecording()
{
    // A studio take this machine leads ends on every machine at one instant, or is called
    // off everywhere while it is still arming.
    if (m_studio && m_studio->leader()->isStudioTake() && m_studio->leader()->phase() != StudioLeader::Phase::Reporting) {
        if (m_studio->leader()->stopWallNs() == 0)
            qDebug() << "[ApplicationManager] stopRecording() triggered (studio take).";
        m_studio->leader()->stopAll();
        return;
    }
    finishTake();
}

void ApplicationManager::finishTake()
{
    if (!m_isRecording)
        return;
    qDebug() << "[ApplicationManager] stopRecording() triggered.";

    // Take the audio that arrived since the last tick; the take fills its last frame slots,
    // so audio and video both end here.
    m_mixer.process(m_mixerOutput);
    appendTakeAudio();
    const TakeReport report = m_take->finish([this](int id) { return sourceForChannel(id); });
    m_take.reset();

    m_isRecording = false;
    m_timecodeTimer.stop();
    emit isRecordingChanged();
    emit recordingRateChanged();

    if (m_channelsModel) {
        for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id)
            m_channelsModel->setRecording(id, false);
    }

    m_takeStats.droppedFrames = report.droppedFrames;
    noteAudioParts(report);
    noteTakeFileLengths(report);
    recordTakeCameraFigures(report);
    m_perfLog.close();
    // A failure already reported (the disk's reserve reached) says more than what followed it.
    if (!report.failureDetail.isEmpty() && m_recordingError.isEmpty())
        setRecordingError(RecordingProblems::writeFailed(report.failureDetail, failedFilePath(report.failureDetail),
                                                         m_currentTakeFolder));
    // The warnings were about the running take.
    setRecordingWarning(LocalisedText{});
    publishAudioInputState(0);
    for (const auto &[channelId, frames] : report.channelSilenceFrames)
        qWarning().noquote() << "[ApplicationManager] Channel" << channelId << "audio:"
                             << QString::number(double(frames) / kSampleRate, 'f', 2)
                             << "s of silence where its input had nothing (lost or late)";

    qint64 durationMs = report.durationNs / 1000000;
    if (durationMs < 1)
        durationMs = 1000;
    m_lastTakeDurationMs = durationMs;
    closeCutJournal(durationMs);
    qDebug().noquote() << "[ApplicationManager]" << LogMarkers::markerLine(LogMarkers::kRecordingStopped)
                       << double(durationMs) / 1000.0 << "s," << LogMarkers::kDrops
                       << QStringLiteral("%1, REPEATED: %2").arg(m_takeStats.droppedFrames).arg(m_takeStats.repeatedFrames);
    const bool hasTimeline = exportTimeline(durationMs);
    m_lastTakeSummary = summariseTake(report, hasTimeline);
    emit lastTakeSummaryChanged();
    noteStudioTakeFinished(report);
    emit takeFinished(m_currentTakeFolder);
}

QString ApplicationManager::failedFilePath(const TakeFailure &failure) const
{
    const auto pathOf = [&](const std::map<int, QString> &paths) {
        const auto it = paths.find(failure.channelId);
        return it == paths.end() ? QString() : it->second;
    };
    switch (failure.file) {
    case TakeFailure::File::Camera: return pathOf(m_videoPaths);
    case TakeFailure::File::ChannelAudio: return pathOf(m_isoAudioPaths);
    case TakeFailure::File::MasterAudio: return m_masterWavPath;
    case TakeFailure::File::OtherAudio:
    case TakeFailure::File::None: break;
    }
    return QString();
}

void ApplicationManager::updateTimecode()
{
    if (!m_isRecording)
        return;
    m_timecode = TakeNaming::timecodeText(m_recordStartTime.msecsTo(QTime::currentTime()), m_takePlan.rate);
    emit timecodeChanged();

    if (m_take->isLengthReached()) {
        finishTake();
        return;
    }
    m_take->pumpFrames([this](int id) { return sourceForChannel(id); });

    m_perfLog.writeRowIfDue(m_take->nowNs() - m_take->startNs(),
                            TakeProgress{m_currentTakeFolder, m_take->framePump().totalFramesSent(), takeDroppedFrames(),
                                         takeRepeatedFrames(), takeBytesWritten()});
    stopOnRecordingFailure();
}

void ApplicationManager::appendTakeAudio()
{
    if (m_isRecording && m_take)
        m_take->appendAudio(m_mixerOutput.master, m_mixerOutput.channels, hasAudioInput(), m_mixerOutput.filledFrames);
}

bool ApplicationManager::hasAudioInput() const
{
    return std::any_of(m_channels.begin(), m_channels.end(),
                       [](const ChannelState &channel) { return channel.audioCapture != nullptr; });
}

void ApplicationManager::noteTakeFileLengths(const TakeReport &report)
{
    // What every file of the take holds, as written: its clips end where it ends (a WAV file
    // stops within a frame of the take's rounded length, a camera whose pictures stopped
    // early sooner).
    m_takeFileLengths.clear();
    const FrameRate rate = m_takePlan.rate;
    for (const auto &[channelId, figures] : report.cameras) {
        const auto path = m_videoPaths.find(channelId);
        if (path != m_videoPaths.end())
            m_takeFileLengths[path->second] = TimelineFileMeasure{double(figures.frames) / rate.toDouble(), std::nullopt};
    }
    std::vector<TakeAudioFile> tracks;
    if (report.hasMasterAudio)
        tracks.push_back(report.masterAudio);
    for (const auto &[channelId, file] : report.channelAudio)
        tracks.push_back(file);
    for (const TakeAudioFile &file : tracks) {
        for (qsizetype i = 0; i < file.parts.size(); ++i)
            m_takeFileLengths[file.parts.at(i)] = TimelineFileMeasure{double(file.partFrames.value(i)) / kSampleRate, std::nullopt};
    }
}

void ApplicationManager::noteAudioParts(const TakeReport &report)
{
    // Tracks that went on past a size limit: the timeline lays their parts end to end.
    std::vector<TakeAudioFile> tracks;
    if (report.hasMasterAudio)
        tracks.push_back(report.masterAudio);
    for (const auto &[channelId, file] : report.channelAudio)
        tracks.push_back(file);
    for (const TakeAudioFile &file : tracks) {
        if (file.parts.size() < 2)
            continue;
        QList<TimelineAudioPart> parts;
        for (qsizetype i = 0; i < file.parts.size(); ++i)
            parts.append(TimelineAudioPart{file.parts.at(i), file.partFrames.value(i)});
        m_audioParts[file.parts.first()] = parts;
    }
}

void ApplicationManager::stopOnRecordingFailure()
{
    const TakeFailure failure = m_take ? m_take->failureDetail() : TakeFailure{};
    if (failure.isEmpty())
        return;
    qWarning() << "[ApplicationManager] Recording stopped after a write failure:" << failure.text();
    setRecordingError(RecordingProblems::writeFailed(failure, failedFilePath(failure), m_currentTakeFolder));
    finishTake();
}

TimelineExportInput ApplicationManager::takeTimelineInput(qint64 durationMs) const
{
    TakeSetup::RecordedTake take;
    take.durationMs = durationMs;
    take.videoPaths = m_videoPaths;
    take.videoStartFrames = m_videoStartFrames;
    take.isoAudioPaths = m_isoAudioPaths;
    for (const ChannelState &channel : m_channels) {
        if (channel.cameraLink != 0)
            take.cameraLinks[channel.id] = channel.cameraLink;
    }
    take.cuts = m_timelineCuts;
    take.audioParts = m_audioParts;
    TimelineExportInput input = TakeSetup::timelineInput(m_takePlan, m_activeSessionName, take);
    // The master path is set at every take start, also for a take that failed early.
    input.masterWavPath = m_masterWavPath;
    input.takeFolderPath = m_currentTakeFolder;
    input.markers = m_takeMarkers;
    input.audioSampleRate = kSampleRate;
    input.audioHasTimeReference = m_takeHasBroadcastWav;
    input.measuredFiles = m_takeFileLengths;

    return input;
}

bool ApplicationManager::exportTimeline(qint64 durationMs)
{
    const TimelineExportInput input = takeTimelineInput(durationMs);
    if (!timelineHasRecordedFiles(input)) {
        qDebug() << "[ApplicationManager] No recorded files to export to XML.";
        return false;
    }
    QList<TimelineFileWrite> results;
    const bool written = writeTimeline(input, &results);
    QStringList errors;
    for (const TimelineFileWrite &result : results) {
        const char *format = result.format == TimelineFormat::Fcpxml ? "FCPXML"
            : result.format == TimelineFormat::Otio                  ? "OpenTimelineIO"
                                                                     : nullptr;
        if (result.error.isEmpty() && !format) {
            qDebug() << "[ApplicationManager] Successfully exported DaVinci Resolve XML to:" << result.path;
        } else if (result.error.isEmpty()) {
            qDebug() << "[ApplicationManager] Successfully exported" << format << "timeline to:" << result.path;
        } else {
            qWarning() << "[ApplicationManager] Failed to export" << (format ? format : "XML") << "to:" << result.path << "-"
                       << result.error;
            errors.append(QStringLiteral("%1: %2").arg(QFileInfo(result.path).fileName(), result.error));
        }
    }
    // One clear failure path: the take's error (the interface, the status and the command
    // line's exit status all read it); a timeline written again replaces what an earlier
    // attempt said about it.
    setTimelineError(written ? LocalisedText{}
                             : RecordingProblems::timelineNotWritten(errors.join(QLatin1String("; ")), m_currentTakeFolder));
    return written;
}

void ApplicationManager::generateTimeline()
{
    // Written again with the last take's real length: a fixed length would cut a longer take
    // short or stretch a shorter one.
    exportTimeline(m_lastTakeDurationMs > 0 ? m_lastTakeDurationMs : 10000);
}

// --- arming: a countdown state the interface can show; the system never enters it itself ---

void ApplicationManager::cancelArming()
{
    // REC ALL again while a studio take this machine leads is arming calls it off everywhere;
    // a follower's arming is its leader's to call off.
    if (m_studio && m_studio->leader()->phase() == StudioLeader::Phase::Armed) {
        m_studio->leader()->stopAll();
        return;
    }
    if (!m_isArming || m_studioPlan)
        return;
    m_countdownTimer.stop();
    m_isArming = false;
    emit armingStateChanged();
}

void ApplicationManager::onCountdownTimeout()
{
    if (m_countdownSeconds > 1) {
        --m_countdownSeconds;
        emit countdownSecondsChanged();
        return;
    }
    m_countdownTimer.stop();
    m_isArming = false;
    emit armingStateChanged();
    startRecording();
}

void ApplicationManager::triggerRecordingStart()
{
    startRecording();
}
