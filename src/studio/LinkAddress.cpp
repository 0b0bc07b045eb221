#include "studio/LinkAddress.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

bool isWellFormedKey(const QString &key)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{32}$"));
    return hex.match(key).hasMatch();
}

std::optional<LinkAddress> failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

} // namespace

QString LinkAddress::display() const
{
    const bool ipv6 = host.contains(QLatin1Char(':'));
    return (ipv6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(host).arg(port);
}

QByteArray LinkAddress::hostHeader() const
{
    return display().toUtf8();
}

QJsonObject LinkAddress::toJson() const
{
    return QJsonObject{{QStringLiteral("host"), host}, {QStringLiteral("port"), int(port)}, {QStringLiteral("key"), key}};
}

std::optional<LinkAddress> LinkAddress::fromJson(const QJsonObject &object)
{
    const int port = object.value(QStringLiteral("port")).toInt(DefaultPort);
    const LinkAddress stored{object.value(QStringLiteral("host")).toString(), quint16(std::clamp(port, 0, 65535)), QString()};
    return parseLinkAddress(stored.display(), object.value(QStringLiteral("key")).toString());
}

std::optional<LinkAddress> parseLinkAddress(const QString &entered, const QString &key, QString *error)
{
    QString text = entered.trimmed();
    if (text.isEmpty())
        return failWith(error, QStringLiteral("no address"));
    const bool hasScheme = text.contains(QStringLiteral("://"));
    if (hasScheme && !text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return failWith(error, QStringLiteral("not an http address"));
    if (!hasScheme)
        text.prepend(QStringLiteral("http://"));
    // The authority is checked before QUrl, which refuses a bad port without saying why.
    const QString authority = text.mid(7).section(QRegularExpression(QStringLiteral("[/?#]")), 0, 0);
    if (authority.contains(QLatin1Char('@')))
        return failWith(error, QStringLiteral("not an http address"));
    const qsizetype bracket = authority.lastIndexOf(QLatin1Char(']'));
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon > bracket && (bracket >= 0 || authority.count(QLatin1Char(':')) == 1)) {
        bool isNumber = false;
        const int port = authority.mid(colon + 1).toInt(&isNumber);
        if (!isNumber || port < 1 || port > 65535)
            return failWith(error, QStringLiteral("the port is not a number from 1 to 65535"));
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return failWith(error, QStringLiteral("not an http address"));

    // QUrl gives -1 for a port that is absent and refuses one that is not a number.
    const int port = url.port(LinkAddress::DefaultPort);
    if (port < 1 || port > 65535)
        return failWith(error, QStringLiteral("the port is not a number from 1 to 65535"));

    LinkAddress address;
    address.host = url.host();
    address.port = quint16(port);
    const QString linkKey = QUrlQuery(url).queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
    address.key = (key.trimmed().isEmpty() ? linkKey : key.trimmed()).toLower();
    if (!address.key.isEmpty() && !isWellFormedKey(address.key))
        return failWith(error, QStringLiteral("the key must be 32 hexadecimal digits"));
    return address;
}
