#include "platform/SafeFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform
{

namespace
{

std::FILE* StreamOf(int Fd, const char* Mode, std::error_code& Error)
{
    std::FILE* f = ::fdopen(Fd, Mode);
    if (!f)
    {
        Error.assign(errno, std::generic_category());
        ::close(Fd);
    }
    return f;
}

} // namespace

std::FILE* CreateNewFile(const std::filesystem::path& Path, std::error_code& Error)
{
    // O_EXCL with O_CREAT fails on an existing link as well, dangling or not; O_NOFOLLOW says so once more.
    int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        Error.assign(errno, std::generic_category());
        return nullptr;
    }
    std::FILE* f = StreamOf(fd, "wb", Error);
    if (!f)
        ::unlink(Path.c_str());
    return f;
}

namespace
{

/// Opens Path with Flags, never through a link in its last part, and only when it is a regular file.
int OpenRegular(const std::filesystem::path& Path, int Flags, std::error_code& Error)
{
    // Non-blocking so that a FIFO in place of the file cannot stall the open.
    int fd = ::open(Path.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
    {
        Error.assign(errno, std::generic_category());
        return -1;
    }
    struct stat st
    {
    };
    bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode))
    {
        Error.assign(known ? EINVAL : errno, std::generic_category());
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

std::FILE* OpenRegularFileForAppend(const std::filesystem::path& Path, std::error_code& Error)
{
    int fd = OpenRegular(Path, O_WRONLY | O_APPEND, Error);
    return fd < 0 ? nullptr : StreamOf(fd, "ab", Error);
}

std::FILE* OpenRegularFile(const std::filesystem::path& Path, std::error_code& Error)
{
    int fd = OpenRegular(Path, O_RDONLY, Error);
    return fd < 0 ? nullptr : StreamOf(fd, "rb", Error);
}

} // namespace orb::platform
