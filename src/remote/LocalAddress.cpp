#include "remote/LocalAddress.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace LocalAddress {

QString choose(const QList<NetworkInterfaceEntry> &interfaces)
{
    QString chosen = QStringLiteral("127.0.0.1");
    bool fallbackReplaced = false;
    for (const NetworkInterfaceEntry &entry : interfaces) {
        if (!entry.isUp || !entry.isRunning || entry.isLoopback)
            continue;
        for (const QString &address : entry.ipv4Addresses) {
            if (address.startsWith(QLatin1String("192.168.")) || address.startsWith(QLatin1String("10.")))
                return address;
            if (!fallbackReplaced && !address.startsWith(QLatin1String("127."))) {
                chosen = address;
                fallbackReplaced = true;
            }
        }
    }
    return chosen;
}

QList<NetworkInterfaceEntry> systemInterfaces()
{
    QList<NetworkInterfaceEntry> result;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        NetworkInterfaceEntry entry;
        const auto flags = interface.flags();
        entry.isUp = flags.testFlag(QNetworkInterface::IsUp);
        entry.isRunning = flags.testFlag(QNetworkInterface::IsRunning);
        entry.isLoopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry &address : interface.addressEntries()) {
            if (address.ip().protocol() == QAbstractSocket::IPv4Protocol)
                entry.ipv4Addresses.append(address.ip().toString());
        }
        result.append(entry);
    }
    return result;
}

} // namespace LocalAddress
