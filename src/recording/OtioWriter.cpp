#include "recording/OtioWriter.h"

#include "recording/TimelinePaths.h"

#include <QLocale>
#include <QStringList>

namespace {

// JSON text, built as OpenTimelineIO writes it: keys in a fixed order, doubles always with a
// fraction or an exponent (readers that keep integers and doubles apart get a double).
class Json
{
public:
    static QString string(const QString &text);
    static QString number(double value);
    static QString number(qint64 value) { return QString::number(value); }
    // An object from key and value pairs (values already JSON), indented at `depth`.
    static QString object(const QList<QPair<QString, QString>> &members, int depth);
    static QString array(const QStringList &items, int depth);
};

QString Json::string(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (c.isSurrogate() || (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')) {
            // No character, or one the XML formats cannot carry: the same stand-in in every
            // format, so a name reads alike wherever the editor opens it.
            out += QChar(0xFFFD);
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c.unicode() < 0x20) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')); // tab, line feed, return
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString Json::number(double value)
{
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QLatin1String(".0");
    return text;
}

QString Json::object(const QList<QPair<QString, QString>> &members, int depth)
{
    const QString indent(depth * 4 + 4, QLatin1Char(' '));
    QStringList lines;
    for (const auto &[key, value] : members)
        lines.append(indent + string(key) + QLatin1String(": ") + value);
    return QLatin1String("{\n") + lines.join(QLatin1String(",\n")) + QLatin1Char('\n') + QString(depth * 4, QLatin1Char(' '))
        + QLatin1Char('}');
}

QString Json::array(const QStringList &items, int depth)
{
    if (items.isEmpty())
        return QStringLiteral("[]");
    const QString indent(depth * 4 + 4, QLatin1Char(' '));
    return QLatin1String("[\n") + indent + items.join(QLatin1String(",\n") + indent) + QLatin1Char('\n')
        + QString(depth * 4, QLatin1Char(' ')) + QLatin1Char(']');
}

class DocumentWriter
{
public:
    DocumentWriter(const TimelineModel &model, TimelineLayout layout)
        : m_model(model)
        , m_sequence(model.sequence(layout))
        , m_rate(double(model.rate.numerator) / double(model.rate.denominator))
    {
    }
    QByteArray document() const;

private:
    QString rationalTime(qint64 frames, int depth) const;
    QString timeRange(qint64 start, qint64 duration, int depth) const;
    QString clip(const TimelineClip &clip, int depth) const;
    QString gap(qint64 frames, int depth) const;
    QString track(const QString &name, const char *kind, const QList<TimelineClip> &clips, int depth) const;
    QString marker(const TimelineMarkerPlacement &placed, int depth) const;

    const TimelineModel &m_model;
    const TimelineSequence &m_sequence;
    const double m_rate;
};

QString DocumentWriter::rationalTime(qint64 frames, int depth) const
{
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("RationalTime.1"))},
                         {QStringLiteral("rate"), Json::number(m_rate)},
                         {QStringLiteral("value"), Json::number(double(frames))}},
                        depth);
}

QString DocumentWriter::timeRange(qint64 start, qint64 duration, int depth) const
{
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("TimeRange.1"))},
                         {QStringLiteral("duration"), rationalTime(duration, depth + 1)},
                         {QStringLiteral("start_time"), rationalTime(start, depth + 1)}},
                        depth);
}

QString DocumentWriter::clip(const TimelineClip &clip, int depth) const
{
    const TimelineMedia &media = m_model.media.at(clip.media);
    const qint64 fileStart = media.timecodeFrame.value_or(0);
    const QString name = clip.cutNumber > 0 ? QStringLiteral("Cut %1 - %2").arg(clip.cutNumber).arg(media.fileName)
                                            : media.fileName;
    const QString reference = Json::object(
        {{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("ExternalReference.1"))},
         {QStringLiteral("metadata"), QStringLiteral("{}")},
         {QStringLiteral("name"), Json::string(media.fileName)},
         {QStringLiteral("available_range"), timeRange(fileStart, media.durationFrames, depth + 2)},
         {QStringLiteral("available_image_bounds"), QStringLiteral("null")},
         {QStringLiteral("target_url"), Json::string(timelineEncodedFileUrl(media.path))}},
        depth + 1);
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Clip.1"))},
                         {QStringLiteral("metadata"), QStringLiteral("{}")},
                         {QStringLiteral("name"), Json::string(name)},
                         {QStringLiteral("source_range"), timeRange(fileStart + clip.sourceIn, clip.length(), depth + 1)},
                         {QStringLiteral("effects"), QStringLiteral("[]")},
                         {QStringLiteral("markers"), QStringLiteral("[]")},
                         {QStringLiteral("enabled"), QStringLiteral("true")},
                         {QStringLiteral("media_reference"), reference}},
                        depth);
}

