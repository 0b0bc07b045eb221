#include "platform/windows/WinText.h"

#include <cstdio>

std::string utf8FromWide(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string result(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

std::string hresultText(HRESULT result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    std::string text(code);

    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, DWORD(result), 0, reinterpret_cast<wchar_t *>(&message),
                                        0, nullptr);
    if (length > 0 && message) {
        std::wstring wide(message, length);
        // The system ends its messages with a full stop and a line break.
        while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
            wide.pop_back();
        if (!wide.empty())
            text += ' ' + utf8FromWide(wide);
    }
    if (message)
        LocalFree(message);
    return text;
}
