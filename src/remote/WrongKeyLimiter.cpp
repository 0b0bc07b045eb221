#include "remote/WrongKeyLimiter.h"

bool WrongKeyLimiter::isBlocked(const QString &address, qint64 nowMs) const
{
    return blockedUntilMs(address, nowMs) > 0;
}

qint64 WrongKeyLimiter::blockedUntilMs(const QString &address, qint64 nowMs) const
{
    const auto found = m_entries.constFind(address);
    if (found == m_entries.cend() || found->blockedUntilMs <= nowMs)
        return 0;
    return found->blockedUntilMs;
}

bool WrongKeyLimiter::recordWrongKey(const QString &address, qint64 nowMs)
{
    if (isBlocked(address, nowMs))
        return false; // refused before its key was looked at; the block runs its minute
    if (!m_entries.contains(address) && m_entries.size() >= MaxTrackedAddresses)
        forgetStale(nowMs);
    // Still full of live entries: forget those that are not blocked rather than grow. Only a
    // flood from a thousand addresses at once gets here, and blocks survive it.
    if (!m_entries.contains(address) && m_entries.size() >= MaxTrackedAddresses) {
        m_entries.removeIf([nowMs](const auto &item) { return item.value().blockedUntilMs <= nowMs; });
        if (m_entries.size() >= MaxTrackedAddresses)
            return false;
    }

    Entry &entry = m_entries[address];
    while (!entry.wrongKeyTimes.isEmpty() && entry.wrongKeyTimes.first() <= nowMs - WindowMs)
        entry.wrongKeyTimes.removeFirst();
    entry.wrongKeyTimes.append(nowMs);
    if (entry.wrongKeyTimes.size() < MaxWrongKeys)
        return false;
    entry.wrongKeyTimes.clear();
    entry.blockedUntilMs = nowMs + BlockMs;
    return true;
}

void WrongKeyLimiter::forgetStale(qint64 nowMs)
{
    m_entries.removeIf([nowMs](const auto &item) {
        const Entry &entry = item.value();
        return entry.blockedUntilMs <= nowMs
               && (entry.wrongKeyTimes.isEmpty() || entry.wrongKeyTimes.last() <= nowMs - WindowMs);
    });
}
