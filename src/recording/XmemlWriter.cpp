#include "recording/XmemlWriter.h"

#include "recording/TimelineExport.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// Every exported sequence uses this rate when the job's rate cannot describe one (0, negative,
// not a number): timebase and frame counts then agree instead of a 30 fps timebase over clip
// ranges computed at 0 fps.
constexpr double fallbackFrameRate = 30.0;

double usableFrameRate(double fps)
{
    if (!std::isfinite(fps) || fps < 0.5 || fps > 1000.0)
        return fallbackFrameRate;
    return fps;
}

// 23.976, 29.97 and 59.94 are flagged NTSC, which tells the editor that timebase 30 means
// 30000/1001. The whole rates beside them (24, 30, 60) are not: media recorded at exactly
// 30 fps declared as 29.97 would drift by 3.6 s an hour against its own timebase.
bool isNtscRate(double fps)
{
    static constexpr struct { double ntsc; double whole; } rates[] = {
        {23.976, 24.0}, {29.97, 30.0}, {59.94, 60.0}};
    for (const auto &r : rates) {
        const double offset = std::abs(fps - r.ntsc);
        if (offset < 0.05 && offset < std::abs(fps - r.whole))
            return true;
    }
    return false;
}

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
    return absolutePath.mid(absolutePath.lastIndexOf(QLatin1Char('/')) + 1);
}

class DocumentWriter
{
public:
    explicit DocumentWriter(const TimelineExportJob &job);
    QByteArray document();

private:
    // A clip item of a cut: cutIndex is the cut's position in the whole log, k its position
    // on its track.
    struct CutClip
    {
        qsizetype cutIndex = 0;
        int k = 0;
        qint64 start = 0;
        qint64 end = 0;
    };

    void line(int tabs, const QString &text);
    void element(int tabs, const char *name, const QString &content);
    void element(int tabs, const char *name, qint64 value);
    void rate(int tabs);
    // The picture's size and shape; the sequence's own format also states its colour depth.
    void videoSampleCharacteristics(int tabs, bool withColorDepth);
    void link(const QString &clipRef, const char *mediaType, qint64 trackIndex, qint64 clipIndex);

    void videoTrack(int v, const TimelineVideoClip &clip);
    void videoClipItem(int v, const TimelineVideoClip &clip, const CutClip *cut);
    void videoFileElement(const TimelineVideoClip &clip);
    void audioTrack(qsizetype audioIndex); // -1: the master
    // One clip item of an audio track: a file placed from start to end on the sequence.
    void audioClipItem(const QString &clipId, const QString &fileId, const QString &name,
                       const QString &path, qint64 start, qint64 end, qsizetype linksOf);
    // Sequence frames at which each part of a track begins, from the parts' sample frames.
    QList<qint64> partStarts(const QList<TimelineAudioPart> &parts) const;

    QList<CutClip> cutClipsOf(int channelId) const;
    qint64 frameAt(qint64 ms) const;
    // The take's video extension, ".mp4" when the job names none.
    QString videoExtension() const
    {
        return m_job.videoFileExtension.isEmpty() ? QStringLiteral(".mp4") : m_job.videoFileExtension;
    }

    const TimelineExportJob &m_job;
    const double m_rate;
    const qint64 m_timebase;
    const QString m_ntsc;
    qint64 m_duration = 0;
    QList<TimelineVideoClip> m_tracks;     // video track v is m_tracks[v - 1]
    std::map<int, qsizetype> m_cameraToAudio; // camera channel id → audio clip index
    QSet<QString> m_writtenClipNames;      // clips whose full file element is written
    QString m_text;
};

