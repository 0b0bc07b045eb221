#include "remote/RemoteControlServer.h"

#include "app/ApplicationManager.h"
#include "remote/AccessKey.h"
#include "remote/HostCheck.h"
#include "remote/HttpRequestParser.h"
#include "remote/HttpResponse.h"
#include "remote/LocalAddress.h"
#include "remote/PreviewStream.h"
#include "remote/QrCodeImage.h"
#include "remote/RemoteAccessSettings.h"
#include "remote/RequestAccess.h"
#include "remote/SocketAcceptor.h"
#include "remote/StudioApi.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

// One connection that has not become a preview client: its request as far as it came, and
// the timer that cuts it when it goes quiet (child of the socket, deleted with it).
struct RemoteControlServer::Connection
{
    QString address; // the peer, as counted in the connection limits
    HttpRequestParser parser;
    QTimer *timer = nullptr;
    bool answered = false;
    bool continueSent = false;
    bool halfClosed = false;
};

namespace {

enum class Route { Page, Style, Script, Status, Devices, SourceFormats, AddSource, RemoveSource, RemoveAudio, Switch, Record, Marker, Stream, Collect, Studio, NotFound };

Route routeFor(const QString &path)
{
    if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        return Route::Page;
    if (path == QLatin1String("/remote.css"))
        return Route::Style;
    if (path == QLatin1String("/remote.js"))
        return Route::Script;
    if (path == QLatin1String("/api/status") || path == QLatin1String("/api/sources"))
        return Route::Status;
    if (path == QLatin1String("/api/devices") || path == QLatin1String("/devices_info.json"))
        return Route::Devices;
    if (path == QLatin1String("/api/source_formats"))
        return Route::SourceFormats;
    if (path == QLatin1String("/api/add_source"))
        return Route::AddSource;
    if (path == QLatin1String("/api/remove_source"))
        return Route::RemoveSource;
    if (path == QLatin1String("/api/remove_audio"))
        return Route::RemoveAudio;
    if (path == QLatin1String("/api/switch"))
        return Route::Switch;
    if (path == QLatin1String("/api/record"))
        return Route::Record;
    if (path == QLatin1String("/api/marker"))
        return Route::Marker;
    if (path == QLatin1String("/stream.mjpg") || path == QLatin1String("/preview.mjpg"))
        return Route::Stream;
    if (path == QLatin1String("/api/studio/collect"))
        return Route::Collect;
    if (StudioApi::isStudioPath(path))
        return Route::Studio;
    return Route::NotFound;
}

bool changesState(Route route)
{
    return route == Route::AddSource || route == Route::RemoveSource || route == Route::RemoveAudio
           || route == Route::Switch || route == Route::Record || route == Route::Marker
           || route == Route::Collect;
}

// Everything but the page's own files and unknown paths reads or drives the recorder. The
// page, its style and its script carry no state; the page learns the key from its link.
bool needsAccess(Route route)
{
    return route != Route::Page && route != Route::Style && route != Route::Script && route != Route::NotFound;
}

const QByteArray kKeyRequired("access key required");
const QByteArray kTooManyWrongKeys("too many wrong access keys");

void shutdownSending(QTcpSocket *socket)
{
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return;
#ifdef _WIN32
    ::shutdown(SOCKET(descriptor), SD_SEND);
#else
    ::shutdown(int(descriptor), SHUT_WR);
#endif
}

} // namespace

RemoteControlServer::RemoteControlServer(ApplicationManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : ApplicationManager::instance())
    , m_api(m_manager)
    , m_hostNames(HostCheck::localHostNames())
{
    m_stream = new PreviewStream([this] { return m_manager->sourceForChannel(m_manager->activeSourceId()); }, this);
    connect(m_stream, &PreviewStream::clientCountChanged, this, &RemoteControlServer::clientCountChanged);
    const RemoteAccessSettings::Values access = RemoteAccessSettings::load();
    m_accessKey = access.key;
    m_requireAccessKey = access.keyRequired;
    m_clock.start();
}

RemoteControlServer::~RemoteControlServer()
{
    if (m_running)
        stopServer();
}

