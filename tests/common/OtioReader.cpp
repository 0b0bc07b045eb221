#include "OtioReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <cmath>

namespace {

class Reader
{
public:
    explicit Reader(OtioTimeline &out) : m_out(out) {}
    void read(const QJsonObject &root, std::optional<qint64> expectedDuration);

private:
    void fault(const QString &text) { m_out.faults.append(text); }
    bool isSchema(const QJsonValue &value, const QString &schema, const QString &where);
    qint64 time(const QJsonValue &value, const QString &where);
    std::pair<qint64, qint64> range(const QJsonValue &value, const QString &where); // start, duration
    void track(const QJsonObject &object, const QString &where);
    OtioClip item(const QJsonObject &object, const QString &where);

    OtioTimeline &m_out;
    QMap<QString, std::pair<qint64, qint64>> m_availableRanges; // by file
};

bool Reader::isSchema(const QJsonValue &value, const QString &schema, const QString &where)
{
    if (value.toObject().value(QLatin1String("OTIO_SCHEMA")).toString() == schema)
        return true;
    fault(QStringLiteral("%1: not a %2").arg(where, schema));
    return false;
}

qint64 Reader::time(const QJsonValue &value, const QString &where)
{
    if (!isSchema(value, QStringLiteral("RationalTime.1"), where))
        return 0;
    const QJsonObject object = value.toObject();
    const double rate = object.value(QLatin1String("rate")).toDouble();
    const double frames = object.value(QLatin1String("value")).toDouble();
    if (m_out.rate <= 0)
        m_out.rate = rate;
    if (rate <= 0 || std::abs(rate - m_out.rate) > 1e-9)
        fault(QStringLiteral("%1: rate %2, not the timeline's %3").arg(where).arg(rate, 0, 'g', 17).arg(m_out.rate, 0, 'g', 17));
    if (frames != std::floor(frames))
        fault(QStringLiteral("%1: %2 is not a whole frame").arg(where).arg(frames));
    return qint64(frames);
}

std::pair<qint64, qint64> Reader::range(const QJsonValue &value, const QString &where)
{
    if (!isSchema(value, QStringLiteral("TimeRange.1"), where))
        return {0, 0};
    const QJsonObject object = value.toObject();
    return {time(object.value(QLatin1String("start_time")), where + QStringLiteral(" start")),
            time(object.value(QLatin1String("duration")), where + QStringLiteral(" duration"))};
}

OtioClip Reader::item(const QJsonObject &object, const QString &where)
{
    OtioClip clip;
    clip.name = object.value(QLatin1String("name")).toString();
    const QString schema = object.value(QLatin1String("OTIO_SCHEMA")).toString();
    std::tie(clip.sourceStart, clip.duration) = range(object.value(QLatin1String("source_range")), where + QStringLiteral(" source range"));
    if (clip.duration <= 0)
        fault(where + QStringLiteral(": no length"));
    if (schema == QLatin1String("Gap.1"))
        return clip;
    QJsonValue reference;
    if (schema == QLatin1String("Clip.1")) {
        reference = object.value(QLatin1String("media_reference"));
    } else if (schema == QLatin1String("Clip.2")) {
        const QString key = object.value(QLatin1String("active_media_reference_key")).toString();
        reference = object.value(QLatin1String("media_references")).toObject().value(key);
    } else {
        fault(QStringLiteral("%1: %2 is not an item this reader knows").arg(where, schema));
        return clip;
    }
    if (!isSchema(reference, QStringLiteral("ExternalReference.1"), where + QStringLiteral(" media reference")))
        return clip;
    QString urlFault;
    clip.path = localPathOfEncodedUrl(reference.toObject().value(QLatin1String("target_url")).toString(), &urlFault);
    if (!urlFault.isEmpty()) {
        fault(where + QStringLiteral(": ") + urlFault);
        clip.path = QStringLiteral("?");
    }
    std::tie(clip.availableStart, clip.availableDuration)
        = range(reference.toObject().value(QLatin1String("available_range")), where + QStringLiteral(" available range"));
    if (clip.sourceStart < clip.availableStart || clip.sourceStart + clip.duration > clip.availableStart + clip.availableDuration)
        fault(QStringLiteral("%1: source %2-%3 is not inside its file's available range %4-%5")
                  .arg(where).arg(clip.sourceStart).arg(clip.sourceStart + clip.duration).arg(clip.availableStart)
                  .arg(clip.availableStart + clip.availableDuration));
    const std::pair<qint64, qint64> available{clip.availableStart, clip.availableDuration};
    if (m_availableRanges.contains(clip.path) && m_availableRanges.value(clip.path) != available)
        fault(where + QStringLiteral(": its file has another available range elsewhere"));
    m_availableRanges.insert(clip.path, available);
    return clip;
}

void Reader::track(const QJsonObject &object, const QString &where)
{
    OtioTrack track;
    track.name = object.value(QLatin1String("name")).toString();
    track.kind = object.value(QLatin1String("kind")).toString();
    if (track.kind != QLatin1String("Video") && track.kind != QLatin1String("Audio"))
        fault(QStringLiteral("%1: kind \"%2\"").arg(where, track.kind));
    const QJsonArray children = object.value(QLatin1String("children")).toArray();
    for (qsizetype i = 0; i < children.size(); ++i) {
        OtioClip clip = item(children.at(i).toObject(), QStringLiteral("%1 item %2").arg(where).arg(i + 1));
        clip.trackStart = track.duration;
        track.duration += clip.duration;
        track.items.append(clip);
    }
    m_out.duration = std::max(m_out.duration, track.duration);
    m_out.tracks.append(track);
}

void Reader::read(const QJsonObject &root, std::optional<qint64> expectedDuration)
{
    if (!isSchema(root, QStringLiteral("Timeline.1"), QStringLiteral("the root")))
        return;
    m_out.name = root.value(QLatin1String("name")).toString();
    m_out.globalStart = time(root.value(QLatin1String("global_start_time")), QStringLiteral("global start time"));
    const QJsonValue stack = root.value(QLatin1String("tracks"));
    if (!isSchema(stack, QStringLiteral("Stack.1"), QStringLiteral("the tracks")))
        return;
    const QJsonArray tracks = stack.toObject().value(QLatin1String("children")).toArray();
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QString where = QStringLiteral("track %1 \"%2\"").arg(i + 1).arg(tracks.at(i).toObject().value(QLatin1String("name")).toString());
        if (isSchema(tracks.at(i), QStringLiteral("Track.1"), where))
            track(tracks.at(i).toObject(), where);
    }
    if (expectedDuration && m_out.duration != *expectedDuration)
        fault(QStringLiteral("the timeline is %1 frames, the take %2").arg(m_out.duration).arg(*expectedDuration));
    const QJsonArray markers = stack.toObject().value(QLatin1String("markers")).toArray();
    for (const QJsonValue &marker : markers) {
        const QString name = marker.toObject().value(QLatin1String("name")).toString();
        if (!isSchema(marker, QStringLiteral("Marker.2"), QStringLiteral("marker \"%1\"").arg(name)))
            continue;
        const auto [frame, length] = range(marker.toObject().value(QLatin1String("marked_range")), QStringLiteral("marker ") + name);
        if (frame < 0 || frame >= m_out.duration || length < 0)
            fault(QStringLiteral("marker \"%1\" at frame %2 is not inside the timeline").arg(name).arg(frame));
        m_out.markers.append({name, frame});
    }
}

} // namespace

