#include "recording/TimelineModelBuilder.h"

#include "common/ChannelRange.h"
#include "recording/Timecode.h"
#include "recording/TimelineNaming.h"
#include "recording/TimelinePaths.h"

#include <algorithm>
#include <cmath>

namespace {

// Held so that ms × numerator cannot overflow; 10^12 ms are more than 30 years.
constexpr qint64 kMaxMs = 1000000000000LL;
constexpr int kAudioChannels = 2;

qint64 clampMs(qint64 ms)
{
    return std::clamp(ms, -kMaxMs, kMaxMs);
}

class Builder
{
public:
    explicit Builder(const TimelineExportInput &input) : m_in(input) {}
    TimelineModel build();

private:
    void addCameras();
    void addAudioTracks();
    void addAudioTrack(const QString &rawPath, const QString &path, const QString &name, int channelId);
    TimelineMedia mediaFor(TimelineMedia::Kind kind, const QString &rawPath, const QString &path) const;
    std::optional<qint64> measuredFrames(const QString &rawPath) const;
    qint64 frameAt(qint64 ms) const { return timelineFrameAt(ms, m_model.rate, m_model.durationFrames); }
    qint64 cutEndFrame(qsizetype c) const;
    // The clip of media `media` over [start, end), cut to where the media lies; false when
    // nothing of it is left.
    bool placeClip(int media, qint64 start, qint64 end, qsizetype cutNumber, TimelineClip *clip) const;
    TimelineTrack wholeTakeTrack(int media) const;
    TimelineTrack switchTrack(int media) const;
    void buildProgramme();
    void linkTracks(TimelineSequence &sequence) const;
    void placeMarkers();

