#include "studio/StudioTimeline.h"

#include "recording/TimelineModelBuilder.h"
#include "recording/TimelinePaths.h"
#include "studio/StudioAngles.h"

#include <algorithm>

namespace {

const StudioClip *clipAt(const QList<StudioClip> &clips, const QString &path)
{
    for (const StudioClip &clip : clips) {
        if (timelineAbsolutePath(clip.path) == path)
            return &clip;
    }
    return nullptr;
}

qint64 framesOf(qint64 ms, const FrameRate &rate)
{
    return ms * rate.numerator / (qint64(rate.denominator) * 1000);
}

void renameTracks(TimelineSequence &sequence, const TimelineModel &model, const StudioAngles &angles)
{
    for (TimelineTrack &track : sequence.video) {
        if (track.role == TimelineTrack::Role::Programme || track.clips.isEmpty())
            continue;
        if (const StudioClip *clip = clipAt(angles.video, model.media.at(track.clips.first().media).path))
            track.name = clip->name;
    }
    for (TimelineTrack &track : sequence.audio) {
        if (track.clips.isEmpty())
            continue;
        if (const StudioClip *clip = clipAt(angles.audio, model.media.at(track.clips.first().media).path))
            track.name = clip->name;
    }
}

} // namespace

QString studioTimelineTakeName(const QString &takeFolderName)
{
    return takeFolderName + QStringLiteral("_Studio");
}

TimelineModel studioTimelineModel(const TimelineExportInput &leaderTake, const QString &leaderMachine,
                                  const std::map<int, QString> &leaderCameraNames,
                                  const std::vector<StudioLeader::Member> &members)
{
    LeaderTakeFiles own;
    own.machine = leaderMachine;
    own.videoPaths = leaderTake.videoPaths;
    own.cameraNames = leaderCameraNames;
    own.masterAudioPath = leaderTake.masterWavPath;
    own.channelAudioPaths = leaderTake.isoAudioPaths;
    own.durationMs = leaderTake.durationMs;
    const StudioAngles angles = studioAngles(own, members, leaderTake.takeFolderPath);

    // The followers' cameras as channels of the take, each as long as its machine recorded it.
    TimelineExportInput input = leaderTake;
    for (const StudioClip &clip : angles.video) {
        if (clip.isLocal)
            continue;
        input.videoPaths[clip.studioChannel] = clip.path;
        TimelineFileMeasure measure;
        const FrameRate &rate = leaderTake.frameRate;
        measure.seconds = clip.frames > 0 && rate.numerator > 0
                              ? double(clip.frames) * rate.denominator / rate.numerator
                              : double(clip.durationMs) / 1000.0;
        input.measuredFiles[clip.path] = measure;
    }
    TimelineModel model = buildTimelineModel(input);

    for (TimelineMedia &media : model.media) {
        const StudioClip *clip = media.kind == TimelineMedia::Kind::Video ? clipAt(angles.video, media.path) : nullptr;
        if (clip && !clip->isLocal)
            media.fileName = clip->machine + QLatin1Char(' ') + media.fileName;
    }

    // The followers' sound, each file on a track of its own from the first frame.
    for (const StudioClip &clip : angles.audio) {
        if (clip.isLocal)
            continue;
        TimelineMedia media;
        media.kind = TimelineMedia::Kind::Audio;
        media.channelId = clip.channelId;
        media.path = timelineAbsolutePath(clip.path);
        media.fileName = clip.machine + QLatin1Char(' ') + lastPathComponent(media.path);
        media.durationFrames = std::clamp<qint64>(framesOf(clip.durationMs, model.rate), 1, model.durationFrames);
        media.sampleRate = model.sampleRate;
        media.audioChannels = 2;
        const int index = int(model.media.size());
        model.media.append(media);
        TimelineTrack track;
        track.role = TimelineTrack::Role::Audio;
        track.channelId = clip.channelId;
        track.name = clip.name;
        track.clips.append(TimelineClip{index, 0, media.durationFrames, 0, 0});
        model.programmeCut.audio.append(track);
        model.allAngles.audio.append(track);
    }

    renameTracks(model.programmeCut, model, angles);
    renameTracks(model.allAngles, model, angles);
    model.programmeCut.name += QStringLiteral(" Studio");
    model.allAngles.name = model.projectName + QLatin1Char(' ') + model.takeName + QStringLiteral(" Studio All Angles");
    return model;
}
