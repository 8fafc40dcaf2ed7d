// A program for the process tests on Windows: it writes what it was started with (its arguments, working
// folder and the environment variables named in ORB_CHILD_SHOW) as UTF-8 lines to the file ORB_CHILD_OUT,
// after the file ORB_CHILD_WAIT_FOR exists when that is set. The file appears whole, by a rename.
// clang-format off
#include <windows.h> // before shellapi.h, which needs its definitions
#include <shellapi.h>
// clang-format on

#include <string>

namespace
{

std::wstring Variable(const wchar_t* Name, bool& Set)
{
    DWORD size = GetEnvironmentVariableW(Name, nullptr, 0);
    Set = size != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(Name, value.data(), size));
    return value;
}

std::string Utf8(const std::wstring& Text)
{
    if (Text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

int main()
{
    bool set = false;
    const std::wstring out = Variable(L"ORB_CHILD_OUT", set);
    if (!set)
        return 2;
    const std::wstring waitFor = Variable(L"ORB_CHILD_WAIT_FOR", set);
    for (int i = 0; set && i < 6000 && GetFileAttributesW(waitFor.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);

    std::string text;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i)
        text += "arg:" + Utf8(argv[i]) + "\n";
    LocalFree(argv);
    wchar_t cwd[MAX_PATH];
    text += "cwd:" + Utf8(std::wstring(cwd, GetCurrentDirectoryW(MAX_PATH, cwd))) + "\n";
    const std::wstring show = Variable(L"ORB_CHILD_SHOW", set);
    for (size_t start = 0; start < show.size();)
    {
        size_t end = show.find(L';', start);
        if (end == std::wstring::npos)
            end = show.size();
        std::wstring name = show.substr(start, end - start);
        std::wstring value = Variable(name.c_str(), set);
        text += Utf8(name) + (set ? "=" + Utf8(value) : std::string(" unset")) + "\n";
        start = end + 1;
    }

    std::wstring temp = out + L".tmp";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return MoveFileExW(temp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
