// Recording control: take folders and files, start and stop, the running timecode, the
// frame pump, the audio appends of the 25 ms tick, failures during a take and arming.
#include "app/ApplicationManager.h"

#include "app/TakeNaming.h"
#include "common/MonotonicClock.h"
#include "capture/ISource.h"
#include "recording/EncoderConfig.h"
#include "recording/IEncoder.h"
#include "recording/TimelineExport.h"
#include "recording/WavWriter.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>

#include <algorithm>

namespace {

constexpr int kSampleRate = 48000;

} // namespace

qint64 ApplicationManager::elapsedTakeMs() const
{
    return (monotonicNowNs() - m_recordStartNs) / 1000000;
}

void ApplicationManager::limitTakeLength(qint64 lengthMs)
{
    if (m_isRecording && lengthMs > 0)
        m_takeLengthLimitNs = lengthMs * 1000000;
}

void ApplicationManager::setLastRecordingError(const QString &error)
{
    if (m_lastRecordingError == error)
        return;
    m_lastRecordingError = error;
    emit lastRecordingErrorChanged();
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

void ApplicationManager::startRecording()
{
    if (m_isRecording)
        return;
    qDebug() << "[ApplicationManager] startRecording() triggered.";

    const QString sessionFolder = TakeNaming::sessionFolderName(m_activeSessionName, QDateTime::currentDateTime());
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

    // The start time of day names the take in every file's timecode.
    m_recordStartTime = QTime::currentTime();
    m_startTimecode = TakeNaming::startTimecodeText(m_recordStartTime);

    m_masterWavPath = TakeNaming::masterAudioFilePath(takeFolder);
    m_masterWavWriter = std::make_unique<WavWriter>();
    if (m_masterWavWriter->open(m_masterWavPath, kSampleRate, 2))
        qDebug() << "[ApplicationManager] Started Master Audio Recorder:" << m_masterWavPath;
    else
        qWarning() << "[ApplicationManager] Failed to start Master WAV recorder at:" << m_masterWavPath;

    m_isoWavWriters.clear();
    for (const auto &[channelId, capture] : m_channelAudioCaptures) {
        if (!isChannelSeparateAudioEnabled(channelId))
            continue;
        const QString path = TakeNaming::channelAudioFilePath(takeFolder, channelId);
        auto writer = std::make_unique<WavWriter>();
        if (!writer->open(path, kSampleRate, 2))
            continue;
        qDebug() << "[ApplicationManager] Started ISO Audio Recorder for channel" << channelId << "at" << path;
        m_isoWavWriters[channelId] = std::move(writer);
        m_isoAudioPaths[channelId] = path;
    }

    // The container and the encoder are fixed for the whole take.
    m_takeContainer = containerForFormatIndex(m_recordingFormatIndex).value_or(RecordingContainer::Mp4);
    if (effectiveEncoderIndex() != m_recordingEncoderIndex)
        qWarning() << "[ApplicationManager] Encoder entry" << m_recordingEncoderIndex
                   << "does not exist here; recording with"
                   << m_encoderCapabilities.value(0).toMap().value(QStringLiteral("name")).toString();

    m_framePump.clear();
    m_framePump.setFrameRate(m_timelineFps);
    for (const auto &[channelId, source] : m_channelSources) {
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
        m_framePump.addChannel(channelId, encoder, config.width, config.height);
        m_videoPaths[channelId] = config.outputPath;
    }

    // A take that could not open a single file would record nothing: say so, do not start.
    if (!m_masterWavWriter->isOpen() && m_isoWavWriters.empty() && m_framePump.isEmpty()) {
        const QString error = takeFolderMade
            ? QStringLiteral("No file of the take could be opened in %1").arg(takeFolder)
            : QStringLiteral("Cannot create the take folder %1").arg(takeFolder);
        qWarning() << "[ApplicationManager] Recording not started:" << error;
        m_masterWavWriter.reset();
        QDir().rmdir(takeFolder);
        setLastRecordingError(error);
        return;
    }
    setLastRecordingError(QString());

    // Audio and video start at the same instant: the inputs drop what they collected while
    // the files were being opened, and the frame slots count from now.
    m_mixer.reset();
    m_isRecording = true;
    m_recordStartNs = monotonicNowNs();
    m_takeLengthLimitNs = 0;
    m_framePump.setStartTime(m_recordStartNs);
    m_takeAudioFrames = 0;
    m_takeStats = TakeStats{};
    m_takeStats.lastSampleNs = m_recordStartNs;
    openPerfLog();

    if (m_channelsModel) {
        for (int id = 1; id <= 4; ++id)
            m_channelsModel->setRecording(id, true);
    }
    m_timecodeTimer.start(33);
    // The first frame of every file is the picture at the start.
    m_framePump.pump(1, [this](int id) { return sourceForChannel(id); });
    // Marker lines the performance monitor colours.
    qDebug().noquote() << "[ApplicationManager] === RECORDING STARTED ===" << m_framePump.channelCount()
                       << "camera(s) at" << m_timelineFps << "fps, timecode" << m_startTimecode;
    emit isRecordingChanged();
}

void ApplicationManager::stopRecording()
{
    if (!m_isRecording)
        return;
    qDebug() << "[ApplicationManager] stopRecording() triggered.";

    qint64 endNs = monotonicNowNs();
    if (m_takeLengthLimitNs > 0)
        endNs = std::min(endNs, m_recordStartNs + m_takeLengthLimitNs);
    // Take the audio that arrived since the last tick, and fill the last frame slots, so
    // audio and video both end here.
    m_mixer.process(m_mixerOutput);
    appendTakeAudio();
    m_framePump.pump(m_framePump.slotsCovering(endNs - m_recordStartNs), [this](int id) { return sourceForChannel(id); });

    m_isRecording = false;
    m_timecodeTimer.stop();
    emit isRecordingChanged();

    if (m_channelsModel) {
        for (int id = 1; id <= 4; ++id)
            m_channelsModel->setRecording(id, false);
    }

    m_framePump.forEachEncoder([this](int channelId, IEncoder &encoder) {
        if (!encoder.stop())
            qWarning() << "[ApplicationManager] Video file of channel" << channelId << "is incomplete:" << encoder.lastError();
        m_takeStats.droppedFrames += encoder.droppedFrames();
    });
    recordTakeCameraFigures();
    m_framePump.clear();

    if (m_masterWavWriter) {
        m_masterWavWriter->close();
        m_masterWavWriter.reset();
    }
    for (auto &[channelId, writer] : m_isoWavWriters)
        writer->close();
    m_isoWavWriters.clear();
    closePerfLog();

    qint64 durationMs = (endNs - m_recordStartNs) / 1000000;
    if (durationMs < 1)
        durationMs = 1000;
    m_lastTakeDurationMs = durationMs;
    qDebug().noquote() << "[ApplicationManager] === RECORDING STOPPED ===" << double(durationMs) / 1000.0
                       << "s, DROPS:"
                       << QStringLiteral("%1, REPEATED: %2").arg(m_takeStats.droppedFrames).arg(m_takeStats.repeatedFrames);
    exportTimeline(durationMs);
    emit takeFinished(m_currentTakeFolder);
}

void ApplicationManager::updateTimecode()
{
    if (!m_isRecording)
        return;
    m_timecode = TakeNaming::timecodeText(m_recordStartTime.msecsTo(QTime::currentTime()));
    emit timecodeChanged();

    // A frame slot is filled once it has ended and a picture taken in it has had another
    // frame's time to arrive, so every slot gets the picture of its own moment.
    const qint64 elapsedNs = monotonicNowNs() - m_recordStartNs;
    if (m_takeLengthLimitNs > 0 && elapsedNs >= m_takeLengthLimitNs) {
        stopRecording();
        return;
    }
    const qint64 frameNs = qint64(1e9 / m_timelineFps);
    m_framePump.pump(m_framePump.slotsStartedBy(elapsedNs - 2 * frameNs), [this](int id) { return sourceForChannel(id); });

    writePerfLogRowIfDue(elapsedNs);
    stopOnRecordingFailure();
}

void ApplicationManager::appendTakeAudio()
{
    if (!m_isRecording)
        return;

    // The inputs are the audio clock. With none running, the take's audio is silence, kept
    // as long as the take so the files stay in step with the video.
    std::vector<float> silence;
    if (m_mixerOutput.master.empty() && m_channelAudioCaptures.empty()) {
        const qint64 due = (monotonicNowNs() - m_recordStartNs) * kSampleRate / 1000000000;
        if (due > m_takeAudioFrames)
            silence.assign(size_t(due - m_takeAudioFrames) * 2, 0.0f);
    }
    // A take of limited length keeps exactly its length of audio.
    if (m_takeLengthLimitNs > 0) {
        const qint64 room = std::max<qint64>(0, m_takeLengthLimitNs * kSampleRate / 1000000000 - m_takeAudioFrames);
        const auto cut = [room](std::vector<float> &samples) {
            if (qint64(samples.size() / 2) > room)
                samples.resize(size_t(room) * 2);
        };
        cut(m_mixerOutput.master);
        cut(silence);
        for (auto &[channelId, output] : m_mixerOutput.channels)
            cut(output);
    }
    const std::vector<float> &master = silence.empty() ? m_mixerOutput.master : silence;
    if (m_masterWavWriter && m_masterWavWriter->isOpen() && !master.empty())
        m_masterWavWriter->writeSamples(master);
    m_takeAudioFrames += qint64(master.size() / 2);

    for (auto &[channelId, writer] : m_isoWavWriters) {
        if (!writer->isOpen())
            continue;
        auto output = m_mixerOutput.channels.find(channelId);
        if (output != m_mixerOutput.channels.end())
            writer->writeSamples(output->second);
        // A channel whose input stopped keeps time with silence.
        const qint64 missing = m_takeAudioFrames - writer->framesWritten();
        if (missing > 0)
            writer->writeSamples(std::vector<float>(size_t(missing) * 2, 0.0f));
    }
}

void ApplicationManager::stopOnRecordingFailure()
{
    QString failure;
    m_framePump.forEachEncoder([&](int channelId, const IEncoder &encoder) {
        if (failure.isEmpty() && encoder.hasFailed())
            failure = QStringLiteral("Camera %1: %2").arg(channelId).arg(encoder.lastError());
    });
    if (failure.isEmpty() && m_masterWavWriter && m_masterWavWriter->hasError())
        failure = QStringLiteral("Master audio: %1").arg(m_masterWavWriter->errorString());
    for (const auto &[channelId, writer] : m_isoWavWriters) {
        if (failure.isEmpty() && writer->hasError())
            failure = QStringLiteral("Channel %1 audio: %2").arg(channelId).arg(writer->errorString());
    }
    if (failure.isEmpty())
        return;

    qWarning() << "[ApplicationManager] Recording stopped after a write failure:" << failure;
    setLastRecordingError(failure);
    stopRecording();
}

bool ApplicationManager::exportTimeline(qint64 durationMs)
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
    input.cameraLinks = m_cameraLinks;
    input.masterWavPath = m_masterWavPath;
    input.cuts = m_timelineCuts;

    if (!timelineHasRecordedFiles(input)) {
        qDebug() << "[ApplicationManager] No recorded files to export to XML.";
        return false;
    }
    QString writtenPath, error;
    if (!writeTimeline(input, &writtenPath, &error)) {
        qWarning() << "[ApplicationManager] Failed to export XML to:" << timelineOutputPath(input) << "-" << error;
        setLastRecordingError(QStringLiteral("Timeline: %1").arg(error));
        return false;
    }
    qDebug() << "[ApplicationManager] Successfully exported DaVinci Resolve XML to:" << writtenPath;
    return true;
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
    if (!m_isArming)
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
