#include "platform/ShellOpen.h"

#include "platform/Process.h"
#include "platform/win32/Win32Util.h"

#include <shellapi.h>
#include <vector>

namespace orb::platform
{

void ShellOpen(const std::string& Target)
{
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", win32::Wide(Target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) // ShellExecute's documented failure range
        win32::RaiseLastOSError("\r\n(" + Target + ")");
}

std::string GetDefaultBrowser()
{
    // The command that opens http addresses, as the classes root names it: the program is its first word.
    DWORD size = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size == 0)
        return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, RRF_RT_REG_SZ, nullptr, buffer.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    std::wstring command(buffer.data());
    std::wstring program;
    if (!command.empty() && command[0] == L'"')
        program = command.substr(1, command.find(L'"', 1) - 1);
    else
        program = command.substr(0, command.find(L' '));
    return win32::Narrow(program.c_str(), program.size());
}

void OpenInBrowser(const std::string& URL)
{
    const std::string browser = GetDefaultBrowser();
    if (browser.empty())
        return ShellOpen(URL);
    RunProgram(browser, "\"" + URL + "\"");
}

} // namespace orb::platform
