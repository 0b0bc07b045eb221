// LinkCall: one HTTP request from this recorder to another of the studio, answered by the
// other's remote-control server (the one the phone uses), with that recorder's access key.
//
// The server answers one request per connection, so a call connects, sends, reads the whole
// answer and closes. It times the exchange for the clock probes: the wall clock when the
// request leaves (after the connection is made, so connecting is not part of the trip) and
// the round trip on the monotonic clock until the first byte of the answer. A download hands
// the body to a sink as it arrives instead of keeping it.
//
// Threads: GUI thread; the socket lives on the event loop. A call is a child of the context
// given to start(): `done` runs exactly once, unless the context is destroyed first (then
// never), and the call deletes itself afterwards.
#pragma once

#include "studio/LinkAddress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>
#include <QUrlQuery>

#include <functional>

class QTcpSocket;
class WallClock;

struct LinkRequest
{
    QByteArray method = "GET";
    QString path;
    QUrlQuery query;
    QByteArray body; // sent as application/json when not empty
    QList<QPair<QByteArray, QByteArray>> headers;
    // The whole exchange must be over within this; a download only has to keep receiving
    // (no byte for this long ends it).
    int timeoutMs = 2000;
};

struct LinkResponse
{
    int status = 0;   // 0: no answer (see error)
    QString error;    // why there is no usable answer; empty when there is one
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;  // empty when a sink took it
    qint64 sentWallNs = 0;
    qint64 roundTripNs = -1;

    bool isOk() const { return error.isEmpty() && status >= 200 && status < 300; }
    QByteArray header(QByteArrayView name) const;
    // The body as a JSON object; empty when it is none.
    QJsonObject json() const;
};

class LinkCall : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const LinkResponse &)>;
    // Takes the next piece of a 200/206 body, with the answer's status and headers; false
    // abandons the download ("cannot store the download").
    using BodySink = std::function<bool(const LinkResponse &head, QByteArrayView bytes)>;

    // Answers longer than this (without a sink) are refused: a take report or a status is a
    // few kilobytes.
    static constexpr qsizetype MaxBodyBytes = 8 * 1024 * 1024;
    static constexpr qsizetype MaxHeadBytes = 16 * 1024;

    static LinkCall *start(const LinkAddress &address, const LinkRequest &request, const WallClock *clock,
                           QObject *context, Done done, BodySink sink = {});

    // Ends the call now; `done` gets the error "cancelled".
    void cancel();

    // The bytes of the request as sent (tests).
    static QByteArray requestBytes(const LinkAddress &address, const LinkRequest &request);

private:
    LinkCall(const LinkAddress &address, const LinkRequest &request, const WallClock *clock, QObject *context,
             Done done, BodySink sink);

    void onConnected();
    void onReadyRead();
    void onDisconnected();
    bool parseHead();
    void finish(const QString &error = QString());

    LinkAddress m_address;
    LinkRequest m_request;
    const WallClock *m_clock;
    Done m_done;
    BodySink m_sink;
    QTcpSocket *m_socket = nullptr; // child
    QTimer m_timer;
    LinkResponse m_response;
    QByteArray m_head;
    qint64 m_sentMonotonicNs = 0;
    qint64 m_contentLength = -1; // -1: until the server closes
    qint64 m_bodyReceived = 0;
    bool m_headDone = false;
    bool m_toSink = false;
    bool m_finished = false;
};
