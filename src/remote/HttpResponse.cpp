#include "remote/HttpResponse.h"

namespace HttpResponse {

namespace {

QByteArray plainText(int status, const QByteArray &extraHeaders = QByteArray())
{
    const QByteArray body = QByteArray::number(status) + ' ' + reasonPhrase(status);
    return "HTTP/1.1 " + body + "\r\n"
           "Content-Type: text/plain\r\n"
           + extraHeaders
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Connection: close\r\n"
           "\r\n"
           + body;
}

} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return QByteArray();
    }
}

QByteArray json(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\n"
           "Content-Type: application/json; charset=utf-8\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Connection: close\r\n"
           "\r\n"
           + body;
}

QByteArray jsonError(int status, const QByteArray &message, int retryAfterSeconds)
{
    const QByteArray body = "{\"error\":\"" + message + "\"}";
    const QByteArray retry = retryAfterSeconds > 0 ? "Retry-After: " + QByteArray::number(retryAfterSeconds) + "\r\n"
                                                   : QByteArray();
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n"
           "Content-Type: application/json; charset=utf-8\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           + retry
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Connection: close\r\n"
           "\r\n"
           + body;
}

QByteArray html(const QByteArray &page)
{
    return file("text/html; charset=utf-8", page);
}

QByteArray file(const QByteArray &contentType, const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\n"
           "Content-Type: " + contentType + "\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Connection: close\r\n"
           "\r\n"
           + body;
}

QByteArray notFound()
{
    return plainText(404);
}

QByteArray error(int status)
{
    if (status == 405)
        return plainText(status, "Allow: GET, POST, HEAD, OPTIONS\r\n");
    if (status == 503)
        return plainText(status, "Retry-After: 1\r\n");
    return plainText(status);
}

QByteArray preflight()
{
    return "HTTP/1.1 204 No Content\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
           "Access-Control-Allow-Headers: Content-Type\r\n"
           "Allow: GET, POST, HEAD, OPTIONS\r\n"
           "Content-Length: 0\r\n"
           "Connection: close\r\n"
           "\r\n";
}

QByteArray withoutBody(const QByteArray &response)
{
    const qsizetype end = response.indexOf("\r\n\r\n");
    return end < 0 ? response : response.left(end + 4);
}

QByteArray continueInterim()
{
    return "HTTP/1.1 100 Continue\r\n\r\n";
}

QByteArray fileHead(qint64 length, const QByteArray &contentRange)
{
    const bool partial = !contentRange.isEmpty();
    return (partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n")
           + QByteArray("Content-Type: application/octet-stream\r\n"
                        "Accept-Ranges: bytes\r\n"
                        "Cache-Control: no-store\r\n")
           + (partial ? "Content-Range: " + contentRange + "\r\n" : QByteArray())
           + "Content-Length: " + QByteArray::number(length) + "\r\n"
           "Connection: close\r\n"
           "\r\n";
}

QByteArray rangeNotSatisfiable(const QByteArray &contentRange)
{
    const QByteArray body = "416 Range Not Satisfiable";
    return "HTTP/1.1 " + body + "\r\n"
           "Content-Type: text/plain\r\n"
           "Content-Range: " + contentRange + "\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Connection: close\r\n"
           "\r\n"
           + body;
}

QByteArray streamHead()
{
    return "HTTP/1.1 200 OK\r\n"
           "Content-Type: multipart/x-mixed-replace; boundary=--frame\r\n"
           "Cache-Control: no-cache, no-store, must-revalidate\r\n"
           "Pragma: no-cache\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           "Connection: close\r\n"
           "\r\n";
}

QByteArray streamPart(const QByteArray &jpeg)
{
    return "--frame\r\n"
           "Content-Type: image/jpeg\r\n"
           "Content-Length: " + QByteArray::number(jpeg.size()) + "\r\n"
           "\r\n"
           + jpeg + "\r\n";
}

} // namespace HttpResponse
