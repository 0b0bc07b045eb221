// LinkAddress: where another recorder of the studio is and the key it lets us in with.
//
// The operator types or scans it: the link a recorder shows as its QR code
// ("http://192.168.1.20:8080/?key=3f9c..."), or an address with or without a port
// ("192.168.1.20:8081", "studio-b.local") and the key typed apart. The key is the receiving
// recorder's access key (32 hexadecimal digits), or empty when that recorder has its key
// switched off. Pure.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <optional>

struct LinkAddress
{
    static constexpr quint16 DefaultPort = 8080;

    QString host;
    quint16 port = DefaultPort;
    QString key;

    // "192.168.1.20:8080" ("[::1]:8080" for IPv6).
    QString display() const;
    // The value of the Host header of a request to it.
    QByteArray hostHeader() const;

    QJsonObject toJson() const; // host, port, key
    static std::optional<LinkAddress> fromJson(const QJsonObject &object);

    friend bool operator==(const LinkAddress &, const LinkAddress &) = default;
};

// Reads what the operator entered. `key`, when not empty, wins over a key in the link. Empty
// with `error` set ("no address", "not an http address", "the port is not a number from 1
// to 65535", "the key must be 32 hexadecimal digits") when it cannot be used.
std::optional<LinkAddress> parseLinkAddress(const QString &entered, const QString &key = QString(),
                                            QString *error = nullptr);
