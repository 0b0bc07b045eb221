#include "remote/HostCheck.h"

#include "remote/HttpRequestParser.h"

#include <QHostAddress>
#include <QHostInfo>

#include <algorithm>

namespace HostCheck {

namespace {

// Splits "name:port" or "[v6]:port"; false when the port is not a number.
bool splitHost(const QByteArray &host, QByteArray *name, QByteArray *port)
{
    qsizetype portColon = -1;
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0)
            return false;
        *name = host.mid(1, close - 1);
        if (close + 1 < host.size()) {
            if (host.at(close + 1) != ':')
                return false;
            portColon = close + 1;
        }
    } else {
        portColon = host.indexOf(':');
        *name = portColon < 0 ? host : host.left(portColon);
    }
    *port = portColon < 0 ? QByteArray() : host.mid(portColon + 1);
    if (portColon >= 0 && (port->isEmpty() || port->size() > 5
                           || !std::all_of(port->begin(), port->end(), [](char c) { return c >= '0' && c <= '9'; })))
        return false;
    return true;
}

// "host" and "host:80" are the same origin; any other port is kept. Empty when malformed.
QByteArray normalisedAuthority(const QByteArray &authority)
{
    const QByteArray lower = authority.toLower();
    QByteArray name;
    QByteArray port;
    if (!splitHost(lower, &name, &port) || name.isEmpty())
        return QByteArray();
    QByteArray result = lower.startsWith('[') ? '[' + name + ']' : name;
    if (!port.isEmpty() && port.toInt() != 80)
        result += ':' + QByteArray::number(port.toInt());
    return result;
}

} // namespace

QStringList localHostNames()
{
    QStringList names;
    const QString host = QHostInfo::localHostName().toLower();
    if (host.isEmpty())
        return names;
    names.append(host);
    const QString domain = QHostInfo::localDomainName().toLower();
    if (!domain.isEmpty())
        names.append(host + QLatin1Char('.') + domain);
    names.append(host + QStringLiteral(".local"));
    return names;
}

bool isAllowedHost(const QByteArray &host, const QStringList &hostNames)
{
    if (host.isNull())
        return true;
    QByteArray name;
    QByteArray port;
    if (!splitHost(host, &name, &port) || name.isEmpty())
        return false;
    if (name.endsWith('.'))
        name.chop(1);
    const QString text = QString::fromLatin1(name).toLower();
    if (text == QLatin1String("localhost") || hostNames.contains(text))
        return true;
    // Only the literal forms count as an address: a name that merely resolves to one is what
    // a rebinding attack would use.
    QHostAddress address;
    if (!address.setAddress(text))
        return false;
    return host.startsWith('[') ? address.protocol() == QAbstractSocket::IPv6Protocol
                                : address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool isSameOrigin(const QByteArray &origin, const QByteArray &host)
{
    if (origin.isNull())
        return true;
    if (host.isEmpty())
        return false;
    const QByteArray scheme("http://");
    if (origin.size() <= scheme.size() || origin.left(scheme.size()).toLower() != scheme)
        return false;
    const QByteArray ours = normalisedAuthority(host);
    return !ours.isEmpty() && normalisedAuthority(origin.mid(scheme.size())) == ours;
}

bool isOwnOrDirectFetch(const HttpRequest &request)
{
    const bool marked = std::any_of(request.headers.cbegin(), request.headers.cend(), [](const auto &entry) {
        return entry.first.size() > 10 && entry.first.first(10).compare("sec-fetch-", Qt::CaseInsensitive) == 0;
    });
    if (!marked)
        return true;
    const QByteArray site = request.header("Sec-Fetch-Site").toLower();
    return site == "same-origin" || site == "none";
}

} // namespace HostCheck
