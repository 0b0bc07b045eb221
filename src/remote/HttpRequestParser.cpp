#include "remote/HttpRequestParser.h"

#include <QUrl>

#include <algorithm>
#include <cstring>

namespace {

const QByteArrayView HeadTerminator("\r\n\r\n");

// RFC 9110 token characters: method and header names.
bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        const uchar u = uchar(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
            return true;
        return u != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
    });
}

// Control characters other than tab never belong in a request line or a header value; a bare
// CR or LF there would let a client smuggle a line past us.
bool hasControlCharacters(QByteArrayView text, bool allowTab)
{
    return std::any_of(text.begin(), text.end(), [allowTab](char c) {
        const uchar u = uchar(c);
        return (u < 0x20 && !(allowTab && u == '\t')) || u == 0x7f;
    });
}

QByteArrayView trimmedSpaces(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return QByteArray();
}

bool HttpRequest::hasHeader(QByteArrayView name) const
{
    return std::any_of(headers.cbegin(), headers.cend(), [name](const auto &entry) {
        return entry.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString HttpRequest::queryValue(const QString &key) const
{
    if (!query.hasQueryItem(key))
        return QString();
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

HttpRequestParser::State HttpRequestParser::fail(int status, const QString &text)
{
    m_state = State::Failed;
    m_errorStatus = status;
    m_errorText = text;
    m_buffer = QByteArray();
    return m_state;
}

HttpRequestParser::State HttpRequestParser::feed(QByteArrayView bytes)
{
    m_received += bytes.size();
    if (m_state != State::Incomplete || bytes.isEmpty())
        return m_state;

    if (m_bodyStart < 0) {
        // Look for the end of the header block only in what is new (and the three bytes
        // before it), so a request trickling in byte by byte costs linear time. The buffer
        // never holds more than the header limit plus one byte before the block is complete.
        const qsizetype searchFrom = std::max<qsizetype>(0, m_buffer.size() - 3);
        const qsizetype taken = std::min(bytes.size(), MaxHeaderBytes + 1 - m_buffer.size());
        m_buffer.append(bytes.first(taken));
        const qsizetype end = m_buffer.indexOf(HeadTerminator, searchFrom);
        if (end < 0 && m_buffer.size() <= MaxHeaderBytes)
            return m_state;
        if (end < 0 || end + HeadTerminator.size() > MaxHeaderBytes)
            return fail(413, QStringLiteral("header block larger than %1 bytes").arg(MaxHeaderBytes));
        if (!parseHead(QByteArrayView(m_buffer).first(end)))
            return m_state;
        m_bodyStart = end + HeadTerminator.size();
        m_buffer.truncate(std::min(m_buffer.size(), m_bodyStart + m_contentLength));
        bytes = bytes.sliced(taken);
    }
    const qsizetype missing = m_bodyStart + m_contentLength - m_buffer.size();
    m_buffer.append(bytes.first(std::min(bytes.size(), missing)));

    if (m_buffer.size() - m_bodyStart < m_contentLength)
        return m_state;
    m_request.body = m_buffer.mid(m_bodyStart, m_contentLength);
    m_buffer = QByteArray();
    m_state = State::Complete;
    return m_state;
}

bool HttpRequestParser::parseHead(QByteArrayView head)
{
    qsizetype lineStart = 0;
    bool firstLine = true;
    qsizetype contentLength = -1;
    while (lineStart <= head.size()) {
        qsizetype lineEnd = QByteArrayView(head).indexOf(QByteArrayView("\r\n"), lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line = head.sliced(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;

        if (firstLine) {
            firstLine = false;
            if (!parseRequestLine(line))
                return false;
            continue;
        }
        if (hasControlCharacters(line, true)) {
            fail(400, QStringLiteral("control character in a header line"));
            return false;
        }
        const qsizetype colon = line.indexOf(':');
        // A name must be a token right up to the colon: "Host : x" and folded continuation
        // lines (starting with a space) are refused, as the protocol asks.
        if (colon <= 0 || !isToken(line.first(colon))) {
            fail(400, QStringLiteral("malformed header line"));
            return false;
        }
        const QByteArray name = line.first(colon).toByteArray();
        const QByteArray value = trimmedSpaces(line.sliced(colon + 1)).toByteArray();

        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            const bool digitsOnly = !value.isEmpty()
                && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digitsOnly) {
                fail(400, QStringLiteral("invalid Content-Length"));
                return false;
            }
            // Anything over seven digits is over the limit; parse only what cannot overflow.
            const qsizetype length = value.size() > 7 ? MaxBodyBytes + 1 : value.toLongLong();
            if (contentLength >= 0 && contentLength != length) {
                fail(400, QStringLiteral("conflicting Content-Length headers"));
                return false;
            }
            contentLength = length;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            fail(501, QStringLiteral("Transfer-Encoding is not supported"));
            return false;
        }
        m_request.headers.append({name, value});
    }
    if (contentLength > MaxBodyBytes) {
        fail(413, QStringLiteral("body larger than %1 bytes").arg(MaxBodyBytes));
        return false;
    }
    m_contentLength = std::max<qsizetype>(0, contentLength);
    return true;
}

bool HttpRequestParser::parseRequestLine(QByteArrayView line)
{
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype secondSpace = firstSpace < 0 ? -1 : line.indexOf(' ', firstSpace + 1);
    if (secondSpace < 0 || line.indexOf(' ', secondSpace + 1) >= 0) {
        fail(400, QStringLiteral("malformed request line"));
        return false;
    }
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, secondSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(secondSpace + 1);
    if (!isToken(method) || target.isEmpty() || hasControlCharacters(target, false)
        || (version != QByteArrayView("HTTP/1.1") && version != QByteArrayView("HTTP/1.0"))) {
        fail(400, QStringLiteral("malformed request line"));
        return false;
    }
    m_request.method = method.toByteArray();
    m_request.target = target.toByteArray();
    m_request.version = version.toByteArray();
    if (!parseTarget()) {
        fail(400, QStringLiteral("malformed request target"));
        return false;
    }
    return true;
}

bool HttpRequestParser::parseTarget()
{
    QByteArrayView target(m_request.target);
    if (target == QByteArrayView("*")) {
        m_request.path = QStringLiteral("*");
        return true;
    }
    // Absolute form ("http://host:port/path?query", what proxies send): keep the path on.
    if (target.size() > 7 && QByteArrayView(target.first(7)).compare("http://", Qt::CaseInsensitive) == 0)
        target = target.sliced(7);
    else if (target.size() > 8 && QByteArrayView(target.first(8)).compare("https://", Qt::CaseInsensitive) == 0)
        target = target.sliced(8);
    else if (!target.startsWith('/'))
        return false;
    if (!target.startsWith('/')) {
        const qsizetype slash = target.indexOf('/');
        target = slash < 0 ? QByteArrayView("/") : target.sliced(slash);
    }

    const qsizetype hash = target.indexOf('#');
    if (hash >= 0)
        target = target.first(hash);
    const qsizetype question = target.indexOf('?');
    const QByteArrayView pathPart = question < 0 ? target : target.first(question);
    const QByteArrayView queryPart = question < 0 ? QByteArrayView() : target.sliced(question + 1);
    // Split by hand rather than through QUrl: a path such as "//api/status" must stay a path,
    // not become a host name.
    m_request.path = QUrl::fromPercentEncoding(pathPart.toByteArray());
    m_request.query = QUrlQuery(QString::fromUtf8(queryPart));
    return true;
}
