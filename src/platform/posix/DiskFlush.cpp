#include "platform/DiskFlush.h"

#include "base/Exceptions.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform
{

void FlushToDisk(const std::filesystem::path& Dir)
{
    int fd = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int rc = -1;
    if (fd >= 0)
    {
#ifdef __linux__
        // One call for the whole file system: far cheaper than an fsync of every file of an installation.
        rc = ::syncfs(fd);
#else
        ::sync();
        rc = 0;
#endif
    }
    int e = errno;
    if (fd >= 0)
        ::close(fd);
    if (rc != 0)
        throw EOSError(e, SysErrorMessage(e) + "\r\nPath: " + Dir.string());
}

} // namespace orb::platform
