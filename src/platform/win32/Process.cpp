#include "platform/Process.h"

#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <cwchar>
#include <string_view>
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
    // Sorted by name alone, without case in the system's ordinal (upper-case) order; comparing whole entries in
    // lower case would put "A_B" before "AB".
    auto nameOf = [](const std::wstring& Entry) {
        size_t end = Entry.find(L'=', 1); // a leading "=" belongs to the name (the drives' current folders)
        return std::wstring_view(Entry).substr(0, end);
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const std::wstring& a, const std::wstring& b) {
        auto x = nameOf(a), y = nameOf(b);
        return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) ==
               CSTR_LESS_THAN;
    });
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
    // A NUL would end the path, the command line or the environment block early.
    bool hasNul = Path.find('\0') != std::string::npos || Parameters.find('\0') != std::string::npos;
    for (const auto& [name, value] : Environment)
        hasNul = hasNul || name.find('\0') != std::string::npos || value.find('\0') != std::string::npos;
    if (hasNul)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        platform::win32::RaiseLastOSError("\r\n(" + Path + " " + Parameters + ")");
    }
    std::wstring app = platform::win32::Wide(Path);
    // The program's own name comes first on its command line: the start-up code of the child takes the first
    // word as its name, so Parameters alone would lose their first argument.
    std::wstring cmd = L"\"" + app + L"\"";
    if (!Parameters.empty())
        cmd += L" " + platform::win32::Wide(Parameters);
    // CreateProcessW may write into the command line buffer, so it must be a writable copy.
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
