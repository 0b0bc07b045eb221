// LocalAddress: which of this machine's addresses the remote control announces (in its URL and
// QR code). A phone on the same Wi-Fi can reach a private LAN address, so the first address in
// 192.168.0.0/16 or 10.0.0.0/8 wins; otherwise the first other non-loopback IPv4 address;
// otherwise 127.0.0.1. Pure chooser plus the system's interface list; GUI thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct NetworkInterfaceEntry
{
    bool isUp = false;
    bool isRunning = false;
    bool isLoopback = false;
    QStringList ipv4Addresses; // dotted text, in the order the system lists them
};

namespace LocalAddress {

// Interfaces in the order the system lists them.
QString choose(const QList<NetworkInterfaceEntry> &interfaces);

// This machine's interfaces, reduced to what choose() looks at.
QList<NetworkInterfaceEntry> systemInterfaces();

} // namespace LocalAddress