RemoteControlServer *RemoteControlServer::instance()
{
    static RemoteControlServer server;
    static const bool stopsAtQuit = [] {
        if (QCoreApplication *app = QCoreApplication::instance()) {
            // Close the sockets while the event loop can still delete them.
            QObject::connect(app, &QCoreApplication::aboutToQuit, &server, [] {
                if (server.isRunning())
                    server.stopServer();
            });
        }
        return true;
    }();
    Q_UNUSED(stopsAtQuit);
    return &server;
}

void RemoteControlServer::setChannelsModel(InputChannelsModel *model)
{
    m_api.setChannelsModel(model);
}

void RemoteControlServer::setStudioFollower(StudioFollower *follower)
{
    m_studio.setFollower(follower);
}

void RemoteControlServer::setStudioJoinHandler(StudioApi::JoinHandler handler)
{
    m_studio.setJoinHandler(std::move(handler));
}

int RemoteControlServer::clientCount() const
{
    return m_stream->clientCount();
}

void RemoteControlServer::startServer()
{
    startServer(DefaultPort);
}

void RemoteControlServer::startServer(int port)
{
    if (m_running)
        stopServer();
    if (port < 0 || port > 65535) {
        qCritical() << "[RemoteControlServer] Failed to listen on any port:" << "no such port" << port;
        return;
    }

    auto *listener = new QTcpServer(this);
    // A phone page opens several connections at once, and so do tests and load tools; a
    // deeper queue keeps a burst from waiting on SYN retries.
    listener->setListenBacklogSize(128);
    if (!listener->listen(QHostAddress::AnyIPv4, quint16(port))) {
        const int fallback = port + 1;
        qWarning() << "[RemoteControlServer] Port" << port << "busy, trying" << fallback;
        if (fallback > 65535 || !listener->listen(QHostAddress::AnyIPv4, quint16(fallback))) {
            qCritical() << "[RemoteControlServer] Failed to listen on any port:" << listener->errorString();
            delete listener;
            return;
        }
    }

    m_listener = listener;
    m_acceptor = new SocketAcceptor(listener, AcceptPauseMs, listener);
    connect(m_acceptor, &SocketAcceptor::newConnection, this, &RemoteControlServer::onNewConnection);
    connect(m_acceptor, &SocketAcceptor::resourcesExhausted, this, [this](const QString &text) {
        // Once per shortage, not once per rest.
        if (!m_lastAcceptRested) {
            qWarning() << "[RemoteControlServer] Cannot accept a connection:" << text << "- resting for"
                       << AcceptPauseMs << "ms at a time until descriptors are free";
        }
        m_lastAcceptRested = true;
    });
    m_port = listener->serverPort();
    m_localIp = LocalAddress::choose(LocalAddress::systemInterfaces());
    m_running = true;
    rebuildServerUrl();

    emit serverStateChanged();
    emit serverUrlChanged();
    emit localIpChanged();
    emit portChanged();
    emit clientCountChanged();
    // Without the key: the log may end up in a bug report.
    qDebug() << "[RemoteControlServer] Online at:" << QStringLiteral("http://%1:%2/").arg(m_localIp).arg(m_port)
             << (m_requireAccessKey ? "(access key required)" : "(open to the network: no access key)");
}

void RemoteControlServer::stopServer()
{
    m_stream->closeAll();
    // Requests still being read are cut; their sockets go with the listener.
    const auto connections = std::exchange(m_connections, {});
    m_limits = ConnectionLimits();
    for (const auto &[socket, connection] : connections) {
        socket->disconnect(this);
        socket->abort();
    }
    if (m_acceptor)
        m_acceptor->stop(); // deleted with the listener
    m_acceptor = nullptr;
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_running = false;
    emit serverStateChanged();
    emit clientCountChanged();
    qDebug() << "[RemoteControlServer] Stopped.";
}

void RemoteControlServer::toggleServer()
{
    if (m_running)
        stopServer();
    else
        startServer(m_port > 0 ? m_port : DefaultPort);
}

