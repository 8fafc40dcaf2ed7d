#include "platform/FileLock.h"

#include "base/Exceptions.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orb::platform
{

TFileLock::~TFileLock()
{
    Unlock();
}

TFileLock::TFileLock(TFileLock&& Other) noexcept : FHandle(Other.FHandle)
{
    Other.FHandle = InvalidHandle;
}

TFileLock& TFileLock::operator=(TFileLock&& Other) noexcept
{
    if (this != &Other)
    {
        Unlock();
        FHandle = Other.FHandle;
        Other.FHandle = InvalidHandle;
    }
    return *this;
}

bool TFileLock::TryLock(const std::filesystem::path& Path)
{
    Unlock();
    // Close-on-exec: a client started while the lock is held must not inherit it.
    int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        int e = errno;
        throw EOSError(e, SysErrorMessage(e) + "\r\nPath: " + Path.string());
    }
    // flock belongs to the open file description: it conflicts with other opens in this process too, and it ends
    // with the process.
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
    {
        int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return false;
        throw EOSError(e, SysErrorMessage(e) + "\r\nPath: " + Path.string());
    }
    FHandle = fd;
    return true;
}

void TFileLock::Unlock()
{
    if (FHandle != InvalidHandle)
    {
        ::close(static_cast<int>(FHandle)); // closing the last descriptor releases the lock
        FHandle = InvalidHandle;
    }
}

} // namespace orb::platform
