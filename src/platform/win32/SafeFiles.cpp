#include "platform/SafeFiles.h"

#include "platform/win32/Win32Util.h"

#include <fcntl.h>
#include <io.h>

namespace orb::platform
{

namespace
{

std::FILE* StreamOf(HANDLE H, int Flags, const char* Mode, std::error_code& Error)
{
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(H), Flags);
    if (fd < 0)
    {
        Error.assign(static_cast<int>(ERROR_TOO_MANY_OPEN_FILES), std::system_category());
        CloseHandle(H);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, Mode);
    if (!f)
    {
        Error.assign(static_cast<int>(ERROR_TOO_MANY_OPEN_FILES), std::system_category());
        _close(fd);
    }
    return f;
}

} // namespace

std::FILE* CreateNewFile(const std::filesystem::path& Path, std::error_code& Error)
{
    // CREATE_NEW fails on any existing name, a symbolic link or junction included.
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        Error.assign(static_cast<int>(GetLastError()), std::system_category());
        return nullptr;
    }
    std::FILE* f = StreamOf(h, _O_WRONLY | _O_BINARY, "wb", Error);
    if (!f)
        DeleteFileW(Path.c_str());
    return f;
}

std::FILE* OpenRegularFile(const std::filesystem::path& Path, std::error_code& Error)
{
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        Error.assign(static_cast<int>(GetLastError()), std::system_category());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
    {
        Error.assign(static_cast<int>(ERROR_CANT_ACCESS_FILE), std::system_category());
        CloseHandle(h);
        return nullptr;
    }
    return StreamOf(h, _O_RDONLY | _O_BINARY, "rb", Error);
}

} // namespace orb::platform
