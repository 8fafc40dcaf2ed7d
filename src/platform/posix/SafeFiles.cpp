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

std::FILE* OpenRegularFile(const std::filesystem::path& Path, std::error_code& Error)
{
    // Non-blocking so that a FIFO in place of the file cannot stall the open.
    int fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
    {
        Error.assign(errno, std::generic_category());
        return nullptr;
    }
    struct stat st
    {
    };
    bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode))
    {
        Error.assign(known ? EINVAL : errno, std::generic_category());
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return StreamOf(fd, "rb", Error);
}

} // namespace orb::platform
