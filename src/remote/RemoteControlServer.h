// RemoteControlServer: the phone remote control. A small HTTP/1.1 server on a TCP listener
// (port 8080, 8081 when that is busy) that serves the control page, a JSON API (status,
// devices, switching the programme source, recording, assigning cameras) and the MJPEG
// preview, and shows its address as a QR code. QML sees it as the singleton RemoteServer.
//
// One request per connection: a request is read whole (HttpRequestParser), checked against
// other sites (HostCheck) and for the access key (RequestAccess), answered at once, and the
// connection is closed; a stream request turns the connection into a preview client instead
// (PreviewStream). The JSON routes live in RemoteApi on top of ApplicationManager; the routes
// by which the recorders of a studio drive each other live in StudioApi, and a take file it
// sends takes the connection over (FileResponse).
//
// Only the operator's phone gets in: the API and the stream need the installation's access
// key (in the QR code's link; RemoteAccessSettings), wrong keys are rate-limited per address
// (WrongKeyLimiter), a request must be complete within 10 s of connecting, and connections are
// capped (ConnectionLimits, PreviewStream::MaxClients). When the process runs out of file
// descriptors the listener pauses instead of spinning on a connection it cannot take.
//
// Ownership: the process-wide instance() lives until exit; tests create their own. The server
// owns the listener, the listener its sockets (Qt parent). Threads: GUI thread only; sockets,
// timers and the manager calls all run there.
#pragma once

#include "remote/ConnectionLimits.h"
#include "remote/RemoteApi.h"
#include "remote/StudioApi.h"
#include "remote/WrongKeyLimiter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <unordered_map>

class ApplicationManager;
class InputChannelsModel;
class PreviewStream;
class QTcpServer;
class SocketAcceptor;
class QTcpSocket;
struct HttpRequest;

class RemoteControlServer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY serverStateChanged)
    Q_PROPERTY(QString serverUrl READ serverUrl NOTIFY serverUrlChanged)
    Q_PROPERTY(QString localIp READ localIp NOTIFY localIpChanged)
    Q_PROPERTY(int port READ port NOTIFY portChanged)
    Q_PROPERTY(int clientCount READ clientCount NOTIFY clientCountChanged)
    Q_PROPERTY(QString qrCodeDataUrl READ qrCodeDataUrl NOTIFY qrCodeDataUrlChanged)
    Q_PROPERTY(QString accessKey READ accessKey NOTIFY accessKeyChanged)
    Q_PROPERTY(bool requireAccessKey READ requireAccessKey WRITE setRequireAccessKey NOTIFY requireAccessKeyChanged)

public:
    static constexpr int DefaultPort = 8080;
    // How long after connecting a request must be complete (the clock is not restarted by
    // each byte, so a client trickling its request cannot hold the connection), and how long
    // an answered one may take to close, before it is cut.
    static constexpr int DefaultRequestTimeoutMs = 10'000;
    // How long the listener rests when the process has no file descriptor left.
    static constexpr int AcceptPauseMs = 250;

    // `manager` defaults to ApplicationManager::instance().
    explicit RemoteControlServer(ApplicationManager *manager = nullptr, QObject *parent = nullptr);
    ~RemoteControlServer() override;

    // The process-wide server, created on first use (thread-safe); it stops when the
    // application is about to quit.
    static RemoteControlServer *instance();

    // The channel model for names and the "active" fall-back; without one, the manager's.
    void setChannelsModel(InputChannelsModel *model);
    // This recorder's side of a studio another machine leads; none: those routes answer 404.
    void setStudioFollower(StudioFollower *follower);
    // What this recorder does when a follower asks to be led by it; none: 404.
    void setStudioJoinHandler(StudioApi::JoinHandler handler);

    bool isRunning() const { return m_running; }
    QString serverUrl() const { return m_serverUrl; }
    QString localIp() const { return m_localIp; }
    int port() const { return m_port; }
    int clientCount() const;
    QString qrCodeDataUrl() const { return m_qrCodeDataUrl; }
    // The access key; serverUrl carries it while it is required.
    QString accessKey() const { return m_accessKey; }
    bool requireAccessKey() const { return m_requireAccessKey; }
    // Switching the key on closes the preview viewers that came in without one.
    void setRequireAccessKey(bool required);

    // Open connections that are not preview clients (requests in progress or closing).
    int pendingConnectionCount() const { return int(m_connections.size()); }
    PreviewStream *previewStream() const { return m_stream; }
    // Tests shorten the request idle timeout.
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }

    // Starts listening on all IPv4 interfaces at `port`, or port + 1 when that is busy; a
    // running server restarts. Port 0 takes any free port.
    Q_INVOKABLE void startServer(int port);
    Q_INVOKABLE void startServer();
    Q_INVOKABLE void stopServer();
    Q_INVOKABLE void toggleServer();
    // Chooses the announced address again and rebuilds the URL and the QR code.
    Q_INVOKABLE void refreshNetworkInfo();
    // Replaces the access key (saved at once): phones must scan the new code; the preview
    // viewers are closed.
    Q_INVOKABLE void newAccessKey();

