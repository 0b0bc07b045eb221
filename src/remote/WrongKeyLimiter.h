// WrongKeyLimiter: slows down anyone guessing the access key. An address that presents ten
// wrong keys within one minute is refused (429) for the following minute, right keys included,
// so its guesses cost it time. A request without any key is not a guess and is not counted.
//
// The table stays small whatever the traffic: addresses whose failures have all aged out are
// forgotten, and it never tracks more than MaxTrackedAddresses at once. Time comes from the
// caller (milliseconds of a monotonic clock), so the rules can be checked without waiting.
// Pure, GUI thread in the server; not thread-safe.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

class WrongKeyLimiter
{
public:
    static constexpr int MaxWrongKeys = 10;
    static constexpr qint64 WindowMs = 60'000;
    static constexpr qint64 BlockMs = 60'000;
    static constexpr int MaxTrackedAddresses = 1024;

    // True while the address must be refused.
    bool isBlocked(const QString &address, qint64 nowMs) const;
    // Counts a wrong key; true when this one starts a block.
    bool recordWrongKey(const QString &address, qint64 nowMs);
    // Until when the address is refused; 0 when it is not.
    qint64 blockedUntilMs(const QString &address, qint64 nowMs) const;

    int trackedAddressCount() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        QList<qint64> wrongKeyTimes; // inside the last window, oldest first
        qint64 blockedUntilMs = 0;
    };

    void forgetStale(qint64 nowMs);

    QHash<QString, Entry> m_entries;
};
