// FileResponse: one file (or a byte range of it) sent over a connection of the
// remote-control server, a piece at a time as the connection takes it, so a gigabyte take
// file never sits in memory and a slow client only slows itself.
//
// The server hands the connection over once it has decided what to send (like a preview
// client): the response takes the socket's bytesWritten, keeps at most MaxQueuedBytes
// queued, closes the connection gracefully after the last byte, and cuts a client that takes
// nothing for IdleTimeoutMs. It is a child of the socket, so it goes with it.
//
// GUI thread; the file is opened read-only.
#pragma once

#include <QFile>
#include <QObject>
#include <QTimer>

class QTcpSocket;

class FileResponse : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 PieceBytes = 64 * 1024;
    static constexpr qint64 MaxQueuedBytes = 512 * 1024;
    static constexpr int IdleTimeoutMs = 10'000;

    // Writes `head`, then `length` bytes of the file from `first`. False (nothing written)
    // when the file cannot be opened there.
    static bool start(QTcpSocket *socket, const QString &path, qint64 first, qint64 length, const QByteArray &head);

signals:
    void finished();

private:
    FileResponse(QTcpSocket *socket, qint64 length);
    void fill();

    QTcpSocket *m_socket;
    QFile m_file;
    qint64 m_left;
    QTimer m_idle;
    bool m_done = false;
};
