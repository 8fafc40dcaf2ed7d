#include "base/AtomicFile.h"

#include "base/Exceptions.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace orb
{

namespace
{

#ifdef _WIN32
int OpenNew(const std::filesystem::path& Name, TFileAccess)
{
    return ::_wopen(Name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int OpenExisting(const std::filesystem::path& Name)
{
    return ::_wopen(Name.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY);
}
int WriteSome(int Fd, const char* Data, size_t Size)
{
    return ::_write(Fd, Data, static_cast<unsigned>(Size));
}
bool FlushToDisk(int Fd)
{
    return ::_commit(Fd) == 0;
}
int CloseFile(int Fd)
{
    return ::_close(Fd);
}
void KeepMode(int, const std::filesystem::path&) {}
void SyncDirectory(const std::filesystem::path&) {}
bool CannotCreateInFolder(int Code)
{
    return Code == EACCES || Code == EPERM;
}
#else
int OpenNew(const std::filesystem::path& Name, TFileAccess Access)
{
    return ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  Access == TFileAccess::faOwnerOnly ? 0600 : 0666);
}
int OpenExisting(const std::filesystem::path& Name)
{
    return ::open(Name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
}
int WriteSome(int Fd, const char* Data, size_t Size)
{
    return static_cast<int>(::write(Fd, Data, Size));
}
bool FlushToDisk(int Fd)
{
    return ::fsync(Fd) == 0;
}
int CloseFile(int Fd)
{
    return ::close(Fd);
}

/// Gives the new file the mode (and, where the process may, the owner) of the file it replaces.
void KeepMode(int Fd, const std::filesystem::path& Target)
{
    struct stat st
    {
    };
    if (::stat(Target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    // Only a privileged process may hand a file to another owner; for everybody else this is a no-op failure.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
    {
        int ignored = ::fchown(Fd, st.st_uid, st.st_gid);
        (void)ignored;
    }
    ::fchmod(Fd, st.st_mode & 07777);
}

void SyncDirectory(const std::filesystem::path& Dir)
{
    // The rename is only durable once the directory entry is on disk too; failure here loses nothing.
    int fd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

bool CannotCreateInFolder(int Code)
{
    return Code == EACCES || Code == EPERM || Code == EROFS;
}
#endif

std::filesystem::path TemporaryNameFor(const std::filesystem::path& Target, unsigned Attempt)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string suffix = ".tmp" + std::to_string(static_cast<unsigned long long>(stamp) % 1000000007ULL) + "-" +
                         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(Attempt);
    auto name = Target.filename();
    name += suffix;
    return Target.parent_path() / name;
}

/// Writes all of Bytes to Fd and flushes them to the disk; 0 or the error code.
int WriteAll(int Fd, std::string_view Bytes)
{
    // Written in pieces so that a huge text is not handed to one call.
    constexpr size_t piece = 1 << 20;
    for (size_t done = 0; done < Bytes.size();)
    {
        int n = WriteSome(Fd, Bytes.data() + done, std::min(piece, Bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return errno ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return FlushToDisk(Fd) ? 0 : (errno ? errno : EIO);
}

[[noreturn]] void RaiseWriteError(const std::filesystem::path& FileName, int Code)
{
    throw EInOutError(Code, "Cannot write file \"" + FileName.string() + "\". " + SysErrorMessage(Code));
}

/// The whole-file write where no file can be created beside the target: the target is truncated and written.
void WriteInPlace(const std::filesystem::path& FileName, std::string_view Bytes)
{
    int fd = OpenExisting(FileName);
    if (fd < 0)
        RaiseWriteError(FileName, errno);
    int code = WriteAll(fd, Bytes);
    if (CloseFile(fd) != 0 && code == 0)
        code = errno ? errno : EIO;
    if (code != 0)
        RaiseWriteError(FileName, code);
}

} // namespace

void WriteFileAtomic(const std::filesystem::path& FileName, std::string_view Bytes, TFileAccess Access)
{
    std::filesystem::path temp;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt)
    {
        temp = TemporaryNameFor(FileName, attempt);
        fd = OpenNew(temp, Access);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        int code = errno;
        std::error_code ec;
        // A folder that is not ours but holds a file we may write: the file is rewritten where it is.
        if (CannotCreateInFolder(code) && std::filesystem::is_regular_file(FileName, ec))
            return WriteInPlace(FileName, Bytes);
        throw EInOutError(code, "Cannot create file \"" + FileName.string() + "\". " + SysErrorMessage(code));
    }
    KeepMode(fd, FileName);
    int code = WriteAll(fd, Bytes);
    if (CloseFile(fd) != 0 && code == 0)
        code = errno ? errno : EIO;
    if (code != 0)
    {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        RaiseWriteError(FileName, code);
    }
    std::error_code ec;
    std::filesystem::rename(temp, FileName, ec);
    if (ec)
    {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EInOutError(ec.value(), "Cannot write file \"" + FileName.string() + "\". " + ec.message());
    }
    SyncDirectory(FileName.parent_path());
}

} // namespace orb
