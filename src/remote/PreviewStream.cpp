#include "remote/PreviewStream.h"

#include "capture/ISource.h"
#include "remote/HttpResponse.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QImage>
#include <QTcpSocket>

#include <algorithm>

namespace {

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

} // namespace

PreviewStream::PreviewStream(SourceProvider activeSource, QObject *parent)
    : QObject(parent)
    , m_activeSource(std::move(activeSource))
{
    m_timer.setInterval(FrameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PreviewStream::tick);
}

PreviewStream::~PreviewStream()
{
    closeAll();
}

bool PreviewStream::isClient(const QTcpSocket *socket) const
{
    return std::any_of(m_clients.cbegin(), m_clients.cend(),
                       [socket](const Client &client) { return client.socket == socket; });
}

bool PreviewStream::addClient(QTcpSocket *socket)
{
    if (!socket || isClient(socket))
        return false;
    // A fixed kernel buffer instead of the automatic one (which grows to megabytes): a client
    // that stops reading is noticed within seconds, and holds little memory meanwhile. At 20
    // small frames per second this still leaves room for a second of pictures.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
    socket->write(HttpResponse::streamHead());
    socket->flush();
    m_clients.append(Client{socket, socket->bytesToWrite(), nowMs()});
    emit clientCountChanged();
    if (!m_timer.isActive())
        m_timer.start();
    return true;
}

bool PreviewStream::removeClient(QTcpSocket *socket)
{
    const auto removed = m_clients.removeIf([socket](const Client &client) { return client.socket == socket; });
    if (removed == 0)
        return false;
    emit clientCountChanged();
    if (m_clients.isEmpty())
        m_timer.stop();
    return true;
}

void PreviewStream::closeAll()
{
    m_timer.stop();
    const QList<Client> clients = std::exchange(m_clients, {});
    for (const Client &client : clients) {
        if (QTcpSocket *socket = client.socket) {
            socket->disconnect(this);
            socket->disconnect(parent());
            socket->close();
            socket->deleteLater();
        }
    }
}

void PreviewStream::dropClient(QTcpSocket *socket)
{
    if (!socket)
        return;
    socket->disconnect(this);
    socket->disconnect(parent());
    socket->abort();
    socket->deleteLater();
}

QByteArray PreviewStream::encodeFrame(const QByteArray &rgba, int width, int height)
{
    if (width < 1 || height < 1 || rgba.size() < qsizetype(width) * height * 4)
        return QByteArray();
    // A view of the source's bytes, no copy: alpha is always 255, so RGBX spares the encoder
    // any blending.
    const QImage picture(reinterpret_cast<const uchar *>(rgba.constData()), width, height,
                         qsizetype(width) * 4, QImage::Format_RGBX8888);
    return encodeImage(picture.scaled(MaxWidth, MaxHeight, Qt::KeepAspectRatio, Qt::FastTransformation));
}

QByteArray PreviewStream::encodeImage(const QImage &image)
{
    if (image.isNull())
        return QByteArray();
    // Alpha is always 255: RGBX spares the encoder any blending.
    QImage opaque = image;
    if (opaque.format() == QImage::Format_RGBA8888)
        opaque.reinterpretAsFormat(QImage::Format_RGBX8888);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!opaque.save(&buffer, "JPEG", JpegQuality))
        return QByteArray();
    return jpeg;
}

void PreviewStream::refreshPicture()
{
    const std::shared_ptr<ISource> source = m_activeSource ? m_activeSource() : nullptr;
    if (!source || !source->isRunning())
        return;
    Picture picture;
    source->previewPicture(MaxWidth, MaxHeight, picture);
    if (!picture.isComplete() || picture.isSharedWith(m_lastPicture))
        return; // nothing new: the last part goes out again
    const QByteArray jpeg = encodeImage(m_preview.render(picture, MaxWidth, MaxHeight));
    if (!jpeg.isEmpty()) {
        m_lastJpeg = jpeg;
        m_lastPicture = picture;
    }
}

void PreviewStream::tick()
{
    if (m_clients.isEmpty()) {
        m_timer.stop();
        return;
    }
    refreshPicture();
    if (m_lastJpeg.isEmpty())
        return;

    const QByteArray part = HttpResponse::streamPart(m_lastJpeg);
    const qint64 now = nowMs();
    QList<QTcpSocket *> dropped;
    qint64 largestBacklog = 0;
    for (Client &client : m_clients) {
        QTcpSocket *socket = client.socket;
        if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
            dropped.append(socket);
            continue;
        }
        const qint64 backlog = socket->bytesToWrite();
        if (backlog == 0 || backlog < client.backlogAfterWrite)
            client.lastProgressMs = now;
        if (now - client.lastProgressMs > m_stallTimeoutMs) {
            qDebug() << "[RemoteControlServer] Dropping a stream client that took nothing for"
                     << m_stallTimeoutMs << "ms";
            dropped.append(socket);
            continue;
        }
        // Skip a client that still has more than about two parts waiting: it gets the newest
        // picture once it has caught up, and its backlog never grows beyond that.
        if (backlog > 2 * part.size()) {
            client.backlogAfterWrite = backlog;
            largestBacklog = std::max(largestBacklog, backlog);
            continue;
        }
        if (socket->write(part) != part.size()) {
            dropped.append(socket);
            continue;
        }
        socket->flush();
        client.backlogAfterWrite = socket->bytesToWrite();
        largestBacklog = std::max(largestBacklog, client.backlogAfterWrite);
    }
    m_largestBacklogBytes = std::max(m_largestBacklogBytes, largestBacklog);

    if (dropped.isEmpty())
        return;
    m_clients.removeIf([&dropped](const Client &client) { return dropped.contains(client.socket.data()); });
    for (QTcpSocket *socket : std::as_const(dropped))
        dropClient(socket);
    emit clientCountChanged();
}
