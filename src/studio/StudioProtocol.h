// StudioProtocol: what the recorders of a studio say to each other, in one place for both
// ends. The leader drives each follower through the follower's remote-control server, with
// the follower's access key, on these routes (JSON bodies, nanosecond instants as decimal
// text since JSON numbers lose them):
//   GET  /api/studio/clock  the follower's status and its wall clock (the clock probe)
//   POST /api/studio/arm    start a take at an instant of the follower's own clock
//   POST /api/studio/stop   stop it at an instant
//   GET  /api/studio/take   the take report of a studio take (?studioTake= or ?take=)
//   GET  /api/studio/file   one file of a studio take (?take=&name=), byte ranges allowed
// and a follower asks a leader to add it (POST /api/studio/join, with the leader's key).
//
// Plain data with JSON both ways; pure.
#pragma once

#include "studio/ClockSync.h"
#include "studio/StudioTakeReport.h"
#include "studio/StudioTime.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace StudioRoutes {
inline constexpr char kClock[] = "/api/studio/clock";
inline constexpr char kArm[] = "/api/studio/arm";
inline constexpr char kStop[] = "/api/studio/stop";
inline constexpr char kTake[] = "/api/studio/take";
inline constexpr char kFile[] = "/api/studio/file";
inline constexpr char kJoin[] = "/api/studio/join";
} // namespace StudioRoutes

// A text the operator reads, in both interface languages.
struct StudioText
{
    QString en;
    QString sr;

    bool isEmpty() const { return en.isEmpty(); }
    QString in(const QString &language) const { return language == QLatin1String("SR") && !sr.isEmpty() ? sr : en; }
    QJsonObject toJson() const;
    static StudioText fromJson(const QJsonValue &value);
    friend bool operator==(const StudioText &, const StudioText &) = default;
};

// The answer to a clock probe: who the follower is, what it is doing and what its clock read.
struct FollowerStatus
{
    QString machine;
    qint64 wallNs = 0;
    ClockSyncState sync;
    bool isRecording = false;
    bool isArming = false;
    int countdownSeconds = 0;
    QString studioTakeId; // the studio take it is armed for or recording; empty when none
    QString takeId;       // its own take folder of that take
    StudioText problem;   // why its last take ended early (a full disk); empty when none
    double fps = 30.0;
    QList<StudioCamera> cameras;
    qint64 diskFreeBytes = -1;

    QJsonObject toJson() const;
    static FollowerStatus fromJson(const QJsonObject &object);
};

// A studio take as the leader announces it.
struct StudioTakePlan
{
    QString studioTakeId;
    StudioTime::StartPlan start;
    QString session;
    QString leader;

    QJsonObject toJson() const;
    // Empty when the object is no plan (no id, no instant, no valid timecode).
    static std::optional<StudioTakePlan> fromJson(const QJsonObject &object);
};

struct StopCommand
{
    QString studioTakeId;
    qint64 stopWallNs = 0;

    QJsonObject toJson() const;
    static std::optional<StopCommand> fromJson(const QJsonObject &object);
};

struct CommandAnswer
{
    bool accepted = false;
    StudioText reason; // why not
    QString takeId;    // the follower's take folder of the studio take

    QJsonObject toJson() const;
    static CommandAnswer fromJson(const QJsonObject &object);
};

// A follower asking a leader to drive it: the leader reaches it at the address the request
// came from, on this port, with this key.
struct JoinRequest
{
    quint16 port = 0;
    QString key;
    QString machine;

    QJsonObject toJson() const;
    static std::optional<JoinRequest> fromJson(const QJsonObject &object);
};
