#include "recording/XmemlVideoLayout.h"

#include <algorithm>
#include <cmath>

namespace {

QList<TimelineVideoClip> camerasOf(const TimelineExportJob &job, TimelineLayout layout)
{
    QList<TimelineVideoClip> cameras = job.videoClips;
    if (cameras.isEmpty() && layout == TimelineLayout::ProgrammeCut) {
        // A take without any video file (every camera failed or none ran) still shows its
        // switch decisions: one offline placeholder per camera switched to, each with a name
        // and a file of its own in the take folder. The all-angles sequence holds recorded
        // cameras only.
        QList<int> seen;
        for (const TimelineCut &cut : job.cuts) {
            if (!seen.contains(cut.channelId))
                seen.append(cut.channelId);
        }
        if (seen.isEmpty())
            seen.append(1);
        const QString extension = job.videoFileExtension.isEmpty() ? QStringLiteral(".mp4") : job.videoFileExtension;
        for (int channelId : seen) {
            const QString name = QStringLiteral("Camera_CH%1").arg(channelId);
            cameras.append({channelId, name, job.mediaFolder + QLatin1Char('/') + name + extension});
        }
    }
    std::stable_sort(cameras.begin(), cameras.end(), [](const TimelineVideoClip &a, const TimelineVideoClip &b) {
        return a.channelId < b.channelId;
    });
    return cameras;
}

// Where a camera's file begins on the sequence (0 for one that started with the take).
qint64 startOf(const TimelineExportJob &job, int channelId)
{
    for (const TimelineVideoClip &clip : job.videoClips) {
        if (clip.channelId == channelId)
            return clip.startFrame;
    }
    return 0;
}

qint64 cutEndFrame(const TimelineExportJob &job, const SequenceFrames &frames, qsizetype c)
{
    return frames.frameAt(c + 1 < job.cuts.size() ? job.cuts.at(c + 1).timeMs : frames.durationMs);
}

// A camera's own track in the programme cut: a clip for each switch to it that lasts at least
// one frame; k (the clip's position on the track) advances only for those.
PlacedVideoTrack switchTrack(const TimelineExportJob &job, const SequenceFrames &frames, int v, int camera,
                             int channelId)
{
    PlacedVideoTrack track{channelId, {}};
    for (qsizetype c = 0; c < job.cuts.size(); ++c) {
        if (job.cuts.at(c).channelId != channelId)
            continue;
        // A camera that joined the take shows from its first frame on.
        const qint64 start = std::max(frames.frameAt(job.cuts.at(c).timeMs), job.videoClips.isEmpty() ? 0 : startOf(job, channelId));
        const qint64 end = cutEndFrame(job, frames, c);
        if (end > start) {
            const QString id = QStringLiteral("clipitem-v%1-%2").arg(v).arg(track.clips.size());
            track.clips.append({camera, id, c + 1, start, end});
        }
    }
    return track;
}

// The programme cut flattened onto one track, in order and without overlap.
PlacedVideoTrack programmeTrack(const TimelineExportJob &job, const QList<TimelineVideoClip> &cameras,
                                const SequenceFrames &frames, int v)
{
    PlacedVideoTrack track{0, {}};
    if (cameras.isEmpty())
        return track;
    const auto cameraOf = [&cameras](int channelId) {
        for (qsizetype i = 0; i < cameras.size(); ++i) {
            if (cameras.at(i).channelId == channelId)
                return int(i);
        }
        return 0; // no file of its own: the first camera, as the programme cut shows it
    };
    QList<PlacedVideoClip> pieces;
    if (job.cuts.isEmpty())
        pieces.append({0, {}, 0, 0, frames.durationFrames});
    qint64 placedUntil = 0;
    for (qsizetype c = 0; c < job.cuts.size(); ++c) {
        // A switch logged out of order cannot move back over what is already placed.
        const int camera = cameraOf(job.cuts.at(c).channelId);
        // A switch to a camera before it joined the take shows it from its first frame on.
        const qint64 start = std::max({frames.frameAt(job.cuts.at(c).timeMs), placedUntil, cameras.at(camera).startFrame});
        const qint64 end = cutEndFrame(job, frames, c);
        if (end <= start)
            continue;
        if (!pieces.isEmpty() && pieces.last().camera == camera && pieces.last().end == start)
            pieces.last().end = end; // still the same picture: one clip
        else
            pieces.append({camera, {}, c + 1, start, end});
        placedUntil = end;
    }
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        pieces[k].itemId = QStringLiteral("clipitem-v%1-%2").arg(v).arg(k);
        track.clips.append(pieces.at(k));
    }
    return track;
}

} // namespace

qint64 SequenceFrames::frameAt(qint64 ms) const
{
    const double frame = std::trunc(rate * double(ms) / 1000.0);
    return qint64(std::clamp(frame, 0.0, double(durationFrames)));
}

VideoLayout layOutVideo(const TimelineExportJob &job, TimelineLayout layout, const SequenceFrames &frames)
{
    VideoLayout result;
    result.cameras = camerasOf(job, layout);
    const int cameraCount = int(result.cameras.size());
    if (layout == TimelineLayout::ProgrammeCut) {
        for (int i = 0; i < cameraCount; ++i) {
            const int v = i + 1;
            const int channelId = result.cameras.at(i).channelId;
            // The base track holds the first camera for the whole take; every other camera
            // appears on its own track above it only where the operator switched to it.
            if (v == 1)
                result.tracks.append({channelId, {{0, QStringLiteral("clipitem-v1-base"), 0,
                                                   std::min(result.cameras.at(0).startFrame, frames.durationFrames),
                                                   frames.durationFrames}}});
            else
                result.tracks.append(switchTrack(job, frames, v, i, channelId));
        }
        return result;
    }
    for (int i = 0; i < cameraCount; ++i) {
        const QString id = QStringLiteral("clipitem-v%1-angle").arg(i + 1);
        const qint64 start = std::min(result.cameras.at(i).startFrame, frames.durationFrames);
        result.tracks.append({result.cameras.at(i).channelId, {{i, id, 0, start, frames.durationFrames}}});
    }
    result.tracks.append(programmeTrack(job, result.cameras, frames, cameraCount + 1));
    return result;
}
