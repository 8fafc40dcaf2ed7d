#include "platform/Process.h"

#include "platform/win32/Win32Util.h"

#include <vector>

namespace orb
{

void RunProgram(const std::string& Path, const std::string& Parameters)
{
    std::wstring app = platform::win32::Wide(Path);
    // CreateProcessW may write into the command line buffer, so it must be a writable copy.
    std::wstring cmd = platform::win32::Wide(Parameters);
    std::vector<wchar_t> cmdBuffer(cmd.begin(), cmd.end());
    cmdBuffer.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(app.c_str(), cmdBuffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        platform::win32::RaiseLastOSError("\r\n(" + Path + " " + Parameters + ")");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

namespace platform
{

std::filesystem::path ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true)
    {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            win32::RaiseLastOSError();
        if (n < buffer.size())
            return std::filesystem::path(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
} // namespace orb
