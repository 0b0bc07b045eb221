#include "XmemlReader.h"

#include "MediaReadback.h"
#include "TimelineMediaCheck.h"
#include "XmlTree.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <functional>

namespace {

class Reader
{
public:
    explicit Reader(XmemlTimeline &out) : m_out(out) {}
    void read(const XmlNode &root, std::optional<qint64> expectedDuration);

private:
    void fault(const QString &text) { m_out.faults.append(text); }
    qint64 number(const XmlNode &node, QStringView name, const QString &where);
    void checkRate(const XmlNode &node, const QString &where);
    std::optional<XmemlTimecode> timecode(const XmlNode &node, const QString &where);
    QList<QList<XmemlClip>> tracks(const XmlNode *section, QStringView kind);
    XmemlClip clip(const XmlNode &item, QStringView kind);
    QString fileOf(const XmlNode &item, const QString &where);
    void checkLinks(const QString &where);

    XmemlTimeline &m_out;
    QSet<QString> m_ids;
    QMap<QString, qint64> m_fileDurations;
};

qint64 Reader::number(const XmlNode &node, QStringView name, const QString &where)
{
    bool ok = false;
    const qint64 value = node.textOf(name).toLongLong(&ok);
    if (!ok)
        fault(QStringLiteral("%1: <%2> is not a number").arg(where, name.toString()));
    return value;
}

void Reader::checkRate(const XmlNode &node, const QString &where)
{
    const XmlNode *rate = node.child(u"rate");
    if (!rate) {
        fault(where + QStringLiteral(": no <rate>"));
        return;
    }
    const QString ntsc = rate->textOf(u"ntsc");
    if (ntsc != QLatin1String("TRUE") && ntsc != QLatin1String("FALSE"))
        fault(where + QStringLiteral(": <ntsc> is neither TRUE nor FALSE"));
    if (rate->textOf(u"timebase").toInt() != m_out.timebase || (ntsc == QLatin1String("TRUE")) != m_out.ntsc)
        fault(where + QStringLiteral(": rate differs from the sequence's"));
}

std::optional<XmemlTimecode> Reader::timecode(const XmlNode &node, const QString &where)
{
    const XmlNode *tc = node.child(u"timecode");
    if (!tc)
        return std::nullopt;
    checkRate(*tc, where + QStringLiteral(" timecode"));
    XmemlTimecode result{tc->textOf(u"string"), number(*tc, u"frame", where + QStringLiteral(" timecode")),
                         tc->textOf(u"displayformat")};
    const auto labelled = labelledFrame(result.text, m_out.timebase);
    if (!labelled)
        fault(QStringLiteral("%1: timecode \"%2\" is no timecode at timebase %3").arg(where, result.text).arg(m_out.timebase));
    else if (*labelled != result.frame)
        fault(QStringLiteral("%1: timecode \"%2\" is frame %3, not %4").arg(where, result.text).arg(*labelled).arg(result.frame));
    const bool dropFrame = result.text.contains(QLatin1Char(';'));
    if (result.displayFormat != QLatin1String(dropFrame ? "DF" : "NDF"))
        fault(QStringLiteral("%1: display format %2 for \"%3\"").arg(where, result.displayFormat, result.text));
    return result;
}

QString Reader::fileOf(const XmlNode &item, const QString &where)
{
    const XmlNode *file = item.child(u"file");
    if (!file) {
        fault(where + QStringLiteral(": no <file>"));
        return {};
    }
    const QString id = file->id();
    const bool isDefinition = !file->children.isEmpty();
    if (id.isEmpty()) {
        fault(where + QStringLiteral(": a file without an id"));
    } else if (!isDefinition) {
        if (!m_out.file(id))
            fault(QStringLiteral("%1: file %2 referenced before (or without) its definition").arg(where, id));
    } else if (m_out.file(id)) {
        fault(QStringLiteral("%1: file %2 defined a second time").arg(where, id));
    } else {
        const QString fileWhere = QStringLiteral("file ") + id;
        XmemlFile f{id, file->textOf(u"name"), file->textOf(u"pathurl"), number(*file, u"duration", fileWhere), {}};
        checkRate(*file, fileWhere);
        f.timecode = timecode(*file, fileWhere);
        const XmlNode *media = file->child(u"media");
        const XmlNode *video = media ? media->child(u"video") : nullptr;
        if (const XmlNode *picture = video ? video->child(u"samplecharacteristics") : nullptr) {
            f.width = picture->textOf(u"width").toInt();
            f.height = picture->textOf(u"height").toInt();
        }
        if (!f.pathUrl.startsWith(QLatin1String("file://")))
            fault(QStringLiteral("%1: pathurl \"%2\" is no file URL").arg(fileWhere, f.pathUrl));
        if (f.duration <= 0)
            fault(fileWhere + QStringLiteral(": no length"));
        m_out.files.append(f);
    }
    return id;
}

XmemlClip Reader::clip(const XmlNode &item, QStringView kind)
{
    XmemlClip c;
    c.id = item.id();
    const QString where = QStringLiteral("%1 clip %2").arg(kind.toString(), c.id);
    if (c.id.isEmpty() || m_ids.contains(c.id))
        fault(where + QStringLiteral(": id missing or not unique"));
    m_ids.insert(c.id);
    c.name = item.textOf(u"name");
    checkRate(item, where);
    c.start = number(item, u"start", where);
    c.end = number(item, u"end", where);
    c.in = number(item, u"in", where);
    c.out = number(item, u"out", where);
    c.fileId = fileOf(item, where);
    if (c.start < 0 || c.end <= c.start || c.end > m_out.duration)
        fault(QStringLiteral("%1: %2-%3 is not inside the sequence of %4").arg(where).arg(c.start).arg(c.end).arg(m_out.duration));
    const XmemlFile *file = m_out.file(c.fileId);
    if (c.in < 0 || c.out <= c.in || (file && c.out > file->duration))
        fault(QStringLiteral("%1: in %2, out %3 are not inside its media of %4 frames")
                  .arg(where).arg(c.in).arg(c.out).arg(file ? file->duration : -1));
    if (c.out - c.in != c.end - c.start)
        fault(where + QStringLiteral(": not as long in its file as on the sequence"));
    for (const XmlNode *link : item.all(u"link"))
        c.links.append({link->textOf(u"linkclipref"), link->textOf(u"mediatype"), link->textOf(u"trackindex").toInt(),
                        link->textOf(u"clipindex").toInt()});
    return c;
}

QList<QList<XmemlClip>> Reader::tracks(const XmlNode *section, QStringView kind)
{
    QList<QList<XmemlClip>> result;
    if (!section)
        return result;
    for (const XmlNode *track : section->all(u"track")) {
        QList<XmemlClip> clips;
        for (const XmlNode *item : track->all(u"clipitem")) {
            clips.append(clip(*item, kind));
            if (clips.size() > 1 && clips.last().start < clips.at(clips.size() - 2).end)
                fault(QStringLiteral("%1 track %2: clip %3 starts before the clip before it ends")
                          .arg(kind.toString()).arg(result.size() + 1).arg(clips.last().id));
        }
        result.append(clips);
    }
    return result;
}

void Reader::checkLinks(const QString &where)
{
    for (const auto *section : {&m_out.videoTracks, &m_out.audioTracks}) {
        for (const QList<XmemlClip> &track : *section) {
            for (const XmemlClip &c : track) {
                for (const XmemlLink &link : c.links) {
                    const auto &target = link.mediaType == QLatin1String("video") ? m_out.videoTracks : m_out.audioTracks;
                    const bool found = link.trackIndex >= 1 && link.trackIndex <= target.size() && link.clipIndex >= 1
                        && link.clipIndex <= target.at(link.trackIndex - 1).size()
                        && target.at(link.trackIndex - 1).at(link.clipIndex - 1).id == link.clipRef;
                    if (!found)
                        fault(QStringLiteral("%1: clip %2 links to %3, not at %4 track %5 clip %6")
                                  .arg(where, c.id, link.clipRef, link.mediaType).arg(link.trackIndex).arg(link.clipIndex));
                }
            }
        }
    }
}

void Reader::read(const XmlNode &root, std::optional<qint64> expectedDuration)
{
    if (root.name != QLatin1String("xmeml") || root.attributes.value(QLatin1String("version")) != QLatin1String("4"))
        fault(QStringLiteral("the root is not <xmeml version=\"4\">"));
    const XmlNode *project = root.child(u"project");
    const XmlNode *children = project ? project->child(u"children") : nullptr;
    const QList<const XmlNode *> sequences = children ? children->all(u"sequence") : QList<const XmlNode *>();
    if (sequences.size() != 1) {
        fault(QStringLiteral("%1 sequences in the project, not one").arg(sequences.size()));
        return;
    }
    m_out.projectName = project->textOf(u"name");
    const XmlNode &sequence = *sequences.first();
    m_ids.insert(sequence.id());
    m_out.sequenceName = sequence.textOf(u"name");
    m_out.uuid = sequence.textOf(u"uuid");
    const XmlNode *rate = sequence.child(u"rate");
    m_out.timebase = rate ? rate->textOf(u"timebase").toInt() : 0;
    m_out.ntsc = rate && rate->textOf(u"ntsc") == QLatin1String("TRUE");
    m_out.duration = number(sequence, u"duration", QStringLiteral("sequence"));
    if (m_out.timebase <= 0 || m_out.duration <= 0 || m_out.sequenceName.isEmpty())
        fault(QStringLiteral("the sequence has no rate, length or name"));
    if (expectedDuration && m_out.duration != *expectedDuration)
        fault(QStringLiteral("the sequence is %1 frames, the take %2").arg(m_out.duration).arg(*expectedDuration));
    m_out.timecode = timecode(sequence, QStringLiteral("sequence"));
    if (!m_out.timecode)
        fault(QStringLiteral("the sequence has no start timecode"));

    for (const XmlNode *marker : sequence.all(u"marker")) {
        const XmemlMarker m{marker->textOf(u"name"), number(*marker, u"in", QStringLiteral("marker"))};
        const qint64 out = number(*marker, u"out", QStringLiteral("marker"));
        if (m.in < 0 || m.in >= m_out.duration || (out != -1 && (out <= m.in || out > m_out.duration)))
            fault(QStringLiteral("marker \"%1\" at %2-%3 is not inside the sequence").arg(m.name).arg(m.in).arg(out));
        m_out.markers.append(m);
    }

    const XmlNode *media = sequence.child(u"media");
    m_out.videoTracks = tracks(media ? media->child(u"video") : nullptr, u"video");
    m_out.audioTracks = tracks(media ? media->child(u"audio") : nullptr, u"audio");
    checkLinks(QStringLiteral("links"));
}

// The local path of a file URL as this system writes them (no percent-encoding).
QString localPath(const QString &url)
{
    QString path = url;
    if (path.startsWith(QLatin1String("file://localhost/")))
        path.remove(0, 16);
    else if (path.startsWith(QLatin1String("file://")))
        path.remove(0, 5); // a network share: //server/share/...
    static const QRegularExpression drive(QStringLiteral("^/[A-Za-z]:/"));
    if (drive.match(path).hasMatch())
        path.remove(0, 1);
    return path;
}

} // namespace

