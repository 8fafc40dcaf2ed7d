#include "platform/ShellOpen.h"

#include "platform/win32/Win32Util.h"

#include <shellapi.h>

namespace orb::platform
{

void ShellOpen(const std::string& Target)
{
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", win32::Wide(Target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) // ShellExecute's documented failure range
        win32::RaiseLastOSError("\r\n(" + Target + ")");
}

} // namespace orb::platform
