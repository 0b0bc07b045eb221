#include "FcpxmlReader.h"

#include "XmlTree.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace {

struct Time
{
    qint64 numerator = 0;
    qint64 denominator = 1;
};

std::optional<Time> parseTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(-?\d+)(?:/(\d+))?s$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    Time t{m.captured(1).toLongLong(), m.captured(2).isEmpty() ? 1 : m.captured(2).toLongLong()};
    if (t.denominator <= 0)
        return std::nullopt;
    return t;
}

class Reader
{
public:
    explicit Reader(FcpxmlTimeline &out) : m_out(out) {}
    void read(const XmlNode &root, std::optional<qint64> expectedDuration);

private:
    void fault(const QString &text) { m_out.faults.append(text); }
    // A time attribute in frames; a fault when it is missing, malformed or off the frame grid.
    qint64 frames(const XmlNode &node, QStringView attribute, const QString &where, bool required = true);
    void resources(const XmlNode &node);
    // A clip or gap of a storyline (lane 0) or connected to one, placed on the sequence.
    FcpxmlClip element(const XmlNode &node, const QString &where, qint64 sequenceStart);
    void connectedAndMarkers(const XmlNode &node, const FcpxmlClip &parent, const QString &where);
    void checkInsideAsset(const FcpxmlClip &clip, const QString &where);

    FcpxmlTimeline &m_out;
    QSet<QString> m_ids;
    QMap<QString, QPair<int, int>> m_formats; // format id → picture size
};

qint64 Reader::frames(const XmlNode &node, QStringView attribute, const QString &where, bool required)
{
    if (!node.hasAttribute(attribute)) {
        if (required)
            fault(QStringLiteral("%1: no %2").arg(where, attribute.toString()));
        return 0;
    }
    const std::optional<Time> t = parseTime(node.attribute(attribute));
    if (!t) {
        fault(QStringLiteral("%1: %2=\"%3\" is no time").arg(where, attribute.toString(), node.attribute(attribute)));
        return 0;
    }
    // t seconds × rate frames per second must be a whole number of frames.
    const qint64 scaled = t->numerator * m_out.rateNumerator;
    const qint64 per = t->denominator * m_out.rateDenominator;
    if (per == 0 || scaled % per != 0)
        fault(QStringLiteral("%1: %2=\"%3\" is not on the frame grid").arg(where, attribute.toString(), node.attribute(attribute)));
    return per == 0 ? 0 : scaled / per;
}

void Reader::resources(const XmlNode &node)
{
    const QList<const XmlNode *> formats = node.all(u"format");
    if (formats.isEmpty()) {
        fault(QStringLiteral("no format"));
        return;
    }
    // Every format has the sequence's frame duration; they differ in picture size only.
    for (const XmlNode *format : formats) {
        if (format->id().isEmpty() || m_ids.contains(format->id()))
            fault(QStringLiteral("format %1: id missing or not unique").arg(format->id()));
        m_ids.insert(format->id());
        m_formats.insert(format->id(), {format->attribute(u"width").toInt(), format->attribute(u"height").toInt()});
        const std::optional<Time> frameDuration = parseTime(format->attribute(u"frameDuration"));
        if (!frameDuration || frameDuration->numerator <= 0) {
            fault(QStringLiteral("format %1 has no frame duration").arg(format->id()));
            return;
        }
        const qint64 divisor = std::gcd(frameDuration->numerator, frameDuration->denominator);
        if (format != formats.first()
            && (m_out.rateNumerator != frameDuration->denominator / divisor || m_out.rateDenominator != frameDuration->numerator / divisor))
            fault(QStringLiteral("format %1 at another rate").arg(format->id()));
        m_out.rateNumerator = frameDuration->denominator / divisor;
        m_out.rateDenominator = frameDuration->numerator / divisor;
    }

    QSet<QString> paths;
    for (const XmlNode *node : node.all(u"asset")) {
        FcpxmlAsset asset;
        asset.id = node->id();
        const QString where = QStringLiteral("asset ") + asset.id;
        if (asset.id.isEmpty() || m_ids.contains(asset.id))
            fault(where + QStringLiteral(": id missing or not unique"));
        m_ids.insert(asset.id);
        asset.name = node->attribute(u"name");
        asset.start = frames(*node, u"start", where);
        asset.duration = frames(*node, u"duration", where);
        asset.hasVideo = node->attribute(u"hasVideo") == QLatin1String("1");
        asset.hasAudio = node->attribute(u"hasAudio") == QLatin1String("1");
        asset.audioChannels = node->attribute(u"audioChannels").toInt();
        asset.audioRate = node->attribute(u"audioRate").toInt();
        if (asset.hasVideo && !m_formats.contains(node->attribute(u"format")))
            fault(where + QStringLiteral(": a video asset without a format"));
        asset.width = m_formats.value(node->attribute(u"format")).first;
        asset.height = m_formats.value(node->attribute(u"format")).second;
        if (asset.hasAudio && (asset.audioChannels <= 0 || asset.audioRate <= 0))
            fault(where + QStringLiteral(": audio without its channels and rate"));
        if (asset.duration <= 0 || (!asset.hasVideo && !asset.hasAudio))
            fault(where + QStringLiteral(": no length or no media"));
        const QList<const XmlNode *> reps = node->all(u"media-rep");
        if (reps.size() != 1 || reps.first()->attribute(u"kind") != QLatin1String("original-media")) {
            fault(where + QStringLiteral(": not exactly one original-media representation"));
        } else {
            QString urlFault;
            asset.path = localPathOfEncodedUrl(reps.first()->attribute(u"src"), &urlFault);
            if (!urlFault.isEmpty())
                fault(where + QStringLiteral(": ") + urlFault);
            else if (paths.contains(asset.path))
                fault(where + QStringLiteral(": a second asset for ") + asset.path);
            paths.insert(asset.path);
        }
        m_out.assets.append(asset);
    }
}

