#include "remote/SocketAcceptor.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

enum class AcceptOutcome { Accepted, NoneWaiting, OutOfResources, PeerGone };

struct AcceptResult
{
    AcceptOutcome outcome = AcceptOutcome::NoneWaiting;
    qintptr descriptor = -1;
    QString errorText;
};

AcceptResult acceptOne(qintptr listening)
{
    AcceptResult result;
#ifdef _WIN32
    const SOCKET accepted = ::accept(SOCKET(listening), nullptr, nullptr);
    if (accepted != INVALID_SOCKET) {
        result.outcome = AcceptOutcome::Accepted;
        result.descriptor = qintptr(accepted);
        return result;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR)
        result.outcome = AcceptOutcome::NoneWaiting;
    else if (error == WSAEMFILE || error == WSAENOBUFS)
        result.outcome = AcceptOutcome::OutOfResources;
    else
        result.outcome = AcceptOutcome::PeerGone;
    result.errorText = QStringLiteral("Winsock error %1").arg(error);
#else
    int accepted;
    do {
#ifdef __linux__
        accepted = ::accept4(int(listening), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
#else
        accepted = ::accept(int(listening), nullptr, nullptr);
        if (accepted >= 0)
            ::fcntl(accepted, F_SETFD, FD_CLOEXEC);
#endif
    } while (accepted < 0 && errno == EINTR);
    if (accepted >= 0) {
        result.outcome = AcceptOutcome::Accepted;
        result.descriptor = accepted;
        return result;
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK)
        result.outcome = AcceptOutcome::NoneWaiting;
    else if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
        result.outcome = AcceptOutcome::OutOfResources;
    else
        result.outcome = AcceptOutcome::PeerGone; // ECONNABORTED, EPROTO and the like
    result.errorText = QString::fromLocal8Bit(std::strerror(error));
#endif
    return result;
}

void closeDescriptor(qintptr descriptor)
{
#ifdef _WIN32
    ::closesocket(SOCKET(descriptor));
#else
    ::close(int(descriptor));
#endif
}

} // namespace

SocketAcceptor::SocketAcceptor(QTcpServer *listener, int pauseMs, QObject *parent)
    : QObject(parent)
    , m_listener(listener)
{
    listener->pauseAccepting();
    m_notifier = new QSocketNotifier(listener->socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SocketAcceptor::acceptWaiting);
    m_rest.setSingleShot(true);
    m_rest.setInterval(pauseMs);
    connect(&m_rest, &QTimer::timeout, this, [this] {
        m_notifier->setEnabled(true);
        acceptWaiting();
    });
}

SocketAcceptor::~SocketAcceptor()
{
    // Not yet taken: close them, as QTcpServer does with its pending connections.
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_pending))
        delete socket.data();
}

void SocketAcceptor::stop()
{
    m_rest.stop();
    m_notifier->setEnabled(false);
}

QTcpSocket *SocketAcceptor::nextPendingConnection()
{
    while (!m_pending.isEmpty()) {
        if (QTcpSocket *socket = m_pending.takeFirst())
            return socket;
    }
    return nullptr;
}

void SocketAcceptor::acceptWaiting()
{
    if (!m_listener || !m_listener->isListening())
        return;
    const qintptr listening = m_listener->socketDescriptor();
    bool acceptedAny = false;
    for (int i = 0; i < MaxPerWake; ++i) {
        const AcceptResult result = acceptOne(listening);
        if (result.outcome == AcceptOutcome::NoneWaiting)
            break;
        if (result.outcome == AcceptOutcome::PeerGone)
            continue;
        if (result.outcome == AcceptOutcome::OutOfResources) {
            ++m_resourceFailures;
            m_notifier->setEnabled(false);
            m_rest.start();
            emit resourcesExhausted(result.errorText);
            break;
        }
        auto *socket = new QTcpSocket(m_listener);
        if (!socket->setSocketDescriptor(result.descriptor)) {
            closeDescriptor(result.descriptor);
            delete socket;
            continue;
        }
        m_pending.append(socket);
        acceptedAny = true;
    }
    if (acceptedAny)
        emit newConnection();
}