QString DocumentWriter::gap(qint64 frames, int depth) const
{
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Gap.1"))},
                         {QStringLiteral("metadata"), QStringLiteral("{}")},
                         {QStringLiteral("name"), Json::string(QString())},
                         {QStringLiteral("source_range"), timeRange(0, frames, depth + 1)},
                         {QStringLiteral("effects"), QStringLiteral("[]")},
                         {QStringLiteral("markers"), QStringLiteral("[]")},
                         {QStringLiteral("enabled"), QStringLiteral("true")}},
                        depth);
}

QString DocumentWriter::track(const QString &name, const char *kind, const QList<TimelineClip> &clips, int depth) const
{
    // A track is a sequence of items: gaps stand for the frames without a clip, up to the end
    // of the take, so every track is as long as the timeline.
    QStringList children;
    qint64 at = 0;
    for (const TimelineClip &c : clips) {
        if (c.start > at)
            children.append(gap(c.start - at, depth + 2));
        children.append(clip(c, depth + 2));
        at = c.end;
    }
    if (at < m_model.durationFrames)
        children.append(gap(m_model.durationFrames - at, depth + 2));
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Track.1"))},
                         {QStringLiteral("metadata"), QStringLiteral("{}")},
                         {QStringLiteral("name"), Json::string(name)},
                         {QStringLiteral("source_range"), QStringLiteral("null")},
                         {QStringLiteral("effects"), QStringLiteral("[]")},
                         {QStringLiteral("markers"), QStringLiteral("[]")},
                         {QStringLiteral("enabled"), QStringLiteral("true")},
                         {QStringLiteral("kind"), Json::string(QLatin1String(kind))},
                         {QStringLiteral("children"), Json::array(children, depth + 1)}},
                        depth);
}

QString DocumentWriter::marker(const TimelineMarkerPlacement &placed, int depth) const
{
    return Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Marker.2"))},
                         {QStringLiteral("metadata"), QStringLiteral("{}")},
                         {QStringLiteral("name"), Json::string(placed.name)},
                         {QStringLiteral("color"), Json::string(QStringLiteral("RED"))},
                         {QStringLiteral("marked_range"), timeRange(placed.frame, 0, depth + 1)},
                         {QStringLiteral("comment"), Json::string(QString())}},
                        depth);
}

QByteArray DocumentWriter::document() const
{
    constexpr int trackDepth = 3; // timeline → stack → its children array → a track
    QStringList tracks;
    if (m_sequence.layout == TimelineLayout::ProgrammeCut) {
        tracks.append(track(QStringLiteral("Programme"), "Video", m_model.programme, trackDepth));
    } else {
        for (const TimelineTrack &video : m_sequence.video)
            tracks.append(track(video.name, "Video", video.clips, trackDepth));
    }
    for (const TimelineTrack &audio : m_sequence.audio)
        tracks.append(track(audio.name, "Audio", audio.clips, trackDepth));
    QStringList markers;
    for (const TimelineMarkerPlacement &placed : m_model.markers)
        markers.append(marker(placed, trackDepth));

    const QString stack = Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Stack.1"))},
                                        {QStringLiteral("metadata"), QStringLiteral("{}")},
                                        {QStringLiteral("name"), Json::string(QStringLiteral("tracks"))},
                                        {QStringLiteral("source_range"), QStringLiteral("null")},
                                        {QStringLiteral("effects"), QStringLiteral("[]")},
                                        {QStringLiteral("markers"), Json::array(markers, 2)},
                                        {QStringLiteral("enabled"), QStringLiteral("true")},
                                        {QStringLiteral("children"), Json::array(tracks, 2)}},
                                       1);
    const QString timeline = Json::object({{QStringLiteral("OTIO_SCHEMA"), Json::string(QStringLiteral("Timeline.1"))},
                                           {QStringLiteral("metadata"), QStringLiteral("{}")},
                                           {QStringLiteral("name"), Json::string(m_sequence.name)},
                                           {QStringLiteral("global_start_time"), rationalTime(m_model.startTimecodeFrame, 1)},
                                           {QStringLiteral("tracks"), stack}},
                                          0);
    return (timeline + QLatin1Char('\n')).toUtf8();
}

} // namespace

QByteArray writeOtioDocument(const TimelineModel &model, TimelineLayout layout)
{
    return DocumentWriter(model, layout).document();
}
