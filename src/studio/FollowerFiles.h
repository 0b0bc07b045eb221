// FollowerFiles: which files a follower hands out to its leader. Only files of its own
// studio takes: a take folder inside its recording folder that holds its take report
// (StudioTakeReport::kManifestName), and only the files that report lists, opened read-only.
// A name that climbs out of the folder, a folder elsewhere, a link pointing out of the take
// folder or a file the report does not list are all refused alike.
//
// Pure apart from reading the file system; any thread.
#pragma once

#include <QString>
#include <QtGlobal>

class FollowerFiles
{
public:
    explicit FollowerFiles(const QString &recordingRoot) : m_root(recordingRoot) {}

    struct Resolved
    {
        QString path;   // canonical path of the file; empty when refused
        qint64 size = 0;
        QString refusal; // why not, for the log
        bool isServed() const { return !path.isEmpty(); }
    };

    // `takeId` as in the take report ("Session/Take_02"), `name` a file it lists.
    Resolved resolve(const QString &takeId, const QString &name) const;
    // The folder of one of its studio takes; empty when `takeId` names none.
    QString takeFolder(const QString &takeId, QString *refusal = nullptr) const;

private:
    QString m_root;
};
