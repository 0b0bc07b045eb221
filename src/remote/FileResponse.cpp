#include "remote/FileResponse.h"

#include <QDebug>
#include <QTcpSocket>

FileResponse::FileResponse(QTcpSocket *socket, qint64 length)
    : QObject(socket)
    , m_socket(socket)
    , m_left(length)
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        qDebug() << "[RemoteControlServer] A download stopped taking bytes; closing it.";
        m_socket->abort();
    });
}

bool FileResponse::start(QTcpSocket *socket, const QString &path, qint64 first, qint64 length, const QByteArray &head)
{
    auto *response = new FileResponse(socket, length);
    response->m_file.setFileName(path);
    if (!response->m_file.open(QIODevice::ReadOnly) || !response->m_file.seek(first)) {
        qWarning() << "[RemoteControlServer] Cannot read" << path << ":" << response->m_file.errorString();
        delete response;
        return false;
    }
    connect(socket, &QTcpSocket::bytesWritten, response, &FileResponse::fill);
    connect(socket, &QTcpSocket::disconnected, response, [response] { response->m_idle.stop(); });
    socket->write(head);
    response->m_idle.start(IdleTimeoutMs);
    response->fill();
    return true;
}

void FileResponse::fill()
{
    if (m_done)
        return;
    m_idle.start(IdleTimeoutMs);
    while (m_left > 0 && m_socket->bytesToWrite() < MaxQueuedBytes) {
        const QByteArray piece = m_file.read(std::min(PieceBytes, m_left));
        if (piece.isEmpty()) {
            // The file shrank or cannot be read: the client sees the answer cut short.
            qWarning() << "[RemoteControlServer] Download of" << m_file.fileName() << "cut short:" << m_file.errorString();
            m_done = true;
            m_socket->abort();
            emit finished();
            return;
        }
        m_socket->write(piece);
        m_left -= piece.size();
    }
    if (m_left == 0 && m_socket->bytesToWrite() == 0) {
        m_done = true;
        m_file.close();
        m_idle.stop();
        m_socket->disconnectFromHost();
        emit finished();
    }
}
