#include "platform/Process.h"

#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace orb
{

namespace
{

/// The process's environment block with the variables of Environment set or replaced (names compare without
/// case, as Windows does), sorted as CreateProcessW expects.
std::vector<wchar_t> EnvironmentBlock(const TEnvironment& Environment)
{
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW())
    {
        for (const wchar_t* p = own; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : Environment)
    {
        std::wstring prefix = platform::win32::Wide(name) + L"=";
        std::erase_if(entries, [&](const std::wstring& e) {
            return e.size() >= prefix.size() && _wcsnicmp(e.c_str(), prefix.c_str(), prefix.size()) == 0;
        });
        entries.push_back(prefix + platform::win32::Wide(value));
    }
    std::sort(entries.begin(), entries.end(),
              [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    std::vector<wchar_t> block;
    for (const auto& e : entries)
    {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

} // namespace

void RunProgram(const std::string& Path, const std::string& Parameters, const TEnvironment& Environment)
{
    std::wstring app = platform::win32::Wide(Path);
    // CreateProcessW may write into the command line buffer, so it must be a writable copy.
    std::wstring cmd = platform::win32::Wide(Parameters);
    std::vector<wchar_t> cmdBuffer(cmd.begin(), cmd.end());
    cmdBuffer.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> environment;
    if (!Environment.empty())
        environment = EnvironmentBlock(Environment);
    if (!CreateProcessW(app.c_str(), cmdBuffer.data(), nullptr, nullptr, TRUE,
                        Environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                        Environment.empty() ? nullptr : environment.data(), nullptr, &si, &pi))
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
