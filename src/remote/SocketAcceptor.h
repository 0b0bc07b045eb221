// SocketAcceptor: takes the connections waiting on a listening QTcpServer, and rests when the
// process has run out of file descriptors instead of spinning.
//
// QTcpServer (Qt 6.4) does not tell EMFILE/ENFILE apart: depending on the error an earlier
// accept() left behind, it either tries again on every event-loop turn (the connection stays
// in the kernel's queue, the listener stays readable, a core burns until descriptors come
// free) or pauses for good (the remote control never answers again). So the server's own
// notifier is switched off (pauseAccepting) and this class watches the descriptor: it accepts up to
// MaxPerWake connections per wake-up (a flood cannot starve the event loop), and on a lack of
// descriptors or kernel memory it stops watching for PauseMs, then tries again; the waiting
// clients get in once there is room. A connection the peer dropped before it was taken is
// skipped.
//
// Owned by the server; the accepted sockets are children of the listener, as QTcpServer's are.
// GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

class SocketAcceptor : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPerWake = 64;

    // `listener` must be listening. PauseMs is how long to rest after running out.
    SocketAcceptor(QTcpServer *listener, int pauseMs, QObject *parent = nullptr);
    ~SocketAcceptor() override;

    // Stops watching, before the listener closes its descriptor (whose number the next
    // listener may get).
    void stop();

    bool hasPendingConnections() const { return !m_pending.isEmpty(); }
    QTcpSocket *nextPendingConnection();
    bool isResting() const { return m_rest.isActive(); }
    // How many times accepting failed for lack of resources (each failure starts a rest).
    int resourceFailures() const { return m_resourceFailures; }

signals:
    void newConnection();
    // Accepting failed for lack of descriptors or memory; `text` is the system's reason.
    void resourcesExhausted(const QString &text);

private:
    void acceptWaiting();

    QPointer<QTcpServer> m_listener;
    QSocketNotifier *m_notifier = nullptr; // child
    QTimer m_rest;
    QList<QPointer<QTcpSocket>> m_pending;
    int m_resourceFailures = 0;
};
