#include "recording/TakeSetup.h"

#include "recording/CameraRecordingMode.h"

#include "recording/TakeFormat.h"
#include "recording/TakeNaming.h"
#include "recording/Timecode.h"

#include <QDebug>
#include <QDir>

#include <algorithm>

namespace {

constexpr int kAudioChannels = 2;

} // namespace

QString TakePlan::channelWavPath(int channelId) const
{
    return TakeNaming::channelAudioFilePath(takeFolder, channelId);
}

std::optional<BroadcastWavInfo> TakePlan::broadcastInfo(const QString &track, int sampleRate) const
{
    if (!isBroadcastWav)
        return std::nullopt;
    BroadcastWavInfo info;
    info.description = sessionFolderName + QLatin1Char(' ') + QDir(takeFolder).dirName() + QLatin1Char(' ') + track;
    info.origination = startedAt;
    info.timeReference = quint64(Timecode::samplesSinceMidnight(startTimecode, rate.toDouble(), sampleRate).value_or(0));
    info.codingHistory = BroadcastWav::pcmCodingHistory(sampleRate, kAudioChannels);
    return info;
}

EncoderConfig TakePlan::cameraConfig(const TakeCamera &camera, qint64 startFrame) const
{
    EncoderConfig config = TakeFormat::encoderConfigFor(settings, camera.size, rate);
    config.container = container;
    config.outputPath = TakeNaming::cameraFilePath(takeFolder, camera.channelId, container);
    config.encoderName = encoder.encoder;
    config.useHevc = encoder.isHevc;
    config.camerasInTake = std::max(1, encodedCameras);
    if (camera.cameraStream && !camera.size.isEmpty()) {
        // Written as the camera sends it: its own size, a container that holds it as it is.
        config.cameraStream = camera.cameraStream;
        config.container = cameraStreamContainer(*camera.cameraStream, container);
        config.outputPath = TakeNaming::cameraFilePath(takeFolder, camera.channelId, config.container);
        config.width = camera.size.width();
        config.height = camera.size.height();
    }
    config.startTimecode = startTimecode;
    if (startFrame > 0) {
        // A camera that joins the take: its file's timecode is that of its first frame.
        const bool dropFrame = Timecode::isDropFrame(startTimecode);
        const std::optional<qint64> first = Timecode::frameCount(startTimecode, rate.timebase(), rate.isNtsc());
        if (first)
            config.startTimecode = Timecode::text(*first + startFrame, rate.timebase(), dropFrame);
    }
    return config;
}

namespace TakeSetup {

TakePlan prepare(const TakeRequest &request)
{
    TakePlan plan;
    plan.settings = request.settings;
    plan.encoder = request.encoder;
    plan.isBroadcastWav = request.settings.broadcastWav;
    plan.container = containerForFormatIndex(request.settings.formatIndex).value_or(RecordingContainer::Mp4);
    if (!isContainerAvailable(plan.container))
        plan.container = RecordingContainer::Mp4;

    plan.sessionFolderName = TakeNaming::sessionFolderName(request.sessionName, request.now);
    const QString sessionPath = QDir(request.recordingPath).filePath(plan.sessionFolderName);
    if (!QDir().mkpath(sessionPath))
        qWarning() << "[TakeSetup] Cannot create the session folder" << sessionPath;
    plan.takeFolder = QDir(sessionPath).filePath(TakeNaming::takeFolderName(TakeNaming::nextTakeNumber(sessionPath)));
    plan.isTakeFolderMade = QDir().mkpath(plan.takeFolder);

    QList<double> cameraRates;
    for (const TakeCamera &camera : request.cameras)
        cameraRates.append(camera.fps);
    plan.rate = TakeFormat::frameRateFor(request.settings, cameraRates);
    // The start time of day names the take in every file's timecode.
    plan.startedAt = request.now;
    plan.startTimecode = TakeNaming::startTimecodeText(request.now.time(), plan.rate);
    plan.masterWavPath = TakeNaming::masterAudioFilePath(plan.takeFolder);
    plan.encodedCameras = int(std::count_if(request.cameras.cbegin(), request.cameras.cend(),
                                            [](const TakeCamera &camera) { return !camera.cameraStream; }));
    for (const TakeCamera &camera : request.cameras)
        plan.cameras[camera.channelId] = plan.cameraConfig(camera);
    return plan;
}

TimelineExportInput timelineInput(const TakePlan &plan, const QString &sessionName, const RecordedTake &take)
{
    TimelineExportInput input;
    input.sessionName = sessionName;
    input.takeFolderPath = plan.takeFolder;
    input.startTimecode = plan.startTimecode;
    input.durationMs = take.durationMs;
    input.frameRate = plan.rate;
    const QSize sequence = sequenceSize(plan, take.videoPaths);
    input.width = sequence.width();
    input.height = sequence.height();
    input.videoPaths = take.videoPaths;
    input.videoStartFrames = take.videoStartFrames;
    for (const auto &[channelId, config] : plan.cameras) {
        if (take.videoPaths.count(channelId))
            input.videoSizes[channelId] = QSize(config.width, config.height);
    }
    input.videoFileExtension = containerExtension(plan.container);
    input.isoAudioPaths = take.isoAudioPaths;
    input.cameraLinks = take.cameraLinks;
    input.masterWavPath = plan.masterWavPath;
    input.cuts = take.cuts;
    input.audioParts = take.audioParts;
    return input;
}

QSize sequenceSize(const TakePlan &plan, const std::map<int, QString> &videoPaths)
{
    QSize sequence;
    for (const auto &[channelId, config] : plan.cameras) {
        if (videoPaths.count(channelId) && config.width * config.height > sequence.width() * sequence.height())
            sequence = QSize(config.width, config.height);
    }
    return sequence.isEmpty() ? TakeFormat::masterSize(plan.settings) : sequence;
}

} // namespace TakeSetup
