#include "remote/ConnectionLimits.h"

bool ConnectionLimits::tryAdmit(const QString &address)
{
    if (m_total >= MaxConnections)
        return false;
    int &count = m_perAddress[address];
    if (count >= MaxPerAddress)
        return false;
    ++count;
    ++m_total;
    return true;
}

void ConnectionLimits::release(const QString &address)
{
    const auto found = m_perAddress.find(address);
    if (found == m_perAddress.end())
        return;
    --m_total;
    if (--found.value() <= 0)
        m_perAddress.erase(found);
}
