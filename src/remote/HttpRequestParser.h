// HttpRequestParser: reads one HTTP/1.1 request from the bytes of a connection as they arrive.
//
// The remote-control server answers one request per connection. It feeds the parser every
// chunk a socket delivers and handles the request only once the header block is complete and
// the body has reached its Content-Length; a request split over many TCP segments is therefore
// read exactly like one that came in a single segment. Limits keep a connection from holding
// memory: the header block may take at most 16 KiB and the body at most 1 MiB (413 beyond).
// A request without Content-Length has no body; bytes after the body are ignored, since the
// connection closes after the answer.
//
// Pure and self-contained (no sockets, no event loop), so it can be fuzzed and tested byte by
// byte. One parser per connection; not thread-safe.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

struct HttpRequest
{
    QByteArray method;  // as sent, e.g. "GET"
    QByteArray target;  // as sent, e.g. "/api/switch?id=2"
    QByteArray version; // "HTTP/1.1" or "HTTP/1.0"
    QString path;       // percent-decoded path of the target, e.g. "/api/switch"
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers; // names as sent, values without outer spaces
    QByteArray body;

    // The value of the first header of that name (any case); a null array when there is none.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    // The fully decoded value of a query item; a null string when the item is absent.
    QString queryValue(const QString &key) const;
};

class HttpRequestParser
{
public:
    static constexpr qsizetype MaxHeaderBytes = 16 * 1024;
    static constexpr qsizetype MaxBodyBytes = 1024 * 1024;

    enum class State { Incomplete, Complete, Failed };

    // Appends bytes and parses as far as they go. Once the request is complete or has failed,
    // later bytes are ignored.
    State feed(QByteArrayView bytes);

    State state() const { return m_state; }
    bool hasStarted() const { return m_received > 0; }
    // The header block has been read; the body may still be on its way.
    bool isHeadComplete() const { return m_bodyStart >= 0 && m_state != State::Failed; }
    // Method, target and headers are valid once the head is complete, the body once Complete.
    const HttpRequest &request() const { return m_request; }
    // Once Failed: the status to answer with (400, 413 or 501).
    int errorStatus() const { return m_errorStatus; }
    // Once Failed: why, for the log.
    QString errorText() const { return m_errorText; }

private:
    State fail(int status, const QString &text);
    bool parseHead(QByteArrayView head);
    bool parseRequestLine(QByteArrayView line);
    bool parseTarget();

    QByteArray m_buffer;      // the bytes received so far, up to what the request needs
    qsizetype m_received = 0; // all bytes fed, also those ignored
    qsizetype m_bodyStart = -1;
    qsizetype m_contentLength = 0;
    State m_state = State::Incomplete;
    int m_errorStatus = 0;
    QString m_errorText;
    HttpRequest m_request;
};
