// PreviewStream: the MJPEG preview of the programme source for any number of HTTP clients
// (the phone page's picture, "/stream.mjpg").
//
// While it has clients, a 50 ms timer takes the newest picture of the active source, makes it
// RGBA at no more than 480 x 270 (aspect kept; a compressed camera picture is decoded at
// reduced size by the source) and encodes it once as JPEG at quality 55; every client gets
// the same part. A tick without a new picture sends the last part again. When the source has nothing new to offer (no camera, stopped),
// the last picture is sent again, so a phone keeps a steady stream.
//
// A client that does not keep up must not make the program hold memory for it: one with more
// than about two parts still unsent is skipped for that tick, and one that has taken nothing
// for 10 s is dropped. The server owns this object; everything runs on the GUI thread (the
// picture is read through the source's own lock).
#pragma once

#include "capture/Picture.h"
#include "capture/PicturePreview.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class ISource;
class QTcpSocket;

class PreviewStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int FrameIntervalMs = 50;
    static constexpr int MaxWidth = 480;
    static constexpr int MaxHeight = 270;
    static constexpr int JpegQuality = 55;
    static constexpr int DefaultStallTimeoutMs = 10'000;
    static constexpr int SendBufferBytes = 256 * 1024;
    // Viewers at once: a phone or two in practice, room for a monitor wall; each costs a
    // descriptor and up to two parts of memory, so the number is bounded.
    static constexpr int MaxClients = 32;

    // Gives the programme source of the moment (null when its channel has none).
    using SourceProvider = std::function<std::shared_ptr<ISource>()>;

    explicit PreviewStream(SourceProvider activeSource, QObject *parent = nullptr);
    ~PreviewStream() override;

    // Writes the stream head to the socket and makes it a client (once; false when it already
    // is one). Starts the timer.
    bool addClient(QTcpSocket *socket);
    // Forgets a client that went away (the caller deletes it); false when it was none.
    bool removeClient(QTcpSocket *socket);
    // Closes every client and schedules its deletion; stops the timer.
    void closeAll();

    int clientCount() const { return int(m_clients.size()); }
    bool isClient(const QTcpSocket *socket) const;
    bool isTimerActive() const { return m_timer.isActive(); }
    QByteArray lastJpeg() const { return m_lastJpeg; }
    // The most bytes waiting in the program for any client after a tick: stays near two
    // parts however slow a client is.
    qint64 largestBacklogBytes() const { return m_largestBacklogBytes; }

    // Tests shorten the time after which a client that takes nothing is dropped.
    void setStallTimeoutMs(int ms) { m_stallTimeoutMs = ms; }

    // The JPEG of an RGBA8888 picture scaled into 480 x 270; empty when the picture is not
    // width * height * 4 bytes or the size is not positive.
    static QByteArray encodeFrame(const QByteArray &rgba, int width, int height);
    // The JPEG of an image already at its preview size.
    static QByteArray encodeImage(const QImage &image);

public slots:
    // One frame for every client (the timer's target).
    void tick();

signals:
    void clientCountChanged();

private:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        qint64 backlogAfterWrite = 0; // bytes unsent right after our last write
        qint64 lastProgressMs = 0;    // when it last took something or had nothing waiting
    };

    void refreshPicture();
    void dropClient(QTcpSocket *socket);

    SourceProvider m_activeSource;
    QList<Client> m_clients; // in the order they joined
    QTimer m_timer;
    QByteArray m_lastJpeg;   // kept across ticks and connections; never cleared
    Picture m_lastPicture;   // the picture m_lastJpeg shows
    PicturePreview m_preview;
    int m_stallTimeoutMs = DefaultStallTimeoutMs;
    qint64 m_largestBacklogBytes = 0;
};
