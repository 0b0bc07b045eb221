#include "studio/StudioAngles.h"

#include <QDir>

namespace {

QString cameraName(const QList<StudioCamera> &cameras, int channelId)
{
    for (const StudioCamera &camera : cameras) {
        if (camera.channelId == channelId && !camera.name.isEmpty())
            return camera.name;
    }
    return QStringLiteral("Camera %1").arg(channelId);
}

QString audioName(const QString &machine, int channelId)
{
    return channelId == 0 ? QStringLiteral("%1 Master audio").arg(machine)
                          : QStringLiteral("%1 Channel %2 audio").arg(machine).arg(channelId);
}

} // namespace

StudioAngles studioAngles(const LeaderTakeFiles &leader, const std::vector<StudioLeader::Member> &members,
                          const QString &leaderTakeFolder)
{
    StudioAngles angles;
    for (const auto &[channelId, path] : leader.videoPaths) {
        const auto name = leader.cameraNames.find(channelId);
        const QString camera = name != leader.cameraNames.end() && !name->second.isEmpty() ? name->second
                                                                                           : QStringLiteral("Camera %1").arg(channelId);
        angles.video.append(StudioClip{channelId, leader.machine, channelId, leader.machine + QLatin1Char(' ') + camera, path,
                                       leader.durationMs, 0, true});
    }
    if (!leader.masterAudioPath.isEmpty())
        angles.audio.append(StudioClip{0, leader.machine, 0, audioName(leader.machine, 0), leader.masterAudioPath,
                                       leader.durationMs, 0, true});
    for (const auto &[channelId, path] : leader.channelAudioPaths)
        angles.audio.append(StudioClip{0, leader.machine, channelId, audioName(leader.machine, channelId), path,
                                       leader.durationMs, 0, true});

    for (const StudioLeader::Member &member : members) {
        if (!member.report)
            continue;
        const QDir folder(QDir(leaderTakeFolder).filePath(StudioTakeFiles::folderNameFor(member.name)));
        QList<StudioClip> masterFirst;
        for (const StudioTakeFile &file : member.report->files) {
            StudioClip clip;
            clip.machine = member.name;
            clip.channelId = file.channelId;
            clip.path = folder.filePath(file.name);
            clip.durationMs = file.durationMs;
            clip.frames = file.frames;
            if (file.kind == QLatin1String("video") && file.channelId >= 1) {
                clip.studioChannel = StudioLeader::studioChannel(member.followerIndex, file.channelId);
                clip.name = member.name + QLatin1Char(' ') + cameraName(member.report->cameras, file.channelId);
                angles.video.append(clip);
            } else if (file.kind == QLatin1String("audio")) {
                clip.name = audioName(member.name, file.channelId);
                if (file.channelId == 0)
                    masterFirst.prepend(clip);
                else
                    masterFirst.append(clip);
            }
        }
        angles.audio.append(masterFirst);
    }
    std::stable_sort(angles.video.begin(), angles.video.end(),
                     [](const StudioClip &a, const StudioClip &b) { return a.studioChannel < b.studioChannel; });
    return angles;
}