void Reader::checkInsideAsset(const FcpxmlClip &clip, const QString &where)
{
    if (clip.duration <= 0)
        fault(where + QStringLiteral(": no length"));
    if (clip.sequenceStart < 0 || clip.sequenceStart + clip.duration > m_out.duration)
        fault(QStringLiteral("%1: frames %2-%3 are not inside the sequence of %4")
                  .arg(where).arg(clip.sequenceStart).arg(clip.sequenceStart + clip.duration).arg(m_out.duration));
    if (clip.assetId.isEmpty())
        return;
    const FcpxmlAsset *asset = m_out.asset(clip.assetId);
    if (!asset) {
        fault(QStringLiteral("%1: ref %2 names no asset").arg(where, clip.assetId));
        return;
    }
    if (clip.sourceStart < asset->start || clip.sourceStart + clip.duration > asset->start + asset->duration)
        fault(QStringLiteral("%1: source %2-%3 is not inside asset %4 (%5-%6)")
                  .arg(where).arg(clip.sourceStart).arg(clip.sourceStart + clip.duration).arg(asset->id)
                  .arg(asset->start).arg(asset->start + asset->duration));
}

FcpxmlClip Reader::element(const XmlNode &node, const QString &where, qint64 sequenceStart)
{
    FcpxmlClip clip;
    clip.name = node.attribute(u"name");
    clip.sequenceStart = sequenceStart;
    clip.duration = frames(node, u"duration", where);
    if (node.name == QLatin1String("asset-clip")) {
        clip.assetId = node.attribute(u"ref");
        clip.sourceStart = frames(node, u"start", where);
    } else if (node.name == QLatin1String("gap")) {
        clip.sourceStart = frames(node, u"start", where, false);
    } else {
        fault(QStringLiteral("%1: <%2> is not a clip this reader knows").arg(where, node.name));
    }
    checkInsideAsset(clip, where);
    return clip;
}

void Reader::connectedAndMarkers(const XmlNode &node, const FcpxmlClip &parent, const QString &where)
{
    bool markersBegun = false;
    for (const XmlNode &child : node.children) {
        if (child.name == QLatin1String("marker")) {
            markersBegun = true;
            const qint64 start = frames(child, u"start", where + QStringLiteral(" marker"));
            if (frames(child, u"duration", where + QStringLiteral(" marker")) != 1)
                fault(where + QStringLiteral(": a marker that is not one frame long"));
            if (start < parent.sourceStart || start >= parent.sourceStart + parent.duration)
                fault(QStringLiteral("%1: marker \"%2\" lies outside it").arg(where, child.attribute(u"value")));
            m_out.markers.append({child.attribute(u"value"), parent.sequenceStart + start - parent.sourceStart});
            continue;
        }
        if (child.name != QLatin1String("asset-clip"))
            continue;
        if (markersBegun)
            fault(where + QStringLiteral(": a connected clip after the markers (the DTD's order)"));
        bool ok = false;
        const int lane = child.attribute(u"lane").toInt(&ok);
        const QString childWhere = QStringLiteral("%1, lane %2 clip \"%3\"").arg(where).arg(lane).arg(child.attribute(u"name"));
        if (!ok || lane == 0) {
            fault(childWhere + QStringLiteral(": a connected clip without a lane"));
            continue;
        }
        const qint64 offset = frames(child, u"offset", childWhere);
        FcpxmlClip clip = element(child, childWhere, parent.sequenceStart + offset - parent.sourceStart);
        clip.lane = lane;
        QList<FcpxmlClip> &inLane = m_out.lanes[lane];
        for (const FcpxmlClip &other : inLane) {
            if (clip.sequenceStart < other.sequenceStart + other.duration && other.sequenceStart < clip.sequenceStart + clip.duration)
                fault(childWhere + QStringLiteral(": overlaps another clip of its lane"));
        }
        inLane.append(clip);
    }
}