DocumentWriter::DocumentWriter(const TimelineExportJob &job)
    : m_job(job)
    , m_rate(usableFrameRate(job.frameRate))
    , m_timebase(std::llround(m_rate))
    , m_ntsc(QLatin1String(isNtscRate(m_rate) ? "TRUE" : "FALSE"))
{
    // Bounded so a nonsense duration cannot overflow the conversion; 10^15 frames are
    // more than a million years at 30 fps.
    const double frames = std::round(double(job.durationMs) * m_rate / 1000.0);
    m_duration = frames > 0 ? qint64(std::min(frames, 1e15)) : 0;
    if (m_duration <= 0)
        m_duration = m_timebase;

    m_tracks = job.videoClips;
    if (m_tracks.isEmpty()) {
        // A take without any video file (every camera failed or none ran) still shows its
        // switch decisions: one offline placeholder per camera switched to, each with a name
        // and a file of its own in the take folder.
        QList<int> seen;
        for (const TimelineCut &cut : job.cuts) {
            if (!seen.contains(cut.channelId))
                seen.append(cut.channelId);
        }
        if (seen.isEmpty())
            seen.append(1);
        for (int channelId : seen) {
            const QString name = QStringLiteral("Camera_CH%1").arg(channelId);
            m_tracks.append({channelId, name, job.mediaFolder + QLatin1Char('/') + name
                                                  + videoExtension()});
        }
    }
    std::stable_sort(m_tracks.begin(), m_tracks.end(),
                     [](const TimelineVideoClip &a, const TimelineVideoClip &b) {
                         return a.channelId < b.channelId;
                     });

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

qint64 DocumentWriter::frameAt(qint64 ms) const
{
    // Truncated toward zero, then kept inside the sequence: a cut logged after the given
    // duration (an export with a shorter duration than the take) yields no clip beyond the
    // media's end.
    const double frame = std::trunc(m_rate * double(ms) / 1000.0);
    return qint64(std::clamp(frame, 0.0, double(m_duration)));
}

QList<DocumentWriter::CutClip> DocumentWriter::cutClipsOf(int channelId) const
{
    QList<CutClip> clips;
    const QList<TimelineCut> &cuts = m_job.cuts;
    for (qsizetype c = 0; c < cuts.size(); ++c) {
        if (cuts.at(c).channelId != channelId)
            continue;
        const qint64 start = frameAt(cuts.at(c).timeMs);
        const qint64 end = frameAt(c + 1 < cuts.size() ? cuts.at(c + 1).timeMs : m_job.durationMs);
        if (end > start) // shorter than one frame: no clip, k does not advance
            clips.append({c, int(clips.size()), start, end});
    }
    return clips;
}

QByteArray DocumentWriter::document()
{
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
    element(4, "uuid", QStringLiteral("1b0182ac-ed5c-4726-827d-374d3563326b"));
    element(4, "duration", m_duration);
    rate(4);
    element(4, "name", xmlText(m_job.sequenceName));
    line(4, QStringLiteral("<media>"));

    line(5, QStringLiteral("<video>"));
    line(6, QStringLiteral("<format>"));
    videoSampleCharacteristics(7, true);
    line(6, QStringLiteral("</format>"));
    for (qsizetype i = 0; i < m_tracks.size(); ++i)
        videoTrack(int(i + 1), m_tracks.at(i));
    line(5, QStringLiteral("</video>"));

    line(5, QStringLiteral("<audio>"));
    element(6, "numOutputChannels", QStringLiteral("2"));
    line(6, QStringLiteral("<format>"));
    line(7, QStringLiteral("<samplecharacteristics>"));
    element(8, "depth", QStringLiteral("16"));
    element(8, "samplerate", QStringLiteral("48000"));
    line(7, QStringLiteral("</samplecharacteristics>"));
    line(6, QStringLiteral("</format>"));
    audioTrack(-1);
    for (qsizetype i = 0; i < m_job.audioClips.size(); ++i)
        audioTrack(i);
    line(5, QStringLiteral("</audio>"));

    line(4, QStringLiteral("</media>"));
    line(3, QStringLiteral("</sequence>"));
    line(2, QStringLiteral("</children>"));
    line(1, QStringLiteral("</project>"));
    line(0, QStringLiteral("</xmeml>"));
    return m_text.toUtf8();
}

void DocumentWriter::videoTrack(int v, const TimelineVideoClip &clip)
{
    line(6, QStringLiteral("<track TL.SQTrackShy=\"0\" TL.SQTrackExpandedHeight=\"41\" "
                           "TL.SQTrackExpanded=\"0\" MZ.TrackTargeted=\"%1\">")
                .arg(v == 1 ? 1 : 0));
    // The base track holds the first camera for the whole take; every other camera appears
    // on its own track above it only where the operator switched to it.
    if (v == 1) {
        videoClipItem(v, clip, nullptr);
    } else {
        const QList<CutClip> cuts = cutClipsOf(clip.channelId);
        for (const CutClip &cut : cuts)
            videoClipItem(v, clip, &cut);
    }
    element(7, "enabled", QStringLiteral("TRUE"));
    element(7, "locked", QStringLiteral("FALSE"));
    line(6, QStringLiteral("</track>"));
}

void DocumentWriter::videoClipItem(int v, const TimelineVideoClip &clip, const CutClip *cut)
{
    const QString path = timelineAbsolutePath(clip.filePath);
    QString file = fileNamePart(path);
    if (file.isEmpty())
        file = clip.clipName + videoExtension();
    const QString itemId = cut ? QStringLiteral("clipitem-v%1-%2").arg(v).arg(cut->k)
                               : QStringLiteral("clipitem-v1-base");

    line(7, QStringLiteral("<clipitem id=\"%1\">").arg(itemId));
    element(8, "masterclipid", QLatin1String("masterclip-") + idForm(clip.clipName));
    element(8, "name", xmlText(cut ? QStringLiteral("Cut %1 - %2").arg(cut->cutIndex + 1).arg(file)
                                   : file));
    element(8, "enabled", QStringLiteral("TRUE"));
    element(8, "duration", m_duration);
    rate(8);
    element(8, "start", cut ? cut->start : 0);
    element(8, "end", cut ? cut->end : m_duration);
    element(8, "in", cut ? cut->start : 0);
    element(8, "out", cut ? cut->end : m_duration);
    element(8, "alphatype", QStringLiteral("none"));
    element(8, "pixelaspectratio", QStringLiteral("square"));
    element(8, "anamorphic", QStringLiteral("FALSE"));
    videoFileElement(clip);
    line(8, QStringLiteral("<logginginfo>"));
    element(9, "description", QString());
    element(9, "scene", QString());
    element(9, "shottake", QString());
    element(9, "lognote", QString());
    line(8, QStringLiteral("</logginginfo>"));
    const auto audio = m_cameraToAudio.find(clip.channelId);
    if (audio != m_cameraToAudio.end()) {
        link(itemId, "video", v, cut ? cut->k + 1 : 1);
        link(QStringLiteral("channel-audio-%1").arg(audio->second + 1), "audio",
             audio->second + 2, 1);
    }
    line(7, QStringLiteral("</clipitem>"));
}

void DocumentWriter::videoFileElement(const TimelineVideoClip &clip)
{
    const QString fileId = QLatin1String("file-") + idForm(clip.clipName);
    if (m_writtenClipNames.contains(clip.clipName)) {
        line(8, QStringLiteral("<file id=\"%1\"/>").arg(fileId));
        return;
    }
    m_writtenClipNames.insert(clip.clipName);

    const QString path = timelineAbsolutePath(clip.filePath);
    QString file = fileNamePart(path);
    if (file.isEmpty())
        file = clip.clipName + videoExtension();
    line(8, QStringLiteral("<file id=\"%1\">").arg(fileId));
    element(9, "name", xmlText(file));
    element(9, "pathurl", xmlText(timelineFileUrl(path)));
    rate(9);
    element(9, "duration", m_duration);
    line(9, QStringLiteral("<timecode>"));
    rate(10);
    element(10, "string", xmlText(m_job.startTimecode));
    element(10, "frame", QStringLiteral("0"));
    element(10, "displayformat", QStringLiteral("NDF"));
    line(9, QStringLiteral("</timecode>"));
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
        audioClipItem(clipId, fileId, name, path, 0, m_duration, audioIndex);
    } else {
        // A track that went on in parts: each part right after the one before; the first
        // keeps the track's ids and links.
        const QList<qint64> starts = partStarts(parts->second);
        for (qsizetype k = 0; k < parts->second.size(); ++k) {
            const qint64 end = k + 1 < starts.size() ? starts.at(k + 1) : m_duration;
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
    const double sampleRate = m_job.audioSampleRate > 0 ? m_job.audioSampleRate : 48000;
    qint64 frames = 0;
    for (const TimelineAudioPart &part : parts) {
        starts.append(std::min(m_duration, qint64(std::llround(double(frames) * m_rate / sampleRate))));
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

    if (linksOf >= 0) {
        const auto camera = m_job.audioToCamera.find(m_job.audioClips.at(linksOf).channelId);
        const auto track = camera == m_job.audioToCamera.end()
                               ? m_tracks.cend()
                               : std::find_if(m_tracks.cbegin(), m_tracks.cend(),
                                              [&](const TimelineVideoClip &clip) {
                                                  return clip.channelId == camera->second;
                                              });
        if (track != m_tracks.cend()) {
            const int j = int(track - m_tracks.cbegin()) + 1;
            const qint64 audioTrackIndex = linksOf + 2;
            if (j == 1) {
                link(QStringLiteral("clipitem-v1-base"), "video", 1, 1);
                link(clipId, "audio", audioTrackIndex, 1);
            } else {
                const QList<CutClip> cuts = cutClipsOf(track->channelId);
                for (const CutClip &cut : cuts) {
                    link(QStringLiteral("clipitem-v%1-%2").arg(j).arg(cut.k), "video", j,
                         cut.k + 1);
                    link(clipId, "audio", audioTrackIndex, 1);
                }
            }
        }
    }
    line(7, QStringLiteral("</clipitem>"));
}

} // namespace

QByteArray writeXmemlDocument(const TimelineExportJob &job)
{
    return DocumentWriter(job).document();
}
