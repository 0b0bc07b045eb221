#include "studio/StudioProtocol.h"

#include "recording/Timecode.h"

#include <QJsonArray>

namespace {

QString ns(qint64 value)
{
    return QString::number(value);
}

qint64 nsFrom(const QJsonValue &value, bool *ok = nullptr)
{
    bool parsed = false;
    qint64 result = 0;
    if (value.isString())
        result = value.toString().toLongLong(&parsed);
    if (ok)
        *ok = parsed;
    return result;
}

QJsonArray camerasJson(const QList<StudioCamera> &cameras)
{
    QJsonArray list;
    for (const StudioCamera &camera : cameras)
        list.append(QJsonObject{{QStringLiteral("channel"), camera.channelId}, {QStringLiteral("name"), camera.name}});
    return list;
}

QList<StudioCamera> camerasFrom(const QJsonValue &value)
{
    QList<StudioCamera> cameras;
    for (const QJsonValue &entry : value.toArray()) {
        const int channel = entry.toObject().value(QStringLiteral("channel")).toInt();
        if (channel >= 1)
            cameras.append(StudioCamera{channel, entry.toObject().value(QStringLiteral("name")).toString()});
    }
    return cameras;
}

} // namespace

QJsonObject StudioText::toJson() const
{
    return QJsonObject{{QStringLiteral("en"), en}, {QStringLiteral("sr"), sr}};
}

StudioText StudioText::fromJson(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    return StudioText{object.value(QStringLiteral("en")).toString(), object.value(QStringLiteral("sr")).toString()};
}

QJsonObject FollowerStatus::toJson() const
{
    return QJsonObject{{QStringLiteral("machine"), machine},
                       {QStringLiteral("wallNs"), ns(wallNs)},
                       {QStringLiteral("sync"), sync.toJson()},
                       {QStringLiteral("isRecording"), isRecording},
                       {QStringLiteral("isArming"), isArming},
                       {QStringLiteral("countdownSeconds"), countdownSeconds},
                       {QStringLiteral("studioTake"), studioTakeId},
                       {QStringLiteral("take"), takeId},
                       {QStringLiteral("problem"), problem.toJson()},
                       {QStringLiteral("fps"), fps},
                       {QStringLiteral("cameras"), camerasJson(cameras)},
                       {QStringLiteral("diskFreeBytes"), double(diskFreeBytes)}};
}

FollowerStatus FollowerStatus::fromJson(const QJsonObject &object)
{
    FollowerStatus status;
    status.machine = object.value(QStringLiteral("machine")).toString();
    status.wallNs = nsFrom(object.value(QStringLiteral("wallNs")));
    status.sync = ClockSyncState::fromJson(object.value(QStringLiteral("sync")).toObject());
    status.isRecording = object.value(QStringLiteral("isRecording")).toBool();
    status.isArming = object.value(QStringLiteral("isArming")).toBool();
    status.countdownSeconds = object.value(QStringLiteral("countdownSeconds")).toInt();
    status.studioTakeId = object.value(QStringLiteral("studioTake")).toString();
    status.takeId = object.value(QStringLiteral("take")).toString();
    status.problem = StudioText::fromJson(object.value(QStringLiteral("problem")));
    status.fps = object.value(QStringLiteral("fps")).toDouble(30.0);
    status.cameras = camerasFrom(object.value(QStringLiteral("cameras")));
    status.diskFreeBytes = qint64(object.value(QStringLiteral("diskFreeBytes")).toDouble(-1));
    return status;
}

QJsonObject StudioTakePlan::toJson() const
{
    return QJsonObject{{QStringLiteral("studioTake"), studioTakeId},
                       {QStringLiteral("startNs"), ns(start.startWallNs)},
                       {QStringLiteral("timecode"), start.timecode},
                       {QStringLiteral("fps"), start.fps},
                       {QStringLiteral("session"), session},
                       {QStringLiteral("leader"), leader}};
}

std::optional<StudioTakePlan> StudioTakePlan::fromJson(const QJsonObject &object)
{
    StudioTakePlan plan;
    bool hasInstant = false;
    plan.studioTakeId = object.value(QStringLiteral("studioTake")).toString();
    plan.start.startWallNs = nsFrom(object.value(QStringLiteral("startNs")), &hasInstant);
    plan.start.timecode = object.value(QStringLiteral("timecode")).toString();
    plan.start.fps = Timecode::usableFrameRate(object.value(QStringLiteral("fps")).toDouble(30.0));
    plan.session = object.value(QStringLiteral("session")).toString();
    plan.leader = object.value(QStringLiteral("leader")).toString();
    const int base = Timecode::timebase(plan.start.fps);
    if (plan.studioTakeId.isEmpty() || !hasInstant
        || !Timecode::frameCount(plan.start.timecode, base, Timecode::isNtscRate(plan.start.fps)))
        return std::nullopt;
    return plan;
}

QJsonObject StopCommand::toJson() const
{
    return QJsonObject{{QStringLiteral("studioTake"), studioTakeId}, {QStringLiteral("stopNs"), ns(stopWallNs)}};
}

std::optional<StopCommand> StopCommand::fromJson(const QJsonObject &object)
{
    StopCommand command;
    bool hasInstant = false;
    command.studioTakeId = object.value(QStringLiteral("studioTake")).toString();
    command.stopWallNs = nsFrom(object.value(QStringLiteral("stopNs")), &hasInstant);
    if (command.studioTakeId.isEmpty() || !hasInstant)
        return std::nullopt;
    return command;
}

QJsonObject CommandAnswer::toJson() const
{
    return QJsonObject{{QStringLiteral("accepted"), accepted},
                       {QStringLiteral("reason"), reason.toJson()},
                       {QStringLiteral("take"), takeId}};
}

CommandAnswer CommandAnswer::fromJson(const QJsonObject &object)
{
    CommandAnswer answer;
    answer.accepted = object.value(QStringLiteral("accepted")).toBool();
    answer.reason = StudioText::fromJson(object.value(QStringLiteral("reason")));
    answer.takeId = object.value(QStringLiteral("take")).toString();
    return answer;
}

QJsonObject JoinRequest::toJson() const
{
    return QJsonObject{{QStringLiteral("port"), int(port)}, {QStringLiteral("key"), key},
                       {QStringLiteral("machine"), machine}};
}

std::optional<JoinRequest> JoinRequest::fromJson(const QJsonObject &object)
{
    const int port = object.value(QStringLiteral("port")).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return JoinRequest{quint16(port), object.value(QStringLiteral("key")).toString(),
                       object.value(QStringLiteral("machine")).toString()};
}