void Reader::read(const XmlNode &root, std::optional<qint64> expectedDuration)
{
    if (root.name != QLatin1String("fcpxml") || root.attribute(u"version") != QLatin1String("1.9"))
        fault(QStringLiteral("the root is not <fcpxml version=\"1.9\">"));
    const XmlNode *resourcesNode = root.child(u"resources");
    if (!resourcesNode) {
        fault(QStringLiteral("no resources"));
        return;
    }
    resources(*resourcesNode);
    if (m_out.rateNumerator <= 0)
        return;
    const XmlNode *library = root.child(u"library");
    const QList<const XmlNode *> events = library ? library->all(u"event") : QList<const XmlNode *>();
    const QList<const XmlNode *> projects = events.size() == 1 ? events.first()->all(u"project") : QList<const XmlNode *>();
    const XmlNode *sequence = projects.size() == 1 ? projects.first()->child(u"sequence") : nullptr;
    if (!sequence) {
        fault(QStringLiteral("not one library with one event holding one project and its sequence"));
        return;
    }
    m_out.eventName = events.first()->attribute(u"name");
    m_out.projectName = projects.first()->attribute(u"name");
    if (!m_formats.contains(sequence->attribute(u"format")))
        fault(QStringLiteral("the sequence's format names no format"));
    m_out.width = m_formats.value(sequence->attribute(u"format")).first;
    m_out.height = m_formats.value(sequence->attribute(u"format")).second;
    m_out.duration = frames(*sequence, u"duration", QStringLiteral("sequence"));
    m_out.tcStart = frames(*sequence, u"tcStart", QStringLiteral("sequence"));
    m_out.tcFormat = sequence->attribute(u"tcFormat");
    const bool ntsc = m_out.rateDenominator == 1001;
    if (m_out.tcFormat != QLatin1String("NDF") && !(m_out.tcFormat == QLatin1String("DF") && ntsc))
        fault(QStringLiteral("tcFormat \"%1\" at %2/%3 fps").arg(m_out.tcFormat).arg(m_out.rateNumerator).arg(m_out.rateDenominator));
    if (expectedDuration && m_out.duration != *expectedDuration)
        fault(QStringLiteral("the sequence is %1 frames, the take %2").arg(m_out.duration).arg(*expectedDuration));

    const XmlNode *spine = sequence->child(u"spine");
    if (!spine) {
        fault(QStringLiteral("no spine"));
        return;
    }
    // The primary storyline: each element right where the one before ends, from tcStart on.
    qint64 at = 0;
    for (const XmlNode &node : spine->children) {
        const QString where = QStringLiteral("storyline %1 \"%2\"").arg(node.name, node.attribute(u"name"));
        const qint64 offset = frames(node, u"offset", where) - m_out.tcStart;
        if (offset != at)
            fault(QStringLiteral("%1: at frame %2, where the storyline reached %3").arg(where).arg(offset).arg(at));
        const FcpxmlClip clip = element(node, where, offset);
        m_out.storyline.append(clip);
        connectedAndMarkers(node, clip, where);
        at = offset + clip.duration;
    }
    if (at != m_out.duration)
        fault(QStringLiteral("the storyline ends at frame %1, the sequence at %2").arg(at).arg(m_out.duration));
}

} // namespace

const FcpxmlAsset *FcpxmlTimeline::asset(const QString &id) const
{
    for (const FcpxmlAsset &a : assets) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

FcpxmlTimeline readFcpxml(const QByteArray &document, std::optional<qint64> expectedDurationFrames)
{
    FcpxmlTimeline timeline;
    QString error;
    const std::optional<XmlNode> root = parseXmlTree(document, &error);
    if (!root) {
        timeline.faults.append(error);
        return timeline;
    }
    Reader(timeline).read(*root, expectedDurationFrames);
    return timeline;
}

FcpxmlTimeline readFcpxmlFile(const QString &path, std::optional<qint64> expectedDurationFrames)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        FcpxmlTimeline timeline;
        timeline.faults.append(path + QStringLiteral(": ") + file.errorString());
        return timeline;
    }
    return readFcpxml(file.readAll(), expectedDurationFrames);
}

QStringList checkFcpxmlMedia(const FcpxmlTimeline &timeline)
{
    QList<TimelineFileClaim> claims;
    for (const FcpxmlAsset &asset : timeline.assets) {
        TimelineFileClaim claim{asset.id, asset.path, asset.hasVideo, asset.duration, 0, asset.start, asset.width, asset.height};
        QList<QList<FcpxmlClip>> groups = timeline.lanes.values();
        groups.append(timeline.storyline);
        for (const QList<FcpxmlClip> &lane : groups) {
            for (const FcpxmlClip &clip : lane) {
                if (clip.assetId == asset.id)
                    claim.usedFrames = std::max(claim.usedFrames, clip.sourceStart + clip.duration - asset.start);
            }
        }
        claims.append(claim);
    }
    const int timebase = int((timeline.rateNumerator + timeline.rateDenominator / 2) / std::max<qint64>(1, timeline.rateDenominator));
    return checkFileClaims(claims, timeline.framesPerSecond(), timebase);
}
