#include "recording/FcpxmlWriter.h"

#include "recording/TimelinePaths.h"
#include "recording/XmlText.h"

#include <QMap>

#include <numeric>

namespace {

// One element of the primary storyline: a clip of the programme, or a gap.
struct SpineItem
{
    std::optional<TimelineClip> clip; // none: a gap
    qint64 start = 0;                 // sequence frames
    qint64 end = 0;
};

class DocumentWriter
{
public:
    DocumentWriter(const TimelineModel &model, TimelineLayout layout)
        : m_model(model), m_sequence(model.sequence(layout))
    {
    }
    QByteArray document();

private:
    // A number of frames as a time: frames × the frame duration, in lowest terms ("0s",
    // "5s", "1001/30000s").
    QString time(qint64 frames) const;
    void line(int depth, const QString &text);
    QString attribute(const char *name, const QString &value) const;
    void noteMedia(const TimelineClip &clip);
    void resources();
    QList<SpineItem> spineItems() const;
    // The time of a sequence frame inside a storyline element (its own time runs from its
    // start attribute at its first frame).
    QString localTime(const SpineItem &item, qint64 frame) const;
    qint64 itemSourceStart(const SpineItem &item) const;
    void connectedClip(int depth, const SpineItem &parent, const TimelineClip &clip, int lane, const QString &name);
    void anchoredChildren(int depth, const SpineItem &parent);
    void audioBelow(int depth, const SpineItem &parent);
    void markersWithin(int depth, const SpineItem &item);
    QString clipName(const TimelineClip &clip) const;

