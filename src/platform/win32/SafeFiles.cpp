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

/// The error of a failed CreateFileW, as the portable condition where one exists: callers compare with
/// std::errc (file_exists, no_such_file_or_directory) on every system.
std::error_code OpenError(DWORD Code)
{
    switch (Code)
    {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
        return std::make_error_code(std::errc::permission_denied);
    default:
        return std::error_code(static_cast<int>(Code), std::system_category());
    }
}

} // namespace

std::FILE* CreateNewFile(const std::filesystem::path& Path, std::error_code& Error)
{
    // CREATE_NEW fails on any existing name, a symbolic link or junction included.
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        DWORD code = GetLastError();
        // A directory at the name is "access denied" to CreateFileW; it is something already there.
        DWORD attributes = GetFileAttributesW(Path.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            code = ERROR_FILE_EXISTS;
        Error = OpenError(code);
        return nullptr;
    }
    std::FILE* f = StreamOf(h, _O_WRONLY | _O_BINARY, "wb", Error);
    if (!f)
        DeleteFileW(Path.c_str());
    return f;
}

namespace
{

/// Opens Path with Access for a stream, refusing links (reparse points), directories and devices.
std::FILE* OpenRegularStream(const std::filesystem::path& Path, DWORD Access, DWORD Share, int Flags, const char* Mode,
                             std::error_code& Error)
{
    // Backup semantics open a directory too, so that it is refused as "not a regular file" rather than as
    // "access denied".
    HANDLE h = CreateFileW(Path.c_str(), Access, Share, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        Error = OpenError(GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    std::error_code refused;
    if (!GetFileInformationByHandle(h, &info))
        refused = OpenError(GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refused = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(h) != FILE_TYPE_DISK)
        refused = std::make_error_code(std::errc::invalid_argument);
    if (refused)
    {
        Error = refused;
        CloseHandle(h);
        return nullptr;
    }
    return StreamOf(h, Flags, Mode, Error);
}

} // namespace

std::FILE* OpenRegularFile(const std::filesystem::path& Path, std::error_code& Error)
{
    return OpenRegularStream(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, _O_RDONLY | _O_BINARY, "rb",
                             Error);
}

std::FILE* OpenRegularFileForAppend(const std::filesystem::path& Path, std::error_code& Error)
{
    return OpenRegularStream(Path, FILE_APPEND_DATA, FILE_SHARE_READ, _O_WRONLY | _O_APPEND | _O_BINARY, "ab", Error);
}

} // namespace orb::platform
