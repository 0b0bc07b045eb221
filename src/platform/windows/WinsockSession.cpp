#include "platform/windows/WinsockSession.h"

#include <winsock2.h>

WinsockSession::WinsockSession(unsigned short version)
{
    WSADATA data{};
    m_startResult = WSAStartup(version, &data);
    m_started = m_startResult == 0;
}

WinsockSession::~WinsockSession()
{
    if (m_started)
        WSACleanup();
}