    const TimelineModel &m_model;
    const TimelineSequence &m_sequence;
    QMap<int, QString> m_assetIds; // media index → asset id, in media order
    QString m_text;
};

QString DocumentWriter::time(qint64 frames) const
{
    if (frames == 0)
        return QStringLiteral("0s");
    qint64 numerator = frames * m_model.rate.denominator;
    qint64 denominator = m_model.rate.numerator;
    const qint64 divisor = std::gcd(numerator, denominator);
    numerator /= divisor;
    denominator /= divisor;
    return denominator == 1 ? QStringLiteral("%1s").arg(numerator) : QStringLiteral("%1/%2s").arg(numerator).arg(denominator);
}

void DocumentWriter::line(int depth, const QString &text)
{
    m_text += QString(depth * 4, QLatin1Char(' '));
    m_text += text;
    m_text += QLatin1Char('\n');
}

QString DocumentWriter::attribute(const char *name, const QString &value) const
{
    return QLatin1Char(' ') + QLatin1String(name) + QLatin1String("=\"") + xmlText(value) + QLatin1Char('"');
}

void DocumentWriter::noteMedia(const TimelineClip &clip)
{
    if (!m_assetIds.contains(clip.media))
        m_assetIds.insert(clip.media, QString());
}

void DocumentWriter::resources()
{
    line(1, QStringLiteral("<resources>"));
    // The sequence's format is r1; a camera recorded at another size has a format of its own,
    // so the editor scales it into the frame instead of reading it as the sequence's size.
    const auto formatLine = [this](const QString &id, int width, int height) {
        line(2, QStringLiteral("<format%1%2%3%4/>")
                    .arg(attribute("id", id), attribute("frameDuration", time(1)), attribute("width", QString::number(width)),
                         attribute("height", QString::number(height))));
    };
    const auto sizeOf = [this](const TimelineMedia &media) {
        return QPair<int, int>{media.width > 0 ? media.width : m_model.width, media.height > 0 ? media.height : m_model.height};
    };
    formatLine(QStringLiteral("r1"), m_model.width, m_model.height);
    int next = 2;
    QMap<QPair<int, int>, QString> formats{{{m_model.width, m_model.height}, QStringLiteral("r1")}};
    for (auto it = m_assetIds.begin(); it != m_assetIds.end(); ++it) {
        const TimelineMedia &media = m_model.media.at(it.key());
        const QPair<int, int> size = sizeOf(media);
        if (media.kind == TimelineMedia::Kind::Video && !formats.contains(size)) {
            formats.insert(size, QStringLiteral("r%1").arg(next++));
            formatLine(formats.value(size), size.first, size.second);
        }
    }
    for (auto it = m_assetIds.begin(); it != m_assetIds.end(); ++it) {
        it.value() = QStringLiteral("r%1").arg(next++);
        const TimelineMedia &media = m_model.media.at(it.key());
        QString attributes = attribute("id", it.value()) + attribute("name", media.fileName)
            + attribute("start", time(media.timecodeFrame.value_or(0))) + attribute("duration", time(media.durationFrames));
        if (media.kind == TimelineMedia::Kind::Video) {
            attributes += attribute("hasVideo", QStringLiteral("1")) + attribute("format", formats.value(sizeOf(media)))
                + attribute("videoSources", QStringLiteral("1"));
        } else {
            attributes += attribute("hasAudio", QStringLiteral("1")) + attribute("audioSources", QStringLiteral("1"))
                + attribute("audioChannels", QString::number(media.audioChannels))
                + attribute("audioRate", QString::number(media.sampleRate));
        }
        line(2, QStringLiteral("<asset%1>").arg(attributes));
        line(3, QStringLiteral("<media-rep kind=\"original-media\"%1/>").arg(attribute("src", timelineEncodedFileUrl(media.path))));
        line(2, QStringLiteral("</asset>"));
    }
    line(1, QStringLiteral("</resources>"));
}

QList<SpineItem> DocumentWriter::spineItems() const
{
    // All angles: one gap over the whole take carries everything. Programme cut: the
    // programme's clips, with gaps wherever nothing was on air, so the storyline is exactly as
    // long as the take.
    QList<SpineItem> items;
    qint64 at = 0;
    if (m_sequence.layout == TimelineLayout::ProgrammeCut) {
        for (const TimelineClip &clip : m_model.programme) {
            if (clip.start > at)
                items.append(SpineItem{std::nullopt, at, clip.start});
            items.append(SpineItem{clip, clip.start, clip.end});
            at = clip.end;
        }
    }
    if (at < m_model.durationFrames)
        items.append(SpineItem{std::nullopt, at, m_model.durationFrames});
    return items;
}

qint64 DocumentWriter::itemSourceStart(const SpineItem &item) const
{
    // A clip's own time is its asset's; a gap's runs with the sequence.
    if (item.clip)
        return m_model.media.at(item.clip->media).timecodeFrame.value_or(0) + item.clip->sourceIn;
    return m_model.startTimecodeFrame + item.start;
}

QString DocumentWriter::localTime(const SpineItem &item, qint64 frame) const
{
    return time(itemSourceStart(item) + frame - item.start);
}

QString DocumentWriter::clipName(const TimelineClip &clip) const
{
    const QString &file = m_model.media.at(clip.media).fileName;
    return clip.cutNumber > 0 ? QStringLiteral("Cut %1 - %2").arg(clip.cutNumber).arg(file) : file;
}

void DocumentWriter::connectedClip(int depth, const SpineItem &parent, const TimelineClip &clip, int lane,
                                   const QString &name)
{
    const TimelineMedia &media = m_model.media.at(clip.media);
    line(depth, QStringLiteral("<asset-clip%1%2%3%4%5%6/>")
                    .arg(attribute("ref", m_assetIds.value(clip.media)), attribute("lane", QString::number(lane)),
                         attribute("offset", localTime(parent, clip.start)), attribute("name", name),
                         attribute("start", time(media.timecodeFrame.value_or(0) + clip.sourceIn)),
                         attribute("duration", time(clip.length()))));
}

void DocumentWriter::anchoredChildren(int depth, const SpineItem &parent)
{
    // Above the storyline: every angle in a lane of its own, then the programme.
    int lane = 0;
    for (const TimelineTrack &track : m_sequence.video) {
        ++lane;
        for (const TimelineClip &clip : track.clips)
            connectedClip(depth, parent, clip, lane, clipName(clip));
    }
    audioBelow(depth, parent);
}

void DocumentWriter::audioBelow(int depth, const SpineItem &parent)
{
    // The master, then each channel's track, one lane further down each.
    int lane = 0;
    for (const TimelineTrack &track : m_sequence.audio) {
        --lane;
        for (const TimelineClip &clip : track.clips)
            connectedClip(depth, parent, clip, lane, m_model.media.at(clip.media).fileName);
    }
}

void DocumentWriter::markersWithin(int depth, const SpineItem &item)
{
    for (const TimelineMarkerPlacement &marker : m_model.markers) {
        if (marker.frame >= item.start && marker.frame < item.end)
            line(depth, QStringLiteral("<marker%1%2%3/>")
                            .arg(attribute("start", localTime(item, marker.frame)), attribute("duration", time(1)),
                                 attribute("value", marker.name)));
    }
}

QByteArray DocumentWriter::document()
{
    const bool allAngles = m_sequence.layout == TimelineLayout::AllAngles;
    // Which files this document names: the programme's cameras (or every angle) and the audio.
    if (allAngles) {
        for (const TimelineTrack &track : m_sequence.video) {
            for (const TimelineClip &clip : track.clips)
                noteMedia(clip);
        }
    } else {
        for (const TimelineClip &clip : m_model.programme)
            noteMedia(clip);
    }
    for (const TimelineTrack &track : m_sequence.audio) {
        for (const TimelineClip &clip : track.clips)
            noteMedia(clip);
    }

    line(0, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    line(0, QStringLiteral("<!DOCTYPE fcpxml>"));
    line(0, QStringLiteral("<fcpxml version=\"1.9\">"));
    resources();
    line(1, QStringLiteral("<library>"));
    line(2, QStringLiteral("<event%1>").arg(attribute("name", m_model.programmeCut.name)));
    line(3, QStringLiteral("<project%1>").arg(attribute("name", m_sequence.name)));
    line(4, QStringLiteral("<sequence format=\"r1\"%1%2%3 audioLayout=\"stereo\" audioRate=\"%4\">")
                .arg(attribute("duration", time(m_model.durationFrames)), attribute("tcStart", time(m_model.startTimecodeFrame)),
                     attribute("tcFormat", QLatin1String(m_model.isDropFrame ? "DF" : "NDF")))
                .arg(m_model.sampleRate == 48000 ? QStringLiteral("48k") : QString::number(m_model.sampleRate)));
    line(5, QStringLiteral("<spine>"));
    const QList<SpineItem> items = spineItems();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const SpineItem &item = items.at(i);
        const QString timing = attribute("offset", time(m_model.startTimecodeFrame + item.start))
            + attribute("start", time(itemSourceStart(item))) + attribute("duration", time(item.end - item.start));
        if (item.clip)
            line(6, QStringLiteral("<asset-clip%1%2%3>")
                        .arg(attribute("ref", m_assetIds.value(item.clip->media)), attribute("name", clipName(*item.clip)), timing));
        else
            line(6, QStringLiteral("<gap%1%2>").arg(attribute("name", QLatin1String(allAngles ? "All Angles" : "Gap")), timing));
        // Everything connected hangs on the first element; a connected clip may run past it.
        if (i == 0 && allAngles)
            anchoredChildren(7, item);
        else if (i == 0)
            audioBelow(7, item);
        markersWithin(7, item);
        line(6, QLatin1String(item.clip ? "</asset-clip>" : "</gap>"));
    }
    line(5, QStringLiteral("</spine>"));
    line(4, QStringLiteral("</sequence>"));
    line(3, QStringLiteral("</project>"));
    line(2, QStringLiteral("</event>"));
    line(1, QStringLiteral("</library>"));
    line(0, QStringLiteral("</fcpxml>"));
    return m_text.toUtf8();
}

} // namespace

QByteArray writeFcpxmlDocument(const TimelineModel &model, TimelineLayout layout)
{
    return DocumentWriter(model, layout).document();
}
