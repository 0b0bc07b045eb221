// Recording control: where a take goes and with which settings, start and stop, the running
// timecode, failures during a take and arming. Recording the take itself (files, frame pump,
// audio, finalising) is TakeRecorder's.
#include "app/ApplicationManager.h"

#include "common/AppPaths.h"
#include "common/AudioFormat.h"
#include "app/LogMarkers.h"
#include "app/TakeNaming.h"
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
    if (m_recordingEncoderIndex < 0 || m_recordingEncoderIndex >= m_encoderCapabilities.size())
        return 0;
    return m_recordingEncoderIndex;
}

EncoderConfig ApplicationManager::encoderConfigFor(int channelId, const ISource &source) const
{
    EncoderConfig config;
    config.container = m_takeContainer;
    config.outputPath = TakeNaming::cameraFilePath(m_currentTakeFolder, channelId, m_takeContainer);
    config.width = source.width() >= 1 ? source.width() : m_timelineWidth;
    config.height = source.height() >= 1 ? source.height() : m_timelineHeight;
    config.fps = m_timelineFps;
    config.targetBitrateKbps = m_targetBitrateKbps;
    config.keyframeIntervalSeconds = m_keyframeInterval;
    config.bFrames = m_bFrames;
    const int encoderIndex = effectiveEncoderIndex();
    config.useHevc = encoderIndex == 1;
    // The chosen entry of the encoder list names the codec and the FFmpeg encoder.
    const QVariantMap entry = m_encoderCapabilities.value(encoderIndex).toMap();
    if (!entry.isEmpty()) {
        config.useHevc = entry.value(QStringLiteral("codec")).toString() == QLatin1String("hevc");
        config.encoderName = entry.value(QStringLiteral("encoder")).toString();
    }
    config.startTimecode = m_startTimecode;
    return config;
}