QList<const OtioTrack *> OtioTimeline::tracksOfKind(const QString &kind) const
{
    QList<const OtioTrack *> found;
    for (const OtioTrack &t : tracks) {
        if (t.kind == kind)
            found.append(&t);
    }
    return found;
}

OtioTimeline readOtio(const QByteArray &document, std::optional<qint64> expectedDurationFrames)
{
    OtioTimeline timeline;
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject()) {
        timeline.faults.append(QStringLiteral("not JSON: %1 at %2").arg(error.errorString()).arg(error.offset));
        return timeline;
    }
    Reader(timeline).read(json.object(), expectedDurationFrames);
    return timeline;
}

OtioTimeline readOtioFile(const QString &path, std::optional<qint64> expectedDurationFrames)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        OtioTimeline timeline;
        timeline.faults.append(path + QStringLiteral(": ") + file.errorString());
        return timeline;
    }
    return readOtio(file.readAll(), expectedDurationFrames);
}

QStringList checkOtioMedia(const OtioTimeline &timeline)
{
    QMap<QString, TimelineFileClaim> claims;
    for (const OtioTrack &track : timeline.tracks) {
        for (const OtioClip &clip : track.items) {
            if (clip.isGap())
                continue;
            TimelineFileClaim &claim = claims[clip.path];
            claim.id = clip.name;
            claim.path = clip.path;
            claim.isVideo = track.kind == QLatin1String("Video");
            claim.durationFrames = clip.availableDuration;
            claim.startFrame = clip.availableStart;
            claim.usedFrames = std::max(claim.usedFrames, clip.sourceStart + clip.duration - clip.availableStart);
        }
    }
    return checkFileClaims(claims.values(), timeline.rate, int(std::lround(timeline.rate)));
}
