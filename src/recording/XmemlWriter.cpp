#include "recording/XmemlWriter.h"

#include "recording/TimelinePaths.h"
#include "recording/XmlText.h"

#include <QSet>
#include <QUuid>

namespace {

// The programme cut's sequence keeps the one identifier it always had; an all-angles sequence
// gets one of its own, derived from the take's names, so an editor that imports both keeps
// them apart and a second export of the same take names the same sequence.
const QUuid programmeCutUuid(QStringLiteral("1b0182ac-ed5c-4726-827d-374d3563326b"));

// The form of a clip name used in ids and masterclipid values.
QString idForm(const QString &name)
{
    return xmlText(name).replace(QLatin1Char(' '), QLatin1Char('_'));
}

class DocumentWriter
{
public:
    DocumentWriter(const TimelineModel &model, TimelineLayout layout)
        : m_model(model)
        , m_sequence(model.sequence(layout))
        , m_ntsc(QLatin1String(model.isNtsc() ? "TRUE" : "FALSE"))
    {
    }
    QByteArray document();

private:
    void line(int tabs, const QString &text);
    void element(int tabs, const char *name, const QString &content);
    void element(int tabs, const char *name, qint64 value);
    void rate(int tabs);
    // A timecode: the label of a file's (or the sequence's) first frame.
    void timecode(int tabs, const QString &text, qint64 frame);
    // The picture's size and shape; the sequence's own format also states its colour depth.
    void videoSampleCharacteristics(int tabs, bool withColorDepth, int width, int height);
    void link(const QString &clipRef, const char *mediaType, qint64 trackIndex, qint64 clipIndex);

    QString videoClipId(int v, qsizetype k) const;
    void videoTrack(int v);
    void videoClipItem(int v, qsizetype k, const TimelineClip &clip);
    void videoFileElement(const TimelineMedia &media);
    void audioTrack(int a);
    void audioClipItem(int a, qsizetype k, const TimelineClip &clip);
    void marker(const TimelineMarkerPlacement &placed);

