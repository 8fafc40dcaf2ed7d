#include "base/AtomicFile.h"

#include "base/Exceptions.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace orb
{

namespace
{

// Flushing to the disk is the one call the standard library lacks; it is the only system call here.
bool FlushToDisk(std::FILE* f)
{
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

void SyncDirectory([[maybe_unused]] const std::filesystem::path& dir)
{
#ifndef _WIN32
    // The rename is only durable once the directory entry is on disk too; failure here loses nothing.
    int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
#endif
}

std::filesystem::path TemporaryNameFor(const std::filesystem::path& target)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string suffix = ".tmp" + std::to_string(static_cast<unsigned long long>(stamp) % 1000000007ULL) + "-" +
                         std::to_string(counter.fetch_add(1));
    auto name = target.filename();
    name += suffix;
    return target.parent_path() / name;
}

} // namespace

void WriteFileAtomic(const std::filesystem::path& FileName, std::string_view Bytes)
{
    const auto temp = TemporaryNameFor(FileName);
    std::FILE* f = std::fopen(temp.string().c_str(), "wb");
    if (!f)
    {
        int code = errno;
        throw EInOutError(code, "Cannot create file \"" + FileName.string() + "\". " + SysErrorMessage(code));
    }
    int code = 0;
    // Written in pieces so that a huge text is not handed to one call.
    constexpr size_t piece = 32768;
    for (size_t done = 0; done < Bytes.size() && code == 0; done += piece)
    {
        size_t n = std::min(piece, Bytes.size() - done);
        if (std::fwrite(Bytes.data() + done, 1, n, f) != n)
            code = errno ? errno : EIO;
    }
    if (code == 0 && std::fflush(f) != 0)
        code = errno ? errno : EIO;
    if (code == 0 && !FlushToDisk(f))
        code = errno ? errno : EIO;
    if (std::fclose(f) != 0 && code == 0)
        code = errno ? errno : EIO;
    if (code != 0)
    {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EInOutError(code, "Cannot write file \"" + FileName.string() + "\". " + SysErrorMessage(code));
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
