#pragma once

// Helpers shared by the Windows implementations; included only by win32/*.cpp.
#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <string>
#include <windows.h>

namespace orb::platform::win32
{

/// UTF-8 to the wide text the W functions take.
inline std::wstring Wide(const std::string& Text)
{
    std::u16string u = Utf8ToUtf16(Text);
    return std::wstring(u.begin(), u.end());
}

/// Wide text back to UTF-8.
inline std::string Narrow(const wchar_t* Text, size_t Length)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(Text), Length));
}

/// The system's text of an error code.
inline std::string ErrorText(DWORD Code)
{
    wchar_t* buffer = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, Code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n ? Trim(Narrow(buffer, n)) : "System error " + std::to_string(Code);
    LocalFree(buffer);
    return text;
}

/// Raises EOSError for the thread's last error, with Suffix appended to the system's text.
[[noreturn]] inline void RaiseLastOSError(const std::string& Suffix = {})
{
    DWORD code = GetLastError();
    throw EOSError(static_cast<int>(code), ErrorText(code) + Suffix);
}

} // namespace orb::platform::win32
