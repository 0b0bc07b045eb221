// WinsockSession: the Windows socket layer for the life of the program. The constructor
// starts it (WSAStartup with version 2.0); the destructor cleans up only if that start
// succeeded, so start-ups and clean-ups stay paired. A failed start is not reported further:
// the remote-control server reports its own failure if it cannot listen.
// Plain C++; the header pulls in no Win32 header, so it may come before or after any other.
// The program makes one before main() runs.
#pragma once

class WinsockSession
{
public:
    // version: the low byte is the major version, as MAKEWORD builds it (0x0002 is 2.0).
    explicit WinsockSession(unsigned short version = 0x0002);
    ~WinsockSession();
    WinsockSession(const WinsockSession &) = delete;
    WinsockSession &operator=(const WinsockSession &) = delete;

    bool isStarted() const { return m_started; }
    // WSAStartup's result; 0 when the layer started.
    int startResult() const { return m_startResult; }

private:
    int m_startResult = 0;
    bool m_started = false;
};
