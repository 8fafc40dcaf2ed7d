#include "platform/ShellOpen.h"

#include "platform/Process.h"
#include "platform/win32/Win32Util.h"

#include <shellapi.h>
#include <vector>

namespace orb::platform
{

void ShellOpen(const std::string& Target)
{
    // The extended call reports its failure through the thread's last error; the plain one only through a
    // small result code that the last error need not match.
    std::wstring target = win32::Wide(Target);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
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
