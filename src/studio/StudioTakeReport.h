// StudioTakeReport: what one recorder of a studio take wrote, as the leader needs it for the
// studio timelines and for collecting the files: the take's folder (relative to that
// recorder's recording folder), its start timecode and rate, its length, and every file with
// its size, length and checksum (SHA-256, filled in once the recorder has read the finished
// file back).
//
// A follower keeps the report of each studio take in the take folder (kManifestName); it is
// also the list of what that follower serves of the take (FollowerFiles), so only files it
// wrote itself ever leave it. Names are plain file names inside the take folder: a report
// naming anything else ("../x", "a/b") is refused when read.
//
// Plain data and pure functions; the file functions use the calling thread.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

struct StudioTakeFile
{
    QString name;       // "Camera_01.mp4", "Master_Audio_Output.wav"
    QString kind;       // "video" or "audio"
    int channelId = 0;  // the recorder's own channel; 0 for the master mix
    qint64 bytes = 0;
    qint64 frames = 0;  // video frames, or audio sample frames
    qint64 durationMs = 0;
    QString sha256;     // lower-case hex; empty until computed

    friend bool operator==(const StudioTakeFile &, const StudioTakeFile &) = default;
};

struct StudioCamera
{
    int channelId = 0;
    QString name;
    friend bool operator==(const StudioCamera &, const StudioCamera &) = default;
};

struct StudioTakeReport
{
    static constexpr const char *kManifestName = "Studio_Take.json";

    QString machine;        // the recorder's machine name
    QString studioTakeId;   // the leader's name for the studio take
    QString takeId;         // "Session/Take_02", relative to the recorder's recording folder
    QString startTimecode;  // "HH:MM:SS:FF"
    double fps = 30.0;
    qint64 startWallNs = 0;
    qint64 durationMs = 0;
    QString failure;        // why the take ended early; empty when it ran to the end
    QList<StudioTakeFile> files;
    QList<StudioCamera> cameras; // the recorder's cameras in the take

    QJsonObject toJson() const;
    // Empty, with `error`, when the object is no report or names a file outside its folder.
    static std::optional<StudioTakeReport> fromJson(const QJsonObject &object, QString *error = nullptr);

    const StudioTakeFile *file(const QString &name) const;
    // Every file has its checksum.
    bool isHashed() const;
    qint64 totalBytes() const;

    friend bool operator==(const StudioTakeReport &, const StudioTakeReport &) = default;
};

namespace StudioTakeFiles {

// A name that stays inside a folder on every platform: not empty, no "/" or "\", no ":",
// no control character, not "." or "..".
bool isPlainFileName(const QString &name);

// "Session/Take_02": two plain names.
bool isTakeId(const QString &takeId);

// Writes the report into `takeFolder` (replacing the earlier one, atomically); false with
// `error` when it cannot.
bool writeManifest(const QString &takeFolder, const StudioTakeReport &report, QString *error = nullptr);
std::optional<StudioTakeReport> readManifest(const QString &takeFolder, QString *error = nullptr);

// A machine name as a folder name: the characters a file name cannot hold become "_"; an
// empty name becomes "Recorder".
QString folderNameFor(const QString &machine);

} // namespace StudioTakeFiles
