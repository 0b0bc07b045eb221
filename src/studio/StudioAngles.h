// StudioAngles: every camera and audio file of a studio take as the leader's studio
// timelines lay them out: the leader's own files where they are, each follower's in its
// folder inside the leader's take folder (where "Collect files" puts them), the followers'
// cameras numbered after the leader's (StudioLeader::studioChannel) and named by machine
// ("B Test Pattern 1"), so an editor tells the angles apart. A follower whose report did not
// come contributes nothing.
//
// Pure.
#pragma once

#include "studio/StudioLeader.h"

#include <QList>
#include <QString>

#include <map>
#include <vector>

struct StudioClip
{
    int studioChannel = 0; // the camera's number in the studio; for audio, its camera's (0: none)
    QString machine;
    int channelId = 0;     // on its own machine; 0 for the master mix
    QString name;          // "B Test Pattern 1", "B Master audio"
    QString path;          // where the leader finds (or will find) the file
    qint64 durationMs = 0;
    qint64 frames = 0;
    bool isLocal = false;  // one of the leader's own files
};

struct StudioAngles
{
    QList<StudioClip> video; // studio channel order
    QList<StudioClip> audio; // machine order, the master mix first
};

// The leader's own part of the take.
struct LeaderTakeFiles
{
    QString machine;
    std::map<int, QString> videoPaths;  // channel id → file
    std::map<int, QString> cameraNames; // channel id → the camera's name
    QString masterAudioPath;
    std::map<int, QString> channelAudioPaths;
    qint64 durationMs = 0;
};

StudioAngles studioAngles(const LeaderTakeFiles &leader, const std::vector<StudioLeader::Member> &members,
                          const QString &leaderTakeFolder);

