// A strict reader of FCPXML timelines, written for the tests: it reads a document the way
// Final Cut Pro's import does and lists every rule the document breaks.
//
// Rules: well-formed XML with <fcpxml version="1.9">; resources with unique ids, formats
// whose frame duration is the sequence's (each video asset's naming its file's picture size), one asset per file (no two assets name the same
// file), each asset a percent-encoded file URL with a length; a library holding one event
// with one project and its sequence; every reference resolving; every time a rational
// number of seconds on the frame grid; the primary storyline without holes or overlaps, as
// long as the sequence; every clip (on the storyline or connected in a lane) inside the
// sequence and inside its asset, clips of one lane never overlapping; markers one frame long,
// inside the element that holds them.
#pragma once

#include "TimelineMediaCheck.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

struct FcpxmlAsset
{
    QString id;
    QString name;
    QString path;         // the media-rep's file, percent-decoded
    qint64 start = 0;     // frames
    qint64 duration = 0;
    bool hasVideo = false;
    bool hasAudio = false;
    int audioChannels = 0;
    int audioRate = 0;
    int width = 0;        // a video asset's, by its format
    int height = 0;
};

struct FcpxmlClip
{
    QString assetId;      // empty for a gap
    QString name;
    int lane = 0;         // 0: on the primary storyline
    qint64 sequenceStart = 0; // frames from the start of the sequence
    qint64 sourceStart = 0;   // frames in the asset's own time
    qint64 duration = 0;
};

struct FcpxmlMarker
{
    QString value;
    qint64 frame = 0; // of the sequence
};

struct FcpxmlTimeline
{
    QString eventName;
    QString projectName;
    qint64 rateNumerator = 0;   // frames per second as a fraction (30000/1001)
    qint64 rateDenominator = 1;
    int width = 0, height = 0;
    qint64 duration = 0;  // frames
    qint64 tcStart = 0;   // frames
    QString tcFormat;
    QList<FcpxmlAsset> assets;
    QList<FcpxmlClip> storyline;         // the primary storyline, in order
    QMap<int, QList<FcpxmlClip>> lanes;  // connected clips by lane, in document order
    QList<FcpxmlMarker> markers;
    QStringList faults;

    const FcpxmlAsset *asset(const QString &id) const;
    double framesPerSecond() const { return rateDenominator > 0 ? double(rateNumerator) / rateDenominator : 0.0; }
};

FcpxmlTimeline readFcpxml(const QByteArray &document, std::optional<qint64> expectedDurationFrames = std::nullopt);
FcpxmlTimeline readFcpxmlFile(const QString &path, std::optional<qint64> expectedDurationFrames = std::nullopt);

// Every asset against its file (checkFileClaims).
QStringList checkFcpxmlMedia(const FcpxmlTimeline &timeline);
