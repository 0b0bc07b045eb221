// Text helpers of the Windows layers: UTF-8 from the wide strings Win32 and COM hand out, and
// a readable form of an HRESULT for log lines. Plain C++; any thread.
#pragma once

#include <windows.h>

#include <string>

std::string utf8FromWide(const std::wstring &text);

// "0x80040154 Class not registered": the code in hex and the system's message for it (the
// message is left out when the system has none).
std::string hresultText(HRESULT result);
