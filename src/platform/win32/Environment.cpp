#include "platform/Environment.h"

#include "platform/win32/Win32Util.h"

#include <vector>

namespace orb::platform
{

std::optional<std::string> GetEnvironmentValue(const std::string& Name)
{
    std::wstring name = win32::Wide(Name);
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>(std::string());
    std::vector<wchar_t> buffer(size);
    DWORD n = GetEnvironmentVariableW(name.c_str(), buffer.data(), size);
    return win32::Narrow(buffer.data(), n);
}

void SetEnvironmentValue(const std::string& Name, const std::string& Value)
{
    // A NUL would silently cut the value short; refuse it like a name with "=" in it.
    if (Name.find('\0') != std::string::npos || Value.find('\0') != std::string::npos)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        win32::RaiseLastOSError();
    }
    if (!SetEnvironmentVariableW(win32::Wide(Name).c_str(), win32::Wide(Value).c_str()))
        win32::RaiseLastOSError();
}

void RemoveEnvironmentValue(const std::string& Name)
{
    if (!SetEnvironmentVariableW(win32::Wide(Name).c_str(), nullptr) && GetLastError() != ERROR_ENVVAR_NOT_FOUND)
        win32::RaiseLastOSError();
}

} // namespace orb::platform