    const TimelineExportInput &m_in;
    TimelineModel m_model;
    QList<int> m_cameras;   // media indices of the recorded cameras, channel order
    QList<int> m_standIns;  // media indices of the stand-ins (no camera recorded)
    QList<TimelineTrack> m_audio;
    QList<int> m_audioChannels; // channel id of each channel track (m_audio[i + 1])
};

std::optional<qint64> Builder::measuredFrames(const QString &rawPath) const
{
    const auto it = m_in.measuredFiles.find(rawPath);
    if (it == m_in.measuredFiles.end())
        return std::nullopt;
    // Whole frames only: a clip never ends after the file's last complete frame.
    const double frames = it->second.seconds * m_model.rate.numerator / m_model.rate.denominator;
    return qint64(std::max(0.0, std::floor(frames + 1e-6)));
}

TimelineMedia Builder::mediaFor(TimelineMedia::Kind kind, const QString &rawPath, const QString &path) const
{
    TimelineMedia media;
    media.kind = kind;
    media.path = path;
    media.fileName = lastPathComponent(path);
    media.durationFrames = measuredFrames(rawPath).value_or(m_model.durationFrames);
    if (kind == TimelineMedia::Kind::Audio) {
        media.sampleRate = m_model.sampleRate;
        media.audioChannels = kAudioChannels;
    } else {
        // Every camera file's timecode track starts at the take's timecode.
        media.timecodeFrame = m_model.startTimecodeFrame;
        media.timecodeText = m_model.startTimecodeText;
    }
    return media;
}

void Builder::addCameras()
{
    // Channels in order (1 to 4, and a studio's cameras of other machines after them); an
    // empty path is no file.
    for (const auto &[channelId, path] : m_in.videoPaths) {
        if (channelId < ChannelRange::kFirst || path.isEmpty())
            continue;
        TimelineMedia media = mediaFor(TimelineMedia::Kind::Video, path, timelineAbsolutePath(path));
        media.channelId = channelId;
        media.clipName = QStringLiteral("clip-cam-%1").arg(channelId);
        const auto size = m_in.videoSizes.find(channelId);
        const bool isSized = size != m_in.videoSizes.end() && !size->second.isEmpty();
        media.width = isSized ? size->second.width() : m_model.width;
        media.height = isSized ? size->second.height() : m_model.height;
        // A camera that joined the take: its file begins (and its timecode starts) there.
        if (const auto joined = m_in.videoStartFrames.find(channelId); joined != m_in.videoStartFrames.end() && joined->second > 0) {
            const qint64 offset = std::min(joined->second, m_model.durationFrames);
            media.sequenceOffset = offset;
            media.durationFrames = measuredFrames(path).value_or(m_model.durationFrames - offset);
            media.timecodeFrame = m_model.startTimecodeFrame + offset;
            media.timecodeText = Timecode::text(*media.timecodeFrame, m_model.timebase(), m_model.isDropFrame);
        }
        if (media.fileName.isEmpty())
            media.fileName = media.clipName + m_in.videoFileExtension;
        m_cameras.append(int(m_model.media.size()));
        m_model.media.append(media);
    }
    if (!m_cameras.isEmpty())
        return;

    // A take without any video file (every camera failed or none ran) still shows its switch
    // decisions in the programme cut: one offline stand-in per camera switched to, each with a
    // name and a file of its own in the take folder.
    QList<int> seen;
    for (const TimelineCut &cut : m_in.cuts) {
        if (!seen.contains(cut.channelId))
            seen.append(cut.channelId);
    }
    if (seen.isEmpty())
        seen.append(1);
    std::stable_sort(seen.begin(), seen.end());
    const QString extension = m_in.videoFileExtension.isEmpty() ? QStringLiteral(".mp4") : m_in.videoFileExtension;
    for (int channelId : seen) {
        const QString name = QStringLiteral("Camera_CH%1").arg(channelId);
        TimelineMedia media = mediaFor(TimelineMedia::Kind::Video, QString(), m_model.mediaFolder + QLatin1Char('/') + name + extension);
        media.channelId = channelId;
        media.clipName = name;
        media.isStandIn = true;
        m_standIns.append(int(m_model.media.size()));
        m_model.media.append(media);
    }
}

void Builder::addAudioTrack(const QString &rawPath, const QString &path, const QString &name, int channelId)
{
    TimelineTrack track;
    track.role = TimelineTrack::Role::Audio;
    track.channelId = channelId;
    track.name = channelId > 0 ? QStringLiteral("Channel %1").arg(channelId) : QStringLiteral("Master");

    QList<TimelineAudioPart> parts;
    const auto partsOf = m_in.audioParts.find(rawPath);
    if (partsOf != m_in.audioParts.end() && partsOf->second.size() >= 2)
        parts = partsOf->second;
    else
        parts = {TimelineAudioPart{rawPath, 0}};

    // Each part right after the one before, at the frame its first sample falls in.
    const double sampleRate = m_in.audioSampleRate > 0 ? m_in.audioSampleRate : AudioFormat::kSampleRate;
    QList<qint64> starts;
    qint64 samples = 0;
    for (const TimelineAudioPart &part : parts) {
        const double frames = double(samples) * m_model.rate.numerator / (double(m_model.rate.denominator) * sampleRate);
        starts.append(std::min(m_model.durationFrames, qint64(std::llround(frames))));
        samples += part.frames;
    }
    for (qsizetype k = 0; k < parts.size(); ++k) {
        const qint64 start = starts.at(k);
        const qint64 end = k + 1 < starts.size() ? starts.at(k + 1) : m_model.durationFrames;
        const bool single = parts.size() == 1;
        const QString partPath = single ? path : timelineAbsolutePath(parts.at(k).filePath);
        TimelineMedia media = mediaFor(TimelineMedia::Kind::Audio, parts.at(k).filePath, partPath);
        media.channelId = channelId;
        if (single)
            media.fileName = name;
        media.sequenceOffset = start;
        const std::optional<qint64> measured = measuredFrames(parts.at(k).filePath);
        // As long as the part is on the sequence, unless it was measured shorter.
        media.durationFrames = std::max<qint64>(0, measured ? *measured : end - start);
        // Where an editor places the file by its timecode: the time reference read from it, or
        // the take's start for the first part (each later part's is its own first sample's).
        const auto file = m_in.measuredFiles.find(parts.at(k).filePath);
        if (file != m_in.measuredFiles.end() && file->second.timeReferenceSamples)
            media.timecodeFrame = qint64(std::llround(double(*file->second.timeReferenceSamples) * m_model.rate.numerator
                                                      / (double(m_model.rate.denominator) * m_model.sampleRate)));
        else if (m_in.audioHasTimeReference)
            media.timecodeFrame = m_model.startTimecodeFrame + start;
        const int index = int(m_model.media.size());
        m_model.media.append(media);
        TimelineClip clip;
        if (placeClip(index, start, end, 0, &clip))
            track.clips.append(clip);
    }
    m_audio.append(track);
}

void Builder::addAudioTracks()
{
    // The master track is always there: without a master path it still names a file in the
    // take folder, never the root of the disk.
    QString name = lastPathComponent(timelineAbsolutePath(m_in.masterWavPath));
    if (name.isEmpty())
        name = QStringLiteral("MASTER_AUDIO.wav");
    const QString masterPath = m_in.masterWavPath.isEmpty() ? m_model.mediaFolder + QLatin1Char('/') + name
                                                            : timelineAbsolutePath(m_in.masterWavPath);
    addAudioTrack(m_in.masterWavPath, masterPath, name, 0);

    for (int channelId = ChannelRange::kFirst; channelId <= ChannelRange::kLast; ++channelId) {
        const auto audio = m_in.isoAudioPaths.find(channelId);
        if (audio == m_in.isoAudioPaths.end() || audio->second.isEmpty())
            continue;
        const QString path = timelineAbsolutePath(audio->second);
        addAudioTrack(audio->second, path, lastPathComponent(path), channelId);
        m_audioChannels.append(channelId);
    }
}

qint64 Builder::cutEndFrame(qsizetype c) const
{
    // The last switch runs to the end of the sequence: its rounded length may reach a frame
    // past the truncated end of the take, and that frame must not go black.
    return c + 1 < m_in.cuts.size() ? frameAt(m_in.cuts.at(c + 1).timeMs) : m_model.durationFrames;
}

bool Builder::placeClip(int media, qint64 start, qint64 end, qsizetype cutNumber, TimelineClip *clip) const
{
    const TimelineMedia &m = m_model.media.at(media);
    start = std::max(start, m.sequenceOffset);
    end = std::min(end, m.sequenceOffset + m.durationFrames);
    if (end <= start)
        return false;
    *clip = TimelineClip{media, start, end, start - m.sequenceOffset, cutNumber};
    return true;
}

TimelineTrack Builder::wholeTakeTrack(int media) const
{
    TimelineTrack track;
    track.role = TimelineTrack::Role::Camera;
    track.channelId = m_model.media.at(media).channelId;
    track.name = QStringLiteral("Camera %1").arg(track.channelId);
    TimelineClip clip;
    if (placeClip(media, 0, m_model.durationFrames, 0, &clip))
        track.clips.append(clip);
    return track;
}

TimelineTrack Builder::switchTrack(int media) const
{
    TimelineTrack track = wholeTakeTrack(media);
    track.role = TimelineTrack::Role::CameraSwitches;
    track.clips.clear();
    // A clip for each switch to this camera that lasts at least one frame.
    for (qsizetype c = 0; c < m_in.cuts.size(); ++c) {
        if (m_in.cuts.at(c).channelId != track.channelId)
            continue;
        TimelineClip clip;
        if (placeClip(media, frameAt(m_in.cuts.at(c).timeMs), cutEndFrame(c), c + 1, &clip))
            track.clips.append(clip);
    }
    return track;
}

void Builder::buildProgramme()
{
    if (m_cameras.isEmpty())
        return;
    const auto cameraOf = [this](int channelId) {
        for (int media : m_cameras) {
            if (m_model.media.at(media).channelId == channelId)
                return media;
        }
        return m_cameras.first(); // no file of its own: the first camera, as the base track shows
    };
    QList<TimelineClip> pieces;
    if (m_in.cuts.isEmpty())
        pieces.append(TimelineClip{m_cameras.first(), 0, m_model.durationFrames, 0, 0});
    qint64 placedUntil = 0;
    for (qsizetype c = 0; c < m_in.cuts.size(); ++c) {
        // A switch logged out of order cannot move back over what is already placed.
        const qint64 start = std::max(frameAt(m_in.cuts.at(c).timeMs), placedUntil);
        const qint64 end = cutEndFrame(c);
        if (end <= start)
            continue;
        const int media = cameraOf(m_in.cuts.at(c).channelId);
        if (!pieces.isEmpty() && pieces.last().media == media && pieces.last().end == start)
            pieces.last().end = end; // still the same picture: one clip
        else
            pieces.append(TimelineClip{media, start, end, 0, c + 1});
        placedUntil = end;
    }
    for (const TimelineClip &piece : pieces) {
        TimelineClip clip;
        if (placeClip(piece.media, piece.start, piece.end, piece.cutNumber, &clip))
            m_model.programme.append(clip);
    }
}

void Builder::linkTracks(TimelineSequence &sequence) const
{
    // Camera channel → the audio track linked to it (a later audio track wins).
    std::map<int, int> cameraToAudio;
    for (qsizetype i = 0; i < m_audioChannels.size(); ++i) {
        const auto link = m_in.cameraLinks.find(m_audioChannels.at(i));
        if (link != m_in.cameraLinks.end() && link->second > 0)
            cameraToAudio[link->second] = int(i + 1);
    }
    for (TimelineTrack &track : sequence.video) {
        const auto audio = track.role == TimelineTrack::Role::Programme ? cameraToAudio.end()
                                                                         : cameraToAudio.find(track.channelId);
        if (audio != cameraToAudio.end())
            track.linkedTrack = audio->second;
    }
    for (qsizetype i = 0; i < m_audioChannels.size(); ++i) {
        const auto link = m_in.cameraLinks.find(m_audioChannels.at(i));
        if (link == m_in.cameraLinks.end() || link->second <= 0)
            continue;
        for (qsizetype v = 0; v < sequence.video.size(); ++v) {
            const TimelineTrack &video = sequence.video.at(v);
            if (video.role != TimelineTrack::Role::Programme && video.channelId == link->second) {
                sequence.audio[i + 1].linkedTrack = int(v);
                break;
            }
        }
    }
}

void Builder::placeMarkers()
{
    for (qsizetype i = 0; i < m_in.markers.size(); ++i) {
        const TimelineMarker &marker = m_in.markers.at(i);
        // A marker belongs to a frame of the take, so one dropped at the very end marks its last.
        const qint64 frame = std::min(frameAt(marker.timeMs), m_model.durationFrames - 1);
        const QString name = marker.name.trimmed().isEmpty() ? QStringLiteral("Marker %1").arg(i + 1) : marker.name;
        m_model.markers.append(TimelineMarkerPlacement{std::max<qint64>(0, frame), marker.timeMs, name});
    }
}

TimelineModel Builder::build()
{
    m_model.projectName = timelineProjectName(m_in.sessionName);
    m_model.mediaFolder = timelineMediaFolder(m_in);
    m_model.takeName = lastPathComponent(m_model.mediaFolder);
    // A rate no timeline can describe (0, absurdly high) is laid out at 30.
    const double usable = Timecode::usableFrameRate(m_in.frameRate.toDouble());
    m_model.rate = m_in.frameRate.isValid() && usable == m_in.frameRate.toDouble() ? m_in.frameRate : frameRateFraction(usable);
    m_model.width = m_in.width;
    m_model.height = m_in.height;
    m_model.sampleRate = m_in.audioSampleRate > 0 ? m_in.audioSampleRate : AudioFormat::kSampleRate;
    // Rounded to the nearest frame; a take too short for one frame still gets one second.
    const qint64 scaled = clampMs(m_in.durationMs) * m_model.rate.numerator;
    const qint64 perFrame = qint64(m_model.rate.denominator) * 1000;
    m_model.durationFrames = scaled > 0 ? (scaled + perFrame / 2) / perFrame : 0;
    if (m_model.durationFrames <= 0)
        m_model.durationFrames = m_model.timebase();

    // The string and the frame number must name the same instant: a reader may take either.
    const std::optional<qint64> frame = Timecode::frameCount(m_in.startTimecode, m_model.timebase(), m_model.isNtsc());
    m_model.startTimecodeText = frame ? m_in.startTimecode : QStringLiteral("00:00:00:00");
    m_model.startTimecodeFrame = frame.value_or(0);
    m_model.isDropFrame = Timecode::isDropFrame(m_model.startTimecodeText);

    addCameras();
    addAudioTracks();
    buildProgramme();

    const QString sequenceName = m_model.projectName + QLatin1Char(' ') + m_model.takeName;
    TimelineSequence &cut = m_model.programmeCut;
    cut.layout = TimelineLayout::ProgrammeCut;
    cut.name = sequenceName;
    const QList<int> &cutCameras = m_cameras.isEmpty() ? m_standIns : m_cameras;
    for (qsizetype i = 0; i < cutCameras.size(); ++i)
        cut.video.append(i == 0 ? wholeTakeTrack(cutCameras.at(i)) : switchTrack(cutCameras.at(i)));
    cut.audio = m_audio;
    linkTracks(cut);

    TimelineSequence &angles = m_model.allAngles;
    angles.layout = TimelineLayout::AllAngles;
    angles.name = sequenceName + QStringLiteral(" All Angles");
    for (int media : m_cameras)
        angles.video.append(wholeTakeTrack(media));
    TimelineTrack programme;
    programme.role = TimelineTrack::Role::Programme;
    programme.name = QStringLiteral("Programme");
    programme.clips = m_model.programme;
    angles.video.append(programme);
    angles.audio = m_audio;
    linkTracks(angles);

    placeMarkers();
    return m_model;
}

} // namespace

qint64 timelineFrameAt(qint64 ms, const FrameRate &rate, qint64 durationFrames)
{
    // Integer arithmetic, truncated toward zero: exact for 30000/1001 where a double of 29.97
    // is not.
    const qint64 frame = clampMs(ms) * rate.numerator / (qint64(rate.denominator) * 1000);
    return std::clamp<qint64>(frame, 0, durationFrames);
}

TimelineModel buildTimelineModel(const TimelineExportInput &input)
{
    return Builder(input).build();
}
