// HttpResponse: the exact bytes the remote-control server writes. Every response closes its
// connection ("Connection: close"); header lines end with CR LF. Pure functions.
#pragma once

#include <QByteArray>

namespace HttpResponse {

// 200 with a JSON body and the CORS headers the phone page and other tools rely on.
QByteArray json(const QByteArray &body);
// A refusal the page reads: `status` (400, 401, 409 or 429) with the body
// {"error":"<message>"}; 429 also says when to come back (Retry-After, in seconds).
QByteArray jsonError(int status, const QByteArray &message, int retryAfterSeconds = 0);
// 200 with the control page.
QByteArray html(const QByteArray &page);
// 200 with one of the page's files (its style, its script) as `contentType`.
QByteArray file(const QByteArray &contentType, const QByteArray &body);
// 404 with the plain-text body "404 Not Found".
QByteArray notFound();
// A refusal with a plain-text body "<status> <reason>": 400, 403, 405, 413, 501 or 503 (405
// also names the allowed methods, 503 asks to come back in a second).
QByteArray error(int status);
// 204 for OPTIONS: the CORS answer of a preflight, nothing else is done.
QByteArray preflight();
// The response without its body, for HEAD; Content-Length stays that of the full response.
QByteArray withoutBody(const QByteArray &response);
// "HTTP/1.1 100 Continue", for a client that waits before sending its body.
QByteArray continueInterim();

// The head of a file download (the body follows it): 200 with the whole file, or 206 with
// `contentRange` ("bytes 500-999/1000") for a part; the length is that of the body sent.
QByteArray fileHead(qint64 length, const QByteArray &contentRange = QByteArray());
// 416 for a range past the end of the file, with "Content-Range: bytes */<size>".
QByteArray rangeNotSatisfiable(const QByteArray &contentRange);

// The MJPEG stream: the head once, then one part per picture.
QByteArray streamHead();
QByteArray streamPart(const QByteArray &jpeg);

// The reason phrase of a status this server sends ("Not Found"); empty for others.
QByteArray reasonPhrase(int status);

} // namespace HttpResponse
