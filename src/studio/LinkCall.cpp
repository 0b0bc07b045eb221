#include "studio/LinkCall.h"

#include "common/MonotonicClock.h"
#include "studio/WallClock.h"

#include <QJsonDocument>
#include <QTcpSocket>

QByteArray LinkResponse::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

QJsonObject LinkResponse::json() const
{
    return QJsonDocument::fromJson(body).object();
}

LinkCall *LinkCall::start(const LinkAddress &address, const LinkRequest &request, const WallClock *clock,
                          QObject *context, Done done, BodySink sink)
{
    return new LinkCall(address, request, clock, context, std::move(done), std::move(sink));
}

LinkCall::LinkCall(const LinkAddress &address, const LinkRequest &request, const WallClock *clock, QObject *context,
                   Done done, BodySink sink)
    : QObject(context)
    , m_address(address)
    , m_request(request)
    , m_clock(clock)
    , m_done(std::move(done))
    , m_sink(std::move(sink))
{
    m_socket = new QTcpSocket(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::connected, this, &LinkCall::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &LinkCall::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &LinkCall::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // The server closing after its answer is the normal end, handled as a disconnect.
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        if (m_socket->bytesAvailable() > 0)
            onReadyRead();
        if (!m_finished)
            finish(m_socket->errorString());
    });
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { finish(QStringLiteral("no answer within %1 ms").arg(m_request.timeoutMs)); });
    m_timer.start(m_request.timeoutMs);
    m_socket->connectToHost(m_address.host, m_address.port);
}

QByteArray LinkCall::requestBytes(const LinkAddress &address, const LinkRequest &request)
{
    QByteArray target = request.path.toUtf8();
    if (!request.query.isEmpty())
        target += '?' + request.query.toString(QUrl::FullyEncoded).toUtf8();
    QByteArray bytes = request.method + ' ' + target + " HTTP/1.1\r\n"
                       "Host: " + address.hostHeader() + "\r\n"
                       "Connection: close\r\n";
    if (!address.key.isEmpty())
        bytes += "X-Vireon-Key: " + address.key.toLatin1() + "\r\n";
    for (const auto &[name, value] : request.headers)
        bytes += name + ": " + value + "\r\n";
    if (!request.body.isEmpty())
        bytes += "Content-Type: application/json\r\n";
    if (!request.body.isEmpty() || request.method == "POST")
        bytes += "Content-Length: " + QByteArray::number(request.body.size()) + "\r\n";
    return bytes + "\r\n" + request.body;
}

void LinkCall::onConnected()
{
    const QByteArray bytes = requestBytes(m_address, m_request);
    m_response.sentWallNs = m_clock->nowNs();
    m_sentMonotonicNs = monotonicNowNs();
    m_socket->write(bytes);
    m_socket->flush();
}

void LinkCall::onReadyRead()
{
    if (m_finished)
        return;
    if (m_response.roundTripNs < 0)
        m_response.roundTripNs = monotonicNowNs() - m_sentMonotonicNs;
    QByteArray bytes = m_socket->readAll();
    if (!m_headDone) {
        m_head += bytes;
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_head.size() > MaxHeadBytes)
                finish(QStringLiteral("answer header too long"));
            return;
        }
        bytes = m_head.mid(end + 4);
        m_head.truncate(end);
        m_headDone = true;
        if (!parseHead())
            return;
    }
    if (m_contentLength >= 0)
        bytes.truncate(qsizetype(std::min<qint64>(bytes.size(), m_contentLength - m_bodyReceived)));
    m_bodyReceived += bytes.size();
    if (m_toSink) {
        if (!bytes.isEmpty() && !m_sink(m_response, bytes)) {
            finish(QStringLiteral("cannot store the download"));
            return;
        }
        // A download only has to keep moving.
        m_timer.start(m_request.timeoutMs);
    } else {
        m_response.body += bytes;
        if (m_response.body.size() > MaxBodyBytes) {
            finish(QStringLiteral("answer too long"));
            return;
        }
    }
    if (m_contentLength >= 0 && m_bodyReceived >= m_contentLength)
        finish();
}

bool LinkCall::parseHead()
{
    const QList<QByteArray> lines = m_head.split('\n');
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    bool isNumber = false;
    m_response.status = status.value(1).toInt(&isNumber);
    if (!status.value(0).startsWith("HTTP/1.") || !isNumber) {
        m_response.status = 0;
        finish(QStringLiteral("not an HTTP answer"));
        return false;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            m_response.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const QByteArray length = m_response.header("Content-Length");
    if (!length.isNull()) {
        m_contentLength = length.toLongLong(&isNumber);
        if (!isNumber || m_contentLength < 0) {
            finish(QStringLiteral("bad Content-Length"));
            return false;
        }
    }
    m_toSink = bool(m_sink) && (m_response.status == 200 || m_response.status == 206);
    if (m_contentLength == 0)
        finish();
    return !m_finished;
}

void LinkCall::onDisconnected()
{
    if (m_finished)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_finished)
        return;
    if (!m_headDone)
        finish(m_response.roundTripNs < 0 ? QStringLiteral("closed without an answer") : QStringLiteral("answer cut short"));
    else if (m_contentLength >= 0 && m_bodyReceived < m_contentLength)
        finish(QStringLiteral("answer cut short"));
    else
        finish();
}

void LinkCall::cancel()
{
    finish(QStringLiteral("cancelled"));
}

void LinkCall::finish(const QString &error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    m_response.error = error;
    m_socket->disconnect(this);
    m_socket->abort();
    const Done done = std::move(m_done);
    const LinkResponse response = std::move(m_response);
    deleteLater();
    if (done)
        done(response);
}