const XmemlFile *XmemlTimeline::file(const QString &id) const
{
    for (const XmemlFile &f : files) {
        if (f.id == id)
            return &f;
    }
    return nullptr;
}

XmemlTimeline readXmeml(const QByteArray &document, std::optional<qint64> expectedDurationFrames)
{
    XmemlTimeline timeline;
    QString error;
    const std::optional<XmlNode> root = parseXmlTree(document, &error);
    if (!root) {
        timeline.faults.append(error.isEmpty() ? QStringLiteral("no document") : error);
        return timeline;
    }
    Reader(timeline).read(*root, expectedDurationFrames);
    return timeline;
}

XmemlTimeline readXmemlFile(const QString &path, std::optional<qint64> expectedDurationFrames)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        XmemlTimeline timeline;
        timeline.faults.append(path + QStringLiteral(": ") + file.errorString());
        return timeline;
    }
    return readXmeml(file.readAll(), expectedDurationFrames);
}

QStringList checkXmemlMedia(const XmemlTimeline &timeline)
{
    QStringList faults;
    const double fps = timeline.framesPerSecond();
    if (fps <= 0)
        return {QStringLiteral("no frame rate")};
    const qint64 sequenceStart = timeline.timecode ? timeline.timecode->frame : 0;
    // Where each file sits on the sequence (its first clip, at the file's in point 0).
    QMap<QString, qint64> placedAt;
    for (const auto &section : {timeline.videoTracks, timeline.audioTracks}) {
        for (const QList<XmemlClip> &track : section) {
            for (const XmemlClip &c : track) {
                if (!placedAt.contains(c.fileId))
                    placedAt.insert(c.fileId, c.start - c.in);
            }
        }
    }
    for (const XmemlFile &file : timeline.files) {
        const QString path = localPath(file.pathUrl);
        const MediaProbe probe = probeMedia(path);
        if (!probe.error.isEmpty()) {
            faults.append(QStringLiteral("%1 (%2): %3").arg(file.id, path, probe.error));
            continue;
        }
        const double claimed = double(file.duration) / fps;
        if (std::abs(probe.durationSeconds - claimed) > 1.0 / fps + 0.001)
            faults.append(QStringLiteral("%1: %2 s on disk, %3 s in the timeline").arg(file.id).arg(probe.durationSeconds).arg(claimed));
        if (file.width > 0 && (file.width != probe.width || file.height != probe.height))
            faults.append(QStringLiteral("%1: %2x%3 on disk, %4x%5 in the timeline")
                              .arg(file.id).arg(probe.width).arg(probe.height).arg(file.width).arg(file.height));
        if (file.timecode && !probe.timecode.isEmpty() && probe.timecode != file.timecode->text)
            faults.append(QStringLiteral("%1: timecode %2 on disk, %3 in the timeline").arg(file.id, probe.timecode, file.timecode->text));
        // A file is placed where its own timecode says (a camera that joined the take later).
        if (file.timecode && placedAt.contains(file.id) && sequenceStart + placedAt.value(file.id) != file.timecode->frame)
            faults.append(QStringLiteral("%1: placed at frame %2, its timecode names frame %3")
                              .arg(file.id).arg(sequenceStart + placedAt.value(file.id)).arg(file.timecode->frame));
        // A Broadcast WAV file: its time reference is where an editor places it by timecode.
        const QString reference = probe.tags.value(QStringLiteral("time_reference"));
        if (!reference.isEmpty() && probe.sampleRate > 0) {
            const double byTimecode = reference.toDouble() / probe.sampleRate;
            const double onSequence = double(sequenceStart + placedAt.value(file.id)) / fps;
            if (std::abs(byTimecode - onSequence) > 1.0 / fps)
                faults.append(QStringLiteral("%1: its time reference is %2 s, the timeline places it at %3 s")
                                  .arg(file.id).arg(byTimecode, 0, 'f', 4).arg(onSequence, 0, 'f', 4));
        }
    }
    return faults;
}
