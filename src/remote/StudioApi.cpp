#include "remote/StudioApi.h"

#include "remote/ByteRange.h"
#include "remote/FileResponse.h"
#include "remote/HttpRequestParser.h"
#include "remote/HttpResponse.h"
#include "studio/FollowerFiles.h"
#include "studio/StudioFollower.h"
#include "studio/StudioProtocol.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QTcpSocket>

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject bodyObject(const HttpRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QByteArray badRequest(const QByteArray &message)
{
    return HttpResponse::jsonError(400, message);
}

} // namespace

bool StudioApi::isStudioPath(const QString &path)
{
    return path.startsWith(QLatin1String("/api/studio/"));
}

bool StudioApi::changesState(const QString &path)
{
    return path == QLatin1String(StudioRoutes::kArm) || path == QLatin1String(StudioRoutes::kStop)
           || path == QLatin1String(StudioRoutes::kJoin);
}

QByteArray StudioApi::handle(const HttpRequest &request, QTcpSocket *socket, bool headOnly)
{
    const QString &path = request.path;
    if (path == QLatin1String(StudioRoutes::kJoin))
        return m_join ? join(request, socket->peerAddress()) : HttpResponse::notFound();
    if (!m_follower)
        return HttpResponse::notFound();
    if (path == QLatin1String(StudioRoutes::kClock))
        return clock(request);
    if (path == QLatin1String(StudioRoutes::kArm))
        return arm(request);
    if (path == QLatin1String(StudioRoutes::kStop))
        return stop(request);
    if (path == QLatin1String(StudioRoutes::kTake))
        return take(request);
    if (path == QLatin1String(StudioRoutes::kFile))
        return file(request, socket, headOnly);
    return HttpResponse::notFound();
}

QByteArray StudioApi::clock(const HttpRequest &request)
{
    m_follower->noteLeaderContact(request.queryValue(QStringLiteral("leader")));
    return HttpResponse::json(compact(m_follower->status().toJson()));
}

QByteArray StudioApi::arm(const HttpRequest &request)
{
    const std::optional<StudioTakePlan> plan = StudioTakePlan::fromJson(bodyObject(request));
    if (!plan)
        return badRequest("not a studio take plan");
    return HttpResponse::json(compact(m_follower->arm(*plan).toJson()));
}

QByteArray StudioApi::stop(const HttpRequest &request)
{
    const std::optional<StopCommand> command = StopCommand::fromJson(bodyObject(request));
    if (!command)
        return badRequest("not a stop command");
    return HttpResponse::json(compact(m_follower->stop(*command).toJson()));
}

QByteArray StudioApi::take(const HttpRequest &request)
{
    m_follower->noteLeaderContact();
    const QString studioTakeId = request.queryValue(QStringLiteral("studioTake"));
    if (!studioTakeId.isEmpty()) {
        switch (m_follower->reportState(studioTakeId)) {
        case StudioFollower::ReportState::Pending:
            return HttpResponse::json(R"({"pending":true})");
        case StudioFollower::ReportState::Ready:
            return HttpResponse::json(compact(m_follower->report(studioTakeId)->toJson()));
        case StudioFollower::ReportState::Unknown:
            return HttpResponse::notFound();
        }
    }
    // An earlier take, from the report kept in its folder.
    const FollowerFiles files(m_follower->recordingRoot());
    const QString folder = files.takeFolder(request.queryValue(QStringLiteral("take")));
    if (folder.isEmpty())
        return HttpResponse::notFound();
    QString error;
    const std::optional<StudioTakeReport> report = StudioTakeFiles::readManifest(folder, &error);
    if (!report) {
        qWarning() << "[RemoteControlServer] Cannot read the take report in" << folder << ":" << error;
        return HttpResponse::notFound();
    }
    return HttpResponse::json(compact(report->toJson()));
}

QByteArray StudioApi::file(const HttpRequest &request, QTcpSocket *socket, bool headOnly)
{
    m_follower->noteLeaderContact();
    const FollowerFiles files(m_follower->recordingRoot());
    const FollowerFiles::Resolved resolved =
        files.resolve(request.queryValue(QStringLiteral("take")), request.queryValue(QStringLiteral("name")));
    if (!resolved.isServed()) {
        qDebug().noquote() << "[RemoteControlServer] Refused a take file:" << request.queryValue(QStringLiteral("take"))
                           << request.queryValue(QStringLiteral("name")) << "-" << resolved.refusal;
        return HttpResponse::notFound();
    }
    const ByteRange::Selection selection = ByteRange::select(request.header("Range"), resolved.size);
    if (selection.kind == ByteRange::Kind::Unsatisfiable)
        return HttpResponse::rangeNotSatisfiable(ByteRange::contentRange(selection, resolved.size));
    const bool partial = selection.kind == ByteRange::Kind::Partial;
    const QByteArray head = HttpResponse::fileHead(selection.length,
                                                   partial ? ByteRange::contentRange(selection, resolved.size) : QByteArray());
    if (headOnly)
        return head;
    if (!FileResponse::start(socket, resolved.path, selection.first, selection.length, head))
        return HttpResponse::notFound();
    return QByteArray();
}

QByteArray StudioApi::join(const HttpRequest &request, const QHostAddress &peer)
{
    const std::optional<JoinRequest> joining = JoinRequest::fromJson(bodyObject(request));
    if (!joining)
        return badRequest("not a join request");
    // The follower is reached where its request came from.
    QHostAddress address = peer;
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        address = QHostAddress(ipv4);
    QString error;
    const std::optional<LinkAddress> follower =
        parseLinkAddress(LinkAddress{address.toString(), joining->port, {}}.display(), joining->key, &error);
    if (!follower)
        return badRequest(error.toUtf8());
    const bool accepted = m_join(*follower, joining->machine);
    return HttpResponse::json(compact(QJsonObject{{QStringLiteral("accepted"), accepted}}));
}