std::optional<BroadcastWavInfo> ApplicationManager::broadcastWavInfoFor(const QDateTime &startedAt,
                                                                        const QString &description) const
{
    if (!m_broadcastWavEnabled)
        return std::nullopt;
    BroadcastWavInfo info;
    info.description = description;
    info.origination = startedAt;
    // The instant the take's timecode names, so the WAV files line up with the MP4 files'
    // timecode track to the sample.
    info.timeReference = quint64(Timecode::samplesSinceMidnight(m_startTimecode, m_timelineFps, kSampleRate).value_or(0));
    info.codingHistory = BroadcastWav::pcmCodingHistory(kSampleRate, 2);
    return info;
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

bool ApplicationManager::openTake(const StudioTakePlan *plan)
{
    // A take always wins over a benchmark: both would fight for the same CPU.
    if (m_benchmark.isRunning())
        cancelBenchmark();
    if (const LocalisedText refusal = m_diskWatch.refusalToStart(m_recordingPath); !refusal.isEmpty()) {
        qWarning().noquote() << "[ApplicationManager] Recording not started:" << refusal.en;
        setRecordingError(refusal);
        return false;
    }

    // A studio take goes into the session folder its leader named.
    const QString sessionFolder = TakeNaming::sessionFolderName(plan ? plan->session : m_activeSessionName,
                                                                QDateTime::currentDateTime());
    const QString sessionPath = QDir(m_recordingPath).filePath(sessionFolder);
    if (!QDir().mkpath(sessionPath))
        qWarning() << "[ApplicationManager] Cannot create the session folder" << sessionPath;
    const QString takeFolder = QDir(sessionPath).filePath(TakeNaming::takeFolderName(TakeNaming::nextTakeNumber(sessionPath)));
    const bool takeFolderMade = QDir().mkpath(takeFolder);
    m_currentTakeFolder = takeFolder;
    qDebug() << "[ApplicationManager] Recording to take folder:" << takeFolder;

    m_videoPaths.clear();
    m_isoAudioPaths.clear();
    m_timelineCuts.clear();
    m_timelineCuts.append(TimelineCut{m_activeSourceId, 0});
    m_takeMarkers.clear();
    if (!m_lastMarkerText.isEmpty()) {
        m_lastMarkerText.clear();
        emit lastMarkerChanged();
    }
    m_takeHasBroadcastWav = m_broadcastWavEnabled;

    // The start time of day names the take in every file's timecode; a studio take starts at
    // its planned instant, on a frame boundary, with the timecode the leader gave it.
    const QDateTime startedAt = plan ? QDateTime::fromMSecsSinceEpoch(plan->start.startWallNs / 1'000'000)
                                     : QDateTime::currentDateTime();
    m_recordStartTime = startedAt.time();
    m_startTimecode = plan ? plan->start.timecode : TakeNaming::startTimecodeText(m_recordStartTime);
    const auto broadcastInfo = [&](const QString &track) {
        return broadcastWavInfoFor(startedAt, sessionFolder + QLatin1Char(' ') + QDir(takeFolder).dirName() + QLatin1Char(' ') + track);
    };
    m_audioParts.clear();
    m_takeFileLengths.clear();
    auto take = std::make_unique<TakeRecorder>(m_timelineFps, kSampleRate);
    if (m_audioPartLimitBytes > 0)
        take->setAudioPartLimitBytes(m_audioPartLimitBytes);
    m_masterWavPath = TakeNaming::masterAudioFilePath(takeFolder);
    if (take->openMasterAudio(m_masterWavPath, broadcastInfo(QStringLiteral("master mix"))))
        qDebug() << "[ApplicationManager] Started Master Audio Recorder:" << m_masterWavPath;
    else
        qWarning() << "[ApplicationManager] Failed to start Master WAV recorder at:" << m_masterWavPath;

    for (const ChannelState &channel : m_channels) {
        const int channelId = channel.id;
        if (!channel.audioCapture || !channel.isSeparateAudio)
            continue;
        const QString path = TakeNaming::channelAudioFilePath(takeFolder, channelId);
        if (!take->openChannelAudio(channelId, path, broadcastInfo(QStringLiteral("channel %1").arg(channelId))))
            continue;
        qDebug() << "[ApplicationManager] Started ISO Audio Recorder for channel" << channelId << "at" << path;
        m_isoAudioPaths[channelId] = path;
    }

    // The container and the encoder are fixed for the whole take.
    m_takeContainer = containerForFormatIndex(m_recordingFormatIndex).value_or(RecordingContainer::Mp4);
    if (effectiveEncoderIndex() != m_recordingEncoderIndex)
        qWarning() << "[ApplicationManager] Encoder entry" << m_recordingEncoderIndex
                   << "does not exist here; recording with"
                   << m_encoderCapabilities.value(0).toMap().value(QStringLiteral("name")).toString();

    for (const ChannelState &channel : m_channels) {
        const int channelId = channel.id;
        const std::shared_ptr<ISource> &source = channel.source;
        if (!source || !source->isRunning())
            continue;
        const EncoderConfig config = encoderConfigFor(channelId, *source);
        std::shared_ptr<IEncoder> encoder = m_encoderFactory ? m_encoderFactory() : nullptr;
        if (!encoder) {
            qWarning() << "[ApplicationManager] Failed to start Video Encoder for channel" << channelId
                       << "- no video encoder available";
            continue;
        }
        if (!encoder->open(config)) {
            qWarning() << "[ApplicationManager] Failed to start Video Encoder for channel" << channelId
                       << "-" << encoder->lastError();
            continue;
        }
        qDebug() << "[ApplicationManager] Started Video Encoder for channel" << channelId << "at" << config.outputPath
                 << "with" << encoder->encoderName();
        take->addCamera(channelId, encoder, config.width, config.height);
        m_videoPaths[channelId] = config.outputPath;
    }

    // A take that could not open a single file would record nothing: say so, do not start.
    if (!take->hasOpenFile()) {
        const LocalisedText error = takeFolderMade
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
    m_studioPlan = plan ? std::optional<StudioTakePlan>(*plan) : std::nullopt;
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
    m_take = std::move(m_openedTake);
    m_take->start(startNs);
    m_isRecording = true;
    m_recordStartNs = m_take->startNs();
    m_takeStats = TakeStats{};
    m_takeStats.lastSampleNs = m_recordStartNs;
    m_perfLog.open(AppPaths::perfLogFilePath());
    publishCameraHealth(); // the new take's figures start from nothing
    openCutJournal();

    if (m_channelsModel) {
        for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id)
            m_channelsModel->setRecording(id, true);
    }
    // Slot 0 is filled by the tick like every other slot, once pictures taken within it had
    // time to arrive; filling it now would give it a picture from before the take.
    m_timecodeTimer.start(33);
    // Marker lines the performance monitor colours.
    qDebug().noquote() << "[ApplicationManager]" << LogMarkers::markerLine(LogMarkers::kRecordingStarted) << m_take->cameraCount()
                       << "camera(s) at" << m_timelineFps << "fps, timecode" << m_startTimecode;
    emit isRecordingChanged();
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
    // The warning was about the running take.
    setRecordingWarning(LocalisedText{});

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
    m_timecode = TakeNaming::timecodeText(m_recordStartTime.msecsTo(QTime::currentTime()));
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
        m_take->appendAudio(m_mixerOutput.master, m_mixerOutput.channels, hasAudioInput());
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
    const FrameRate rate = frameRateFraction(m_timelineFps);
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
    TimelineExportInput input;
    input.sessionName = m_activeSessionName;
    input.takeFolderPath = m_currentTakeFolder;
    input.startTimecode = m_startTimecode;
    input.durationMs = durationMs;
    input.frameRate = m_timelineFps;
    input.width = m_timelineWidth;
    input.height = m_timelineHeight;
    input.videoPaths = m_videoPaths;
    input.videoFileExtension = containerExtension(m_takeContainer);
    input.isoAudioPaths = m_isoAudioPaths;
    for (const ChannelState &channel : m_channels) {
        if (channel.cameraLink != 0)
            input.cameraLinks[channel.id] = channel.cameraLink;
    }
    input.masterWavPath = m_masterWavPath;
    input.cuts = m_timelineCuts;
    input.markers = m_takeMarkers;
    input.audioParts = m_audioParts;
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