    const TimelineModel &m_model;
    const TimelineSequence &m_sequence;
    const QString m_ntsc;
    QSet<QString> m_writtenClipNames; // cameras whose full file element is written
    QString m_text;
};

void DocumentWriter::line(int tabs, const QString &text)
{
    m_text += QString(tabs, QLatin1Char('\t'));
    m_text += text;
    m_text += QLatin1Char('\n');
}

void DocumentWriter::element(int tabs, const char *name, const QString &content)
{
    const QString tag = QLatin1String(name);
    line(tabs, QLatin1Char('<') + tag + QLatin1Char('>') + content + QLatin1String("</") + tag + QLatin1Char('>'));
}

void DocumentWriter::element(int tabs, const char *name, qint64 value)
{
    element(tabs, name, QString::number(value));
}

void DocumentWriter::rate(int tabs)
{
    line(tabs, QStringLiteral("<rate>"));
    element(tabs + 1, "timebase", m_model.timebase());
    element(tabs + 1, "ntsc", m_ntsc);
    line(tabs, QStringLiteral("</rate>"));
}

void DocumentWriter::timecode(int tabs, const QString &text, qint64 frame)
{
    line(tabs, QStringLiteral("<timecode>"));
    rate(tabs + 1);
    element(tabs + 1, "string", xmlText(text));
    element(tabs + 1, "frame", frame);
    element(tabs + 1, "displayformat", QLatin1String(text.contains(QLatin1Char(';')) ? "DF" : "NDF"));
    line(tabs, QStringLiteral("</timecode>"));
}

void DocumentWriter::videoSampleCharacteristics(int tabs, bool withColorDepth, int width, int height)
{
    line(tabs, QStringLiteral("<samplecharacteristics>"));
    rate(tabs + 1);
    element(tabs + 1, "width", width);
    element(tabs + 1, "height", height);
    element(tabs + 1, "anamorphic", QStringLiteral("FALSE"));
    element(tabs + 1, "pixelaspectratio", QStringLiteral("square"));
    element(tabs + 1, "fielddominance", QStringLiteral("none"));
    if (withColorDepth)
        element(tabs + 1, "colordepth", QStringLiteral("24"));
    line(tabs, QStringLiteral("</samplecharacteristics>"));
}

void DocumentWriter::link(const QString &clipRef, const char *mediaType, qint64 trackIndex, qint64 clipIndex)
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
    const bool allAngles = m_sequence.layout == TimelineLayout::AllAngles;
    const QUuid uuid = allAngles ? QUuid::createUuidV5(programmeCutUuid, m_model.programmeCut.name + m_model.mediaFolder)
                                 : programmeCutUuid;
    line(0, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    line(0, QStringLiteral("<!DOCTYPE xmeml>"));
    line(0, QStringLiteral("<xmeml version=\"4\">"));
    line(1, QStringLiteral("<project>"));
    element(2, "name", xmlText(m_model.projectName));
    line(2, QStringLiteral("<children>"));
    line(3, QStringLiteral("<sequence id=\"sequence-1\" TL.SQAudioVisibleBase=\"0\" "
                           "TL.SQVideoVisibleBase=\"0\" TL.SQVisibleBaseTime=\"0\" "
                           "TL.SQAVDividerPosition=\"0.5\" TL.SQHideShyTracks=\"0\" "
                           "TL.SQHeaderWidth=\"204\" MZ.Sequence.VideoTimeDisplayFormat=\"101\" "
                           "explodedTracks=\"true\">"));
    element(4, "uuid", uuid.toString(QUuid::WithoutBraces));
    element(4, "duration", m_model.durationFrames);
    rate(4);
    element(4, "name", xmlText(m_sequence.name));
    line(4, QStringLiteral("<media>"));

    line(5, QStringLiteral("<video>"));
    line(6, QStringLiteral("<format>"));
    videoSampleCharacteristics(7, true, m_model.width, m_model.height);
    line(6, QStringLiteral("</format>"));
    for (qsizetype v = 0; v < m_sequence.video.size(); ++v)
        videoTrack(int(v + 1));
    line(5, QStringLiteral("</video>"));

    line(5, QStringLiteral("<audio>"));
    element(6, "numOutputChannels", QStringLiteral("2"));
    line(6, QStringLiteral("<format>"));
    line(7, QStringLiteral("<samplecharacteristics>"));
    element(8, "depth", QStringLiteral("16"));
    element(8, "samplerate", m_model.sampleRate);
    line(7, QStringLiteral("</samplecharacteristics>"));
    line(6, QStringLiteral("</format>"));
    for (qsizetype a = 0; a < m_sequence.audio.size(); ++a)
        audioTrack(int(a));
    line(5, QStringLiteral("</audio>"));

    line(4, QStringLiteral("</media>"));
    // The sequence's ruler starts at the take's timecode, as the files' timecode tracks do.
    timecode(4, m_model.startTimecodeText, m_model.startTimecodeFrame);
    for (const TimelineMarkerPlacement &placed : m_model.markers)
        marker(placed);
    line(3, QStringLiteral("</sequence>"));
    line(2, QStringLiteral("</children>"));
    line(1, QStringLiteral("</project>"));
    line(0, QStringLiteral("</xmeml>"));
    return m_text.toUtf8();
}

QString DocumentWriter::videoClipId(int v, qsizetype k) const
{
    const TimelineTrack &track = m_sequence.video.at(v - 1);
    if (track.role == TimelineTrack::Role::Camera)
        return m_sequence.layout == TimelineLayout::AllAngles ? QStringLiteral("clipitem-v%1-angle").arg(v)
                                                              : QStringLiteral("clipitem-v%1-base").arg(v);
    return QStringLiteral("clipitem-v%1-%2").arg(v).arg(k);
}

void DocumentWriter::videoTrack(int v)
{
    line(6, QStringLiteral("<track TL.SQTrackShy=\"0\" TL.SQTrackExpandedHeight=\"41\" "
                           "TL.SQTrackExpanded=\"0\" MZ.TrackTargeted=\"%1\">")
                .arg(v == 1 ? 1 : 0));
    const TimelineTrack &track = m_sequence.video.at(v - 1);
    for (qsizetype k = 0; k < track.clips.size(); ++k)
        videoClipItem(v, k, track.clips.at(k));
    element(7, "enabled", QStringLiteral("TRUE"));
    element(7, "locked", QStringLiteral("FALSE"));
    line(6, QStringLiteral("</track>"));
}

void DocumentWriter::videoClipItem(int v, qsizetype k, const TimelineClip &clip)
{
    const TimelineMedia &media = m_model.media.at(clip.media);
    const QString id = videoClipId(v, k);
    line(7, QStringLiteral("<clipitem id=\"%1\">").arg(id));
    element(8, "masterclipid", QLatin1String("masterclip-") + idForm(media.clipName));
    element(8, "name", xmlText(clip.cutNumber > 0 ? QStringLiteral("Cut %1 - %2").arg(clip.cutNumber).arg(media.fileName)
                                                  : media.fileName));
    element(8, "enabled", QStringLiteral("TRUE"));
    element(8, "duration", media.durationFrames);
    rate(8);
    element(8, "start", clip.start);
    element(8, "end", clip.end);
    element(8, "in", clip.sourceIn);
    element(8, "out", clip.sourceIn + clip.length());
    element(8, "alphatype", QStringLiteral("none"));
    element(8, "pixelaspectratio", QStringLiteral("square"));
    element(8, "anamorphic", QStringLiteral("FALSE"));
    videoFileElement(media);
    line(8, QStringLiteral("<logginginfo>"));
    element(9, "description", QString());
    element(9, "scene", QString());
    element(9, "shottake", QString());
    element(9, "lognote", QString());
    line(8, QStringLiteral("</logginginfo>"));
    const int audio = m_sequence.video.at(v - 1).linkedTrack;
    if (audio > 0) {
        link(id, "video", v, k + 1);
        link(QStringLiteral("channel-audio-%1").arg(audio), "audio", audio + 1, 1);
    }
    line(7, QStringLiteral("</clipitem>"));
}

void DocumentWriter::videoFileElement(const TimelineMedia &media)
{
    // Defined in full where the camera first appears, referenced by its id afterwards.
    const QString fileId = QLatin1String("file-") + idForm(media.clipName);
    if (m_writtenClipNames.contains(media.clipName)) {
        line(8, QStringLiteral("<file id=\"%1\"/>").arg(fileId));
        return;
    }
    m_writtenClipNames.insert(media.clipName);

    line(8, QStringLiteral("<file id=\"%1\">").arg(fileId));
    element(9, "name", xmlText(media.fileName));
    element(9, "pathurl", xmlText(timelineFileUrl(media.path)));
    rate(9);
    element(9, "duration", media.durationFrames);
    timecode(9, media.timecodeText.isEmpty() ? m_model.startTimecodeText : media.timecodeText,
             media.timecodeFrame.value_or(m_model.startTimecodeFrame));
    line(9, QStringLiteral("<media>"));
    line(10, QStringLiteral("<video>"));
    videoSampleCharacteristics(11, false, media.width > 0 ? media.width : m_model.width,
                               media.height > 0 ? media.height : m_model.height);
    line(10, QStringLiteral("</video>"));
    line(9, QStringLiteral("</media>"));
    line(8, QStringLiteral("</file>"));
}

void DocumentWriter::audioTrack(int a)
{
    line(6, QStringLiteral("<track TL.SQTrackAudioKeyframeStyle=\"0\" TL.SQTrackShy=\"0\" "
                           "TL.SQTrackExpandedHeight=\"41\" TL.SQTrackExpanded=\"0\" "
                           "MZ.TrackTargeted=\"1\" premiereTrackType=\"Stereo\">"));
    const TimelineTrack &track = m_sequence.audio.at(a);
    for (qsizetype k = 0; k < track.clips.size(); ++k)
        audioClipItem(a, k, track.clips.at(k));
    element(7, "enabled", QStringLiteral("TRUE"));
    element(7, "locked", QStringLiteral("FALSE"));
    element(7, "outputchannelindex", QStringLiteral("1"));
    line(6, QStringLiteral("</track>"));
}

void DocumentWriter::audioClipItem(int a, qsizetype k, const TimelineClip &clip)
{
    // A track that went on in parts: the first part keeps the track's ids and links.
    const QString suffix = k == 0 ? QString() : QStringLiteral("-part%1").arg(k + 1);
    const QString clipId = (a == 0 ? QStringLiteral("master-audio-1") : QStringLiteral("channel-audio-%1").arg(a)) + suffix;
    const QString fileId = (a == 0 ? QStringLiteral("file-master-audio") : QStringLiteral("file-channel-audio-%1").arg(a)) + suffix;
    const TimelineMedia &media = m_model.media.at(clip.media);

    line(7, QStringLiteral("<clipitem id=\"%1\">").arg(clipId));
    element(8, "name", xmlText(media.fileName));
    rate(8);
    line(8, QStringLiteral("<file id=\"%1\">").arg(fileId));
    element(9, "name", xmlText(media.fileName));
    element(9, "pathurl", xmlText(timelineFileUrl(media.path)));
    rate(9);
    element(9, "duration", media.durationFrames);
    line(8, QStringLiteral("</file>"));
    element(8, "in", clip.sourceIn);
    element(8, "out", clip.sourceIn + clip.length());
    element(8, "start", clip.start);
    element(8, "end", clip.end);

    // The clips of the linked camera's own track link here.
    const int video = m_sequence.audio.at(a).linkedTrack;
    if (k == 0 && video >= 0) {
        const TimelineTrack &track = m_sequence.video.at(video);
        for (qsizetype c = 0; c < track.clips.size(); ++c) {
            link(videoClipId(video + 1, c), "video", video + 1, c + 1);
            link(clipId, "audio", a + 1, 1);
        }
    }
    line(7, QStringLiteral("</clipitem>"));
}

void DocumentWriter::marker(const TimelineMarkerPlacement &placed)
{
    // A marker of the sequence at one frame (out -1: a point, not a range).
    line(4, QStringLiteral("<marker>"));
    element(5, "name", xmlText(placed.name));
    element(5, "comment", QString());
    element(5, "in", placed.frame);
    element(5, "out", qint64(-1));
    line(4, QStringLiteral("</marker>"));
}

} // namespace

QByteArray writeXmemlDocument(const TimelineModel &model, TimelineLayout layout)
{
    return DocumentWriter(model, layout).document();
}