void RemoteControlServer::refreshNetworkInfo()
{
    m_localIp = LocalAddress::choose(LocalAddress::systemInterfaces());
    rebuildServerUrl();
    emit localIpChanged();
    emit serverUrlChanged();
}

void RemoteControlServer::rebuildServerUrl()
{
    m_serverUrl = QStringLiteral("http://%1:%2/").arg(m_localIp).arg(m_port);
    if (m_requireAccessKey)
        m_serverUrl += QStringLiteral("?key=") + m_accessKey;
    regenerateQrCode();
}

void RemoteControlServer::newAccessKey()
{
    m_accessKey = AccessKey::generate();
    RemoteAccessSettings::saveKey(m_accessKey);
    qDebug() << "[RemoteControlServer] New access key: phones must scan the QR code again.";
    closeStreamViewers();
    emit accessKeyChanged();
    if (!m_localIp.isEmpty()) {
        rebuildServerUrl();
        emit serverUrlChanged();
    }
}

void RemoteControlServer::setRequireAccessKey(bool required)
{
    if (required == m_requireAccessKey)
        return;
    m_requireAccessKey = required;
    RemoteAccessSettings::saveKeyRequired(required);
    if (required)
        closeStreamViewers(); // they may have come in without the key
    else
        qWarning() << "[RemoteControlServer] Access key switched off: anyone on the network can control the recorder.";
    emit requireAccessKeyChanged();
    if (!m_localIp.isEmpty()) {
        rebuildServerUrl();
        emit serverUrlChanged();
    }
}

void RemoteControlServer::closeStreamViewers()
{
    if (m_stream->clientCount() == 0)
        return;
    m_stream->closeAll();
    emit clientCountChanged();
}

void RemoteControlServer::regenerateQrCode()
{
    if (m_serverUrl.isEmpty()) {
        m_qrCodeDataUrl.clear();
        emit qrCodeDataUrlChanged();
        return;
    }
    QString error;
    const QString dataUrl = QrCodeImage::dataUrl(m_serverUrl, &error);
    if (dataUrl.isEmpty()) {
        qWarning() << "[RemoteControlServer] QR code generation error:" << qPrintable(error);
        return;
    }
    m_qrCodeDataUrl = dataUrl;
    emit qrCodeDataUrlChanged();
}

void RemoteControlServer::onNewConnection()
{
    while (m_acceptor && m_acceptor->hasPendingConnections()) {
        QTcpSocket *socket = m_acceptor->nextPendingConnection();
        if (!socket)
            break;
        m_lastAcceptRested = false;
        const QString address = socket->peerAddress().toString();
        if (!m_limits.tryAdmit(address)) {
            refuseConnection(socket);
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, &RemoteControlServer::onSocketReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &RemoteControlServer::onSocketDisconnected);

        auto connection = std::make_unique<Connection>();
        connection->address = address;
        connection->timer = new QTimer(socket);
        connection->timer->setSingleShot(true);
        connect(connection->timer, &QTimer::timeout, socket, [socket] {
            qDebug() << "[RemoteControlServer] Closing an idle connection from" << socket->peerAddress().toString();
            socket->abort();
        });
        connection->timer->start(m_requestTimeoutMs);
        m_connections.emplace(socket, std::move(connection));
    }
}

void RemoteControlServer::refuseConnection(QTcpSocket *socket)
{
    // One summary line every ten seconds at most: a flood must not become a flood of log
    // writes on the GUI thread.
    ++m_refusedSinceLog;
    const qint64 now = m_clock.elapsed();
    if (m_refusalLoggedMs < 0 || now - m_refusalLoggedMs >= 10'000) {
        qDebug() << "[RemoteControlServer] Connection limit reached: refused" << m_refusedSinceLog
                 << "connection(s), the last from" << socket->peerAddress().toString();
        m_refusedSinceLog = 0;
        m_refusalLoggedMs = now;
    }
    // What the client already sent is read first: closing on unread bytes would reset the
    // connection and could destroy the answer before the client reads it.
    socket->readAll();
    socket->write(HttpResponse::error(503));
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else
        QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
}

