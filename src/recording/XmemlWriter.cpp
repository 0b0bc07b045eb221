#include "recording/XmemlWriter.h"

#include "common/AudioFormat.h"
#include "recording/Timecode.h"
#include "recording/TimelinePaths.h"
#include "recording/XmemlVideoLayout.h"

#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

// The programme cut's sequence keeps the one identifier it always had; an all-angles sequence
// gets one of its own, derived from the take's names, so an editor that imports both keeps
// them apart and a second export of the same take names the same sequence.
const QUuid programmeCutUuid(QStringLiteral("1b0182ac-ed5c-4726-827d-374d3563326b"));

// Element content. Markup characters are escaped so a session called "Tom & Jerry" still
// imports; characters XML 1.0 cannot carry even escaped (control characters other than tab,
// line feed and carriage return, lone surrogates, U+FFFE, U+FFFF) become U+FFFD.
QString xmlText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        if (c.isSurrogate() || (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            || u == 0xFFFE || u == 0xFFFF) {
            out += QChar(0xFFFD);
            continue;
        }
        switch (u) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

// The form of a clip name used in ids and masterclipid values.
QString idForm(const QString &name)
{
    return xmlText(name).replace(QLatin1Char(' '), QLatin1Char('_'));
}

QString fileNamePart(const QString &absolutePath)
{
    return lastPathComponent(absolutePath);
}

class DocumentWriter
{
public:
    DocumentWriter(const TimelineExportJob &job, TimelineLayout layout);
    QByteArray document();

private:
    void line(int tabs, const QString &text);
    void element(int tabs, const char *name, const QString &content);
    void element(int tabs, const char *name, qint64 value);
    void rate(int tabs);
    // The take's start timecode: the label of frame 0 of every file and of the sequence.
    // The timecode element of the sequence, or of a file beginning offsetFrames into it.
    void timecode(int tabs, qint64 offsetFrames = 0);
    // The picture's size and shape; the sequence's own format also states its colour depth.
    void videoSampleCharacteristics(int tabs, bool withColorDepth);
    void link(const QString &clipRef, const char *mediaType, qint64 trackIndex, qint64 clipIndex);

    void videoTrack(int v);
    void videoClipItem(int v, qsizetype k, const PlacedVideoClip &clip);
    void videoFileElement(const TimelineVideoClip &camera);
    QString cameraFileName(const TimelineVideoClip &camera) const;
    void audioTrack(qsizetype audioIndex); // -1: the master
    // One clip item of an audio track: a file placed from start to end on the sequence.
    void audioClipItem(const QString &clipId, const QString &fileId, const QString &name,
                       const QString &path, qint64 start, qint64 end, qsizetype linksOf);
    // Sequence frames at which each part of a track begins, from the parts' sample frames.
    QList<qint64> partStarts(const QList<TimelineAudioPart> &parts) const;

    const TimelineExportJob &m_job;
    const TimelineLayout m_layout;
    const double m_rate;
    const qint64 m_timebase;
    const QString m_ntsc;
    SequenceFrames m_frames;
    VideoLayout m_video;
    QString m_timecodeText;  // the start timecode, or 00:00:00:00 when it is no timecode
    qint64 m_timecodeFrame = 0;
    std::map<int, qsizetype> m_cameraToAudio; // camera channel id → audio clip index
    QSet<QString> m_writtenClipNames;         // cameras whose full file element is written
    QString m_text;
};

DocumentWriter::DocumentWriter(const TimelineExportJob &job, TimelineLayout layout)
    : m_job(job)
    , m_layout(layout)
    , m_rate(Timecode::usableFrameRate(job.frameRate))
    , m_timebase(Timecode::timebase(job.frameRate))
    , m_ntsc(QLatin1String(Timecode::isNtscRate(job.frameRate) ? "TRUE" : "FALSE"))
{
    // Bounded so a nonsense duration cannot overflow the conversion; 10^15 frames are
    // more than a million years at 30 fps.
    const double frames = std::round(double(job.durationMs) * m_rate / 1000.0);
    m_frames.rate = m_rate;
    m_frames.durationMs = job.durationMs;
    m_frames.durationFrames = frames > 0 ? qint64(std::min(frames, 1e15)) : 0;
    if (m_frames.durationFrames <= 0)
        m_frames.durationFrames = m_timebase;
    m_video = layOutVideo(job, layout, m_frames);

    // The string and the frame number must name the same instant: a reader may take either.
    const std::optional<qint64> frame
        = Timecode::frameCount(job.startTimecode, int(m_timebase), Timecode::isNtscRate(job.frameRate));
    m_timecodeText = frame ? job.startTimecode : QStringLiteral("00:00:00:00");
    m_timecodeFrame = frame.value_or(0);

    for (qsizetype i = 0; i < job.audioClips.size(); ++i) {
        const auto link = job.audioToCamera.find(job.audioClips.at(i).channelId);
        if (link != job.audioToCamera.end())
            m_cameraToAudio[link->second] = i; // a later audio clip wins
    }
}

void DocumentWriter::line(int tabs, const QString &text)
{
    m_text += QString(tabs, QLatin1Char('\t'));
    m_text += text;
    m_text += QLatin1Char('\n');
}

void DocumentWriter::element(int tabs, const char *name, const QString &content)
{
    const QString tag = QLatin1String(name);
    line(tabs, QLatin1Char('<') + tag + QLatin1Char('>') + content + QLatin1String("</") + tag
                   + QLatin1Char('>'));
}

void DocumentWriter::element(int tabs, const char *name, qint64 value)
{
    element(tabs, name, QString::number(value));
}

void DocumentWriter::rate(int tabs)
{
    line(tabs, QStringLiteral("<rate>"));
    element(tabs + 1, "timebase", m_timebase);
    element(tabs + 1, "ntsc", m_ntsc);
    line(tabs, QStringLiteral("</rate>"));
}

void DocumentWriter::timecode(int tabs, qint64 offsetFrames)
{
    // A file that begins later than the take carries the timecode of its own first frame.
    const bool dropFrame = Timecode::isDropFrame(m_timecodeText);
    const QString text = offsetFrames > 0 ? Timecode::text(m_timecodeFrame + offsetFrames, int(m_timebase), dropFrame)
                                          : m_timecodeText;
    line(tabs, QStringLiteral("<timecode>"));
    rate(tabs + 1);
    element(tabs + 1, "string", xmlText(text));
    element(tabs + 1, "frame", m_timecodeFrame + offsetFrames);
    element(tabs + 1, "displayformat",
            QLatin1String(Timecode::isDropFrame(m_timecodeText) ? "DF" : "NDF"));
    line(tabs, QStringLiteral("</timecode>"));
}

void DocumentWriter::videoSampleCharacteristics(int tabs, bool withColorDepth)
{
    line(tabs, QStringLiteral("<samplecharacteristics>"));
    rate(tabs + 1);
    element(tabs + 1, "width", m_job.width);
    element(tabs + 1, "height", m_job.height);
    element(tabs + 1, "anamorphic", QStringLiteral("FALSE"));
    element(tabs + 1, "pixelaspectratio", QStringLiteral("square"));
    element(tabs + 1, "fielddominance", QStringLiteral("none"));
    if (withColorDepth)
        element(tabs + 1, "colordepth", QStringLiteral("24"));
    line(tabs, QStringLiteral("</samplecharacteristics>"));
}

void DocumentWriter::link(const QString &clipRef, const char *mediaType, qint64 trackIndex,
                          qint64 clipIndex)
{
    line(8, QStringLiteral("<link>"));
    element(9, "linkclipref", clipRef);
    element(9, "mediatype", QLatin1String(mediaType));
    element(9, "trackindex", trackIndex);
    element(9, "clipindex", clipIndex);
    line(8, QStringLiteral("</link>"));
}

QByteArray DocumentWriter::document()
{
    const bool allAngles = m_layout == TimelineLayout::AllAngles;
    const QUuid uuid = allAngles ? QUuid::createUuidV5(programmeCutUuid, m_job.sequenceName + m_job.mediaFolder)
                                 : programmeCutUuid;
    line(0, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    line(0, QStringLiteral("<!DOCTYPE xmeml>"));
    line(0, QStringLiteral("<xmeml version=\"4\">"));
    line(1, QStringLiteral("<project>"));
    element(2, "name", xmlText(m_job.projectName));
    line(2, QStringLiteral("<children>"));
    line(3, QStringLiteral("<sequence id=\"sequence-1\" TL.SQAudioVisibleBase=\"0\" "
                           "TL.SQVideoVisibleBase=\"0\" TL.SQVisibleBaseTime=\"0\" "
                           "TL.SQAVDividerPosition=\"0.5\" TL.SQHideShyTracks=\"0\" "
                           "TL.SQHeaderWidth=\"204\" MZ.Sequence.VideoTimeDisplayFormat=\"101\" "
                           "explodedTracks=\"true\">"));
    element(4, "uuid", uuid.toString(QUuid::WithoutBraces));
    element(4, "duration", m_frames.durationFrames);
    rate(4);
    element(4, "name", xmlText(allAngles ? m_job.sequenceName + QLatin1String(" All Angles") : m_job.sequenceName));
    line(4, QStringLiteral("<media>"));

    line(5, QStringLiteral("<video>"));
    line(6, QStringLiteral("<format>"));
    videoSampleCharacteristics(7, true);
    line(6, QStringLiteral("</format>"));
    for (qsizetype i = 0; i < m_video.tracks.size(); ++i)
        videoTrack(int(i + 1));
    line(5, QStringLiteral("</video>"));

    line(5, QStringLiteral("<audio>"));
    element(6, "numOutputChannels", QStringLiteral("2"));
    line(6, QStringLiteral("<format>"));
    line(7, QStringLiteral("<samplecharacteristics>"));
    element(8, "depth", QStringLiteral("16"));
    element(8, "samplerate", QString::number(AudioFormat::kSampleRate));
    line(7, QStringLiteral("</samplecharacteristics>"));
    line(6, QStringLiteral("</format>"));
    audioTrack(-1);
    for (qsizetype i = 0; i < m_job.audioClips.size(); ++i)
        audioTrack(i);
    line(5, QStringLiteral("</audio>"));

    line(4, QStringLiteral("</media>"));
    // The sequence's ruler starts at the take's timecode, as the files' timecode tracks do.
    timecode(4);
    line(3, QStringLiteral("</sequence>"));
    line(2, QStringLiteral("</children>"));
    line(1, QStringLiteral("</project>"));
    line(0, QStringLiteral("</xmeml>"));
    return m_text.toUtf8();
}

void DocumentWriter::videoTrack(int v)
{
    line(6, QStringLiteral("<track TL.SQTrackShy=\"0\" TL.SQTrackExpandedHeight=\"41\" "
                           "TL.SQTrackExpanded=\"0\" MZ.TrackTargeted=\"%1\">")
                .arg(v == 1 ? 1 : 0));
    const PlacedVideoTrack &track = m_video.tracks.at(v - 1);
    for (qsizetype k = 0; k < track.clips.size(); ++k)
        videoClipItem(v, k, track.clips.at(k));
    element(7, "enabled", QStringLiteral("TRUE"));
    element(7, "locked", QStringLiteral("FALSE"));
    line(6, QStringLiteral("</track>"));
}

QString DocumentWriter::cameraFileName(const TimelineVideoClip &camera) const
{
    const QString file = fileNamePart(timelineAbsolutePath(camera.filePath));
    if (!file.isEmpty())
        return file;
    return camera.clipName + (m_job.videoFileExtension.isEmpty() ? QStringLiteral(".mp4") : m_job.videoFileExtension);
}

void DocumentWriter::videoClipItem(int v, qsizetype k, const PlacedVideoClip &clip)
{
    const TimelineVideoClip &camera = m_video.cameras.at(clip.camera);
    const QString file = cameraFileName(camera);
    line(7, QStringLiteral("<clipitem id=\"%1\">").arg(clip.itemId));
    element(8, "masterclipid", QLatin1String("masterclip-") + idForm(camera.clipName));
    element(8, "name", xmlText(clip.cutNumber > 0 ? QStringLiteral("Cut %1 - %2").arg(clip.cutNumber).arg(file) : file));
    element(8, "enabled", QStringLiteral("TRUE"));
    element(8, "duration", m_frames.durationFrames - camera.startFrame);
    rate(8);
    element(8, "start", clip.start);
    element(8, "end", clip.end);
    element(8, "in", clip.start - camera.startFrame);
    element(8, "out", clip.end - camera.startFrame);
    element(8, "alphatype", QStringLiteral("none"));
    element(8, "pixelaspectratio", QStringLiteral("square"));
    element(8, "anamorphic", QStringLiteral("FALSE"));
    videoFileElement(camera);
    line(8, QStringLiteral("<logginginfo>"));
    element(9, "description", QString());
    element(9, "scene", QString());
    element(9, "shottake", QString());
    element(9, "lognote", QString());
    line(8, QStringLiteral("</logginginfo>"));
    const int linkChannel = m_video.tracks.at(v - 1).linkChannel;
    const auto audio = linkChannel > 0 ? m_cameraToAudio.find(linkChannel) : m_cameraToAudio.end();
    if (audio != m_cameraToAudio.end()) {
        link(clip.itemId, "video", v, k + 1);
        link(QStringLiteral("channel-audio-%1").arg(audio->second + 1), "audio", audio->second + 2, 1);
    }
    line(7, QStringLiteral("</clipitem>"));
}

void DocumentWriter::videoFileElement(const TimelineVideoClip &camera)
{
    // Defined in full where the camera first appears, referenced by its id afterwards.
    const QString fileId = QLatin1String("file-") + idForm(camera.clipName);
    if (m_writtenClipNames.contains(camera.clipName)) {
        line(8, QStringLiteral("<file id=\"%1\"/>").arg(fileId));
        return;
    }
    m_writtenClipNames.insert(camera.clipName);

    line(8, QStringLiteral("<file id=\"%1\">").arg(fileId));
    element(9, "name", xmlText(cameraFileName(camera)));
    element(9, "pathurl", xmlText(timelineFileUrl(timelineAbsolutePath(camera.filePath))));
    rate(9);
    element(9, "duration", m_frames.durationFrames - camera.startFrame);
    timecode(9, camera.startFrame);
    line(9, QStringLiteral("<media>"));
    line(10, QStringLiteral("<video>"));
    videoSampleCharacteristics(11, false);
    line(10, QStringLiteral("</video>"));
    line(9, QStringLiteral("</media>"));
    line(8, QStringLiteral("</file>"));
}

void DocumentWriter::audioTrack(qsizetype audioIndex)
{
    const bool isMaster = audioIndex < 0;
    QString path;
    QString name;
    if (isMaster) {
        name = fileNamePart(timelineAbsolutePath(m_job.masterAudioPath));
        if (name.isEmpty())
            name = QStringLiteral("MASTER_AUDIO.wav");
        // Without a master path the clip still points at a file in the take folder, never
        // at the root of the disk.
        path = m_job.masterAudioPath.isEmpty() ? m_job.mediaFolder + QLatin1Char('/') + name
                                               : m_job.masterAudioPath;
    } else {
        path = m_job.audioClips.at(audioIndex).filePath;
        name = fileNamePart(timelineAbsolutePath(path));
    }
    const QString clipId = isMaster ? QStringLiteral("master-audio-1")
                                    : QStringLiteral("channel-audio-%1").arg(audioIndex + 1);
    const QString fileId = isMaster ? QStringLiteral("file-master-audio")
                                    : QStringLiteral("file-channel-audio-%1").arg(audioIndex + 1);

    line(6, QStringLiteral("<track TL.SQTrackAudioKeyframeStyle=\"0\" TL.SQTrackShy=\"0\" "
                           "TL.SQTrackExpandedHeight=\"41\" TL.SQTrackExpanded=\"0\" "
                           "MZ.TrackTargeted=\"1\" premiereTrackType=\"Stereo\">"));
    const auto parts = m_job.audioParts.find(path);
    if (parts == m_job.audioParts.end() || parts->second.size() < 2) {
        audioClipItem(clipId, fileId, name, path, 0, m_frames.durationFrames, audioIndex);
    } else {
        // A track that went on in parts: each part right after the one before; the first
        // keeps the track's ids and links.
        const QList<qint64> starts = partStarts(parts->second);
        for (qsizetype k = 0; k < parts->second.size(); ++k) {
            const qint64 end = k + 1 < starts.size() ? starts.at(k + 1) : m_frames.durationFrames;
            const QString suffix = k == 0 ? QString() : QStringLiteral("-part%1").arg(k + 1);
            const QString &partPath = parts->second.at(k).filePath;
            audioClipItem(clipId + suffix, fileId + suffix, fileNamePart(timelineAbsolutePath(partPath)),
                          partPath, starts.at(k), end, k == 0 ? audioIndex : -1);
        }
    }
    element(7, "enabled", QStringLiteral("TRUE"));
    element(7, "locked", QStringLiteral("FALSE"));
    element(7, "outputchannelindex", QStringLiteral("1"));
    line(6, QStringLiteral("</track>"));
}

QList<qint64> DocumentWriter::partStarts(const QList<TimelineAudioPart> &parts) const
{
    QList<qint64> starts;
    const double sampleRate = m_job.audioSampleRate > 0 ? m_job.audioSampleRate : AudioFormat::kSampleRate;
    qint64 frames = 0;
    for (const TimelineAudioPart &part : parts) {
        starts.append(std::min(m_frames.durationFrames, qint64(std::llround(double(frames) * m_rate / sampleRate))));
        frames += part.frames;
    }
    return starts;
}

void DocumentWriter::audioClipItem(const QString &clipId, const QString &fileId, const QString &name,
                                   const QString &path, qint64 start, qint64 end, qsizetype linksOf)
{
    const qint64 length = std::max<qint64>(0, end - start);
    line(7, QStringLiteral("<clipitem id=\"%1\">").arg(clipId));
    element(8, "name", xmlText(name));
    rate(8);
    line(8, QStringLiteral("<file id=\"%1\">").arg(fileId));
    element(9, "name", xmlText(name));
    element(9, "pathurl", xmlText(timelineFileUrl(timelineAbsolutePath(path))));
    rate(9);
    element(9, "duration", length);
    line(8, QStringLiteral("</file>"));
    element(8, "in", qint64(0));
    element(8, "out", length);
    element(8, "start", start);
    element(8, "end", end);

    // The clips of the linked camera's own track (the first track of that camera) link here.
    const auto camera = linksOf >= 0 ? m_job.audioToCamera.find(m_job.audioClips.at(linksOf).channelId)
                                     : m_job.audioToCamera.end();
    if (camera != m_job.audioToCamera.end()) {
        const auto track = std::find_if(m_video.tracks.cbegin(), m_video.tracks.cend(),
                                        [&](const PlacedVideoTrack &t) { return t.linkChannel == camera->second; });
        if (track != m_video.tracks.cend()) {
            const int j = int(track - m_video.tracks.cbegin()) + 1;
            for (qsizetype k = 0; k < track->clips.size(); ++k) {
                link(track->clips.at(k).itemId, "video", j, k + 1);
                link(clipId, "audio", linksOf + 2, 1);
            }
        }
    }
    line(7, QStringLiteral("</clipitem>"));
}

} // namespace

QByteArray writeXmemlDocument(const TimelineExportJob &job, TimelineLayout layout)
{
    return DocumentWriter(job, layout).document();
}
