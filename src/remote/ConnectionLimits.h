// ConnectionLimits: how many request connections the remote control holds open at once, so
// that clients which connect and then trickle (or never finish) their request cannot use up
// the program's file descriptors or lock the phone out. At most MaxConnections in all and
// MaxPerAddress from any one address: a single misbehaving machine holds a quarter of the
// room at most, and a phone on another address still gets in. Preview viewers are not counted
// here; the stream has its own limit (PreviewStream::MaxClients).
//
// Pure bookkeeping, GUI thread in the server; not thread-safe. Every admitted connection must
// be released exactly once.
#pragma once

#include <QHash>
#include <QString>

class ConnectionLimits
{
public:
    static constexpr int MaxConnections = 64;
    static constexpr int MaxPerAddress = 16;

    // Counts the connection and returns true when there is room for it; false (and nothing
    // counted) when the total or this address's share is used up.
    bool tryAdmit(const QString &address);
    void release(const QString &address);

    int total() const { return m_total; }
    int countFor(const QString &address) const { return m_perAddress.value(address, 0); }

private:
    QHash<QString, int> m_perAddress;
    int m_total = 0;
};