signals:
    void serverStateChanged();
    void serverUrlChanged();
    void localIpChanged();
    void portChanged();
    void clientCountChanged();
    void qrCodeDataUrlChanged();
    void accessKeyChanged();
    void requireAccessKeyChanged();

public slots:
    void onNewConnection();
    void onSocketReadyRead();
    void onSocketDisconnected();
    void onStreamTimerTimeout();

private:
    struct Connection;

    void handleRequest(QTcpSocket *socket, const HttpRequest &request);
    // The refusal for a request that may not use an API or stream route; empty when it may.
    QByteArray refusalFor(QTcpSocket *socket, const HttpRequest &request);
    // Answers 503 at once and closes: no room for another connection.
    void refuseConnection(QTcpSocket *socket);
    // "http://address:port/", with "?key=..." while the key is required.
    void rebuildServerUrl();
    void closeStreamViewers();
    // Writes a complete answer, then half-closes once it has left and waits for the client
    // to close (reading and discarding what it still sends).
    void respond(QTcpSocket *socket, const QByteArray &response);
    void finishResponse(QTcpSocket *socket);
    void startStream(QTcpSocket *socket);
    void forgetConnection(QTcpSocket *socket);
    void regenerateQrCode();
    // A file of the control page (remote.html, remote.css, remote.js), read from the
    // resources once.
    QByteArray pageFile(const QString &name);

    QPointer<QTcpServer> m_listener;
    PreviewStream *m_stream = nullptr; // child; holds the stream clients and the stream timer
    bool m_running = false;
    QString m_serverUrl;
    QString m_localIp;
    int m_port = DefaultPort;
    QString m_qrCodeDataUrl;

    ApplicationManager *m_manager;
    RemoteApi m_api;
    StudioApi m_studio;
    QStringList m_hostNames; // names of this machine that a Host header may carry
    std::unordered_map<QString, QByteArray> m_pageFiles; // by name, read once
    int m_requestTimeoutMs = DefaultRequestTimeoutMs;
    std::unordered_map<QTcpSocket *, std::unique_ptr<Connection>> m_connections;
    ConnectionLimits m_limits; // counts exactly the entries of m_connections
    QString m_accessKey;
    bool m_requireAccessKey = true;
    WrongKeyLimiter m_wrongKeys;
    QElapsedTimer m_clock;      // monotonic time for the wrong-key windows
    QPointer<SocketAcceptor> m_acceptor; // child of the listener
    bool m_lastAcceptRested = false;     // the last attempt to accept ran out of descriptors
    int m_refusedSinceLog = 0;  // connections refused over the limits since the last log line
    qint64 m_refusalLoggedMs = -1;
};
