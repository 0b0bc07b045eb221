// StudioApi: the routes by which the recorders of a studio drive each other (the paths in
// studio/StudioProtocol.h). On a follower: the leader's clock probe, arming and stopping a
// take at an instant, the take report and the take's files (read-only, only its own studio
// takes, byte ranges for resuming). On a leader: a follower asking to be driven (join).
//
// The server routes every "/api/studio/" request here after its checks (other sites, the
// access key), so a machine of the studio gets in exactly as far as a phone with the key.
// Without a follower or a join handler set, those routes answer 404.
//
// GUI thread; holds no state of its own beyond the pointers it is given.
#pragma once

#include "studio/LinkAddress.h"
#include "studio/StudioFollower.h"

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QString>

#include <functional>

class StudioFollower;
class QTcpSocket;
struct HttpRequest;

class StudioApi
{
public:
    // The leader's side of a join: link the follower at this address; false refuses it.
    using JoinHandler = std::function<bool(const LinkAddress &follower, const QString &machine)>;

    static bool isStudioPath(const QString &path);
    // Routes that change state (a HEAD request may not use them).
    static bool changesState(const QString &path);

    void setFollower(StudioFollower *follower) { m_follower = follower; }
    void setJoinHandler(JoinHandler handler) { m_join = std::move(handler); }

    // The answer to a studio request; empty when a file download took the socket over.
    QByteArray handle(const HttpRequest &request, QTcpSocket *socket, bool headOnly);

private:
    QByteArray clock(const HttpRequest &request);
    QByteArray arm(const HttpRequest &request);
    QByteArray stop(const HttpRequest &request);
    QByteArray take(const HttpRequest &request);
    QByteArray file(const HttpRequest &request, QTcpSocket *socket, bool headOnly);
    QByteArray join(const HttpRequest &request, const QHostAddress &peer);

    QPointer<StudioFollower> m_follower;
    JoinHandler m_join;
};