void RemoteControlServer::onSocketReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    // Always read: what a preview client or an answered connection still sends is dropped
    // here rather than piling up in the socket's buffer.
    const QByteArray bytes = socket->readAll();
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->second->answered)
        return;
    Connection &connection = *found->second;

    switch (connection.parser.feed(bytes)) {
    case HttpRequestParser::State::Incomplete:
        if (connection.parser.isHeadComplete() && !connection.continueSent
            && connection.parser.request().header("Expect").toLower() == "100-continue") {
            connection.continueSent = true;
            socket->write(HttpResponse::continueInterim());
            socket->flush();
        }
        break;
    case HttpRequestParser::State::Failed:
        qDebug() << "[RemoteControlServer] Refused a request from" << socket->peerAddress().toString() << ":"
                 << connection.parser.errorText();
        respond(socket, HttpResponse::error(connection.parser.errorStatus()));
        break;
    case HttpRequestParser::State::Complete:
        handleRequest(socket, connection.parser.request());
        break;
    }
}

void RemoteControlServer::onSocketDisconnected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    m_stream->removeClient(socket);
    forgetConnection(socket);
    socket->deleteLater();
}

void RemoteControlServer::onStreamTimerTimeout()
{
    m_stream->tick();
}

void RemoteControlServer::forgetConnection(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    found->second->timer->stop();
    found->second->timer->deleteLater();
    m_limits.release(found->second->address);
    m_connections.erase(found);
}

void RemoteControlServer::handleRequest(QTcpSocket *socket, const HttpRequest &request)
{
    const QByteArray host = request.header("Host");
    const QByteArray origin = request.header("Origin");
    if (!HostCheck::isAllowedHost(host, m_hostNames) || !HostCheck::isSameOrigin(origin, host)) {
        qDebug() << "[RemoteControlServer] Refused a request for another site: Host" << host << "Origin" << origin;
        respond(socket, HttpResponse::error(403));
        return;
    }

    const Route route = routeFor(request.path);
    const QByteArray &method = request.method;
    if (method == "OPTIONS") {
        // A preflight asks what is allowed; it changes nothing.
        respond(socket, route == Route::NotFound ? HttpResponse::notFound() : HttpResponse::preflight());
        return;
    }
    const bool headOnly = method == "HEAD";
    const bool studioChange = route == Route::Studio && StudioApi::changesState(request.path);
    // A marker is dropped by POST only: a browser may fetch a GET address ahead of time.
    if ((!headOnly && method != "GET" && method != "POST") || (headOnly && (changesState(route) || studioChange))
        || (route == Route::Marker && method != "POST")) {
        respond(socket, HttpResponse::error(405));
        return;
    }
    if (needsAccess(route)) {
        const QByteArray refusal = refusalFor(socket, request);
        if (!refusal.isEmpty()) {
            respond(socket, headOnly ? HttpResponse::withoutBody(refusal) : refusal);
            return;
        }
    }
    if (route == Route::Stream) {
        if (headOnly)
            respond(socket, HttpResponse::streamHead());
        else
            startStream(socket);
        return;
    }
    if (route == Route::Studio) {
        const QByteArray answer = m_studio.handle(request, socket, headOnly);
        if (answer.isEmpty())
            forgetConnection(socket); // a download has the connection now
        else
            respond(socket, headOnly ? HttpResponse::withoutBody(answer) : answer);
        return;
    }

    QByteArray response;
    switch (route) {
    case Route::Page: response = HttpResponse::html(pageFile(QStringLiteral("remote.html"))); break;
    case Route::Style:
        response = HttpResponse::file("text/css; charset=utf-8", pageFile(QStringLiteral("remote.css")));
        break;
    case Route::Script:
        response = HttpResponse::file("text/javascript; charset=utf-8", pageFile(QStringLiteral("remote.js")));
        break;
    case Route::Status: response = HttpResponse::json(m_api.statusJson()); break;
    case Route::Devices: response = HttpResponse::json(m_api.devicesJson()); break;
    case Route::SourceFormats: response = HttpResponse::json(m_api.sourceFormats(request)); break;
    case Route::AddSource: response = HttpResponse::json(m_api.addSource(request)); break;
    case Route::RemoveSource: response = HttpResponse::json(m_api.removeSource(request)); break;
    case Route::RemoveAudio: response = HttpResponse::json(m_api.removeAudio(request)); break;
    case Route::Switch: response = HttpResponse::json(m_api.switchSource(request)); break;
    case Route::Record: response = HttpResponse::json(m_api.toggleRecording()); break;
    case Route::Collect: response = HttpResponse::json(m_api.collectFiles()); break;
    case Route::Marker: {
        const RemoteApi::Answer answer = m_api.dropMarker(request);
        response = answer.status == 200 ? HttpResponse::json(answer.body) : HttpResponse::jsonError(answer.status, answer.body);
        break;
    }
    case Route::Stream:
    case Route::Studio:
    case Route::NotFound: response = HttpResponse::notFound(); break;
    }
    respond(socket, headOnly ? HttpResponse::withoutBody(response) : response);
}

QByteArray RemoteControlServer::refusalFor(QTcpSocket *socket, const HttpRequest &request)
{
    const QString address = socket->peerAddress().toString();
    const qint64 now = m_clock.elapsed();
    const RequestAccess::Policy policy{m_requireAccessKey, m_accessKey.toLatin1()};
    switch (RequestAccess::decide(request, policy, m_wrongKeys.isBlocked(address, now))) {
    case RequestAccess::Decision::Allowed:
        return QByteArray();
    case RequestAccess::Decision::ForeignSite:
        qDebug() << "[RemoteControlServer] Refused a request another site made:" << request.method << request.path
                 << "Sec-Fetch-Site" << request.header("Sec-Fetch-Site");
        return HttpResponse::error(403);
    case RequestAccess::Decision::Blocked: {
        const qint64 left = m_wrongKeys.blockedUntilMs(address, now) - now;
        return HttpResponse::jsonError(429, kTooManyWrongKeys, int((left + 999) / 1000));
    }
    case RequestAccess::Decision::KeyWrong:
        if (m_wrongKeys.recordWrongKey(address, now)) {
            qWarning() << "[RemoteControlServer]" << WrongKeyLimiter::MaxWrongKeys << "wrong access keys from"
                       << address << "within a minute; refusing it for" << WrongKeyLimiter::BlockMs / 1000 << "s";
        }
        return HttpResponse::jsonError(401, kKeyRequired);
    case RequestAccess::Decision::KeyMissing:
        return HttpResponse::jsonError(401, kKeyRequired);
    }
    return HttpResponse::error(403);
}

void RemoteControlServer::respond(QTcpSocket *socket, const QByteArray &response)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    // From here the timer bounds how long the client may take to collect the answer.
    found->second->answered = true;
    found->second->timer->start(m_requestTimeoutMs);

    socket->write(response);
    socket->flush();
    if (socket->bytesToWrite() == 0) {
        finishResponse(socket);
        return;
    }
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket->bytesToWrite() == 0)
            finishResponse(socket);
    });
}

void RemoteControlServer::finishResponse(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->second->halfClosed)
        return;
    found->second->halfClosed = true;
    // Half-close instead of closing: the client sees the end of the answer at once, and what
    // it may still be sending (say the rest of a refused upload) is read and dropped until it
    // closes its side. Closing with unread bytes would make the kernel send a reset, which
    // can destroy the answer before the client has read it.
    shutdownSending(socket);
}

void RemoteControlServer::startStream(QTcpSocket *socket)
{
    if (m_stream->clientCount() >= PreviewStream::MaxClients) {
        respond(socket, HttpResponse::error(503));
        return;
    }
    forgetConnection(socket);
    m_stream->addClient(socket);
}

QByteArray RemoteControlServer::pageFile(const QString &name)
{
    QByteArray &bytes = m_pageFiles[name];
    if (bytes.isEmpty()) {
        QFile file(QStringLiteral(":/remote/") + name);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        else
            qWarning() << "[RemoteControlServer] Cannot read the control page's" << name << ":" << file.errorString();
    }
    return bytes;
}
