#include "update/DirectoryUtils.h"

#include "base/Exceptions.h"
#include "platform/SafeFiles.h"
#include "update/UpdateErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

struct TFileCloser
{
    void operator()(std::FILE* F) const { std::fclose(F); }
};

/// The entries of Dir, or the "does not exist" error when it is not an enumerable directory.
std::vector<fs::directory_entry> ListDirectory(const fs::path& Dir)
{
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    auto status = fs::symlink_status(Dir, ec);
    if (!ec && fs::is_directory(status))
    {
        for (fs::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(*it);
    }
    if (ec || !fs::is_directory(status))
        throw Exception("Directory " + Dir.string() + " does not exist");
    return entries;
}

} // namespace

fs::path TemporaryNameBeside(const fs::path& Target)
{
    // A fixed name rather than a random one: a download cut off by the end of the process leaves its temporary
    // file behind, and the next attempt at the same target removes it and starts anew instead of adding another.
    fs::path tmp = Target;
    tmp += TemporarySuffix;
    return tmp;
}

std::FILE* CreateTemporaryBeside(const fs::path& Target, fs::path& Temporary, std::error_code& Error)
{
    Temporary = TemporaryNameBeside(Target);
    for (int attempt = 0; attempt < 10; ++attempt)
    {
        Error.clear();
        if (std::FILE* f = platform::CreateNewFile(Temporary, Error))
            return f;
        if (Error != std::errc::file_exists)
            return nullptr;
        // A leftover of an interrupted run, or a link planted at the name: the name itself is removed, whatever it
        // points to stays untouched, and the file is created anew.
        std::error_code ec;
        fs::remove(Temporary, ec);
        if (ec && ec != std::errc::no_such_file_or_directory)
        {
            Error = ec;
            return nullptr;
        }
    }
    return nullptr;
}

void CopyFileReplacing(const fs::path& Source, const fs::path& Target)
{
    std::error_code ec;
    // A link as the source is refused rather than followed: its target may lie outside any installation.
    std::unique_ptr<std::FILE, TFileCloser> in(platform::OpenRegularFile(Source, ec));
    if (!in)
        RaiseOSError(ec, Source);
    auto time = fs::last_write_time(Source, ec);
    if (ec)
        RaiseOSError(ec, Source);
    auto permissions = fs::symlink_status(Source, ec).permissions();
    if (ec)
        RaiseOSError(ec, Source);
    fs::path tmp;
    std::unique_ptr<std::FILE, TFileCloser> out(CreateTemporaryBeside(Target, tmp, ec));
    if (!out)
        RaiseOSError(ec, Target);
    std::vector<char> buffer(64 * 1024);
    for (;;)
    {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0 && std::fwrite(buffer.data(), 1, n, out.get()) != n)
        {
            ec.assign(errno ? errno : EIO, std::generic_category());
            break;
        }
        if (n < buffer.size())
        {
            if (std::ferror(in.get()))
                ec.assign(errno ? errno : EIO, std::generic_category());
            break;
        }
    }
    if (std::fclose(out.release()) != 0 && !ec)
        ec.assign(errno ? errno : EIO, std::generic_category());
    // The temporary file is this process's own, created just now: no link can stand in its place.
    if (!ec)
        fs::permissions(tmp, permissions, ec);
    if (!ec)
        fs::last_write_time(tmp, time, ec);
    // A rename replaces a link at Target itself, never what the link points to.
    if (!ec)
        fs::rename(tmp, Target, ec);
    if (ec)
    {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        RaiseOSError(ec, Target);
    }
}

void CopyDirectory(const fs::path& Source, const fs::path& Target)
{
    auto entries = ListDirectory(Source);
    std::error_code ec;
    // A link in place of the target directory would carry the copies elsewhere: a real directory replaces it.
    if (fs::is_symlink(fs::symlink_status(Target, ec)))
        fs::remove(Target, ec);
    else
        ec.clear(); // a missing target is the usual case
    if (!ec)
        fs::create_directory(Target, ec);
    if (ec)
        RaiseOSError(ec, Target);
    for (const auto& entry : entries)
    {
        fs::path to = Target / entry.path().filename();
        auto status = entry.symlink_status(ec);
        if (ec)
            RaiseOSError(ec, entry.path());
        // Links are not copied into an installation (they may point anywhere); where the index lists the
        // file, the cache check finds it missing and it is downloaded instead.
        if (fs::is_directory(status))
            CopyDirectory(entry.path(), to);
        else if (fs::is_regular_file(status))
            CopyFileReplacing(entry.path(), to);
    }
}

void DeleteDirectory(const fs::path& D)
{
    std::error_code ec;
    // A link in place of the directory is removed itself; its target stays.
    if (fs::is_symlink(fs::symlink_status(D, ec)))
    {
        if (!fs::remove(D, ec) || ec)
            RaiseOSError(ec, D);
        return;
    }
    for (const auto& entry : ListDirectory(D))
    {
        auto status = entry.symlink_status(ec);
        if (!ec && fs::is_directory(status))
            DeleteDirectory(entry.path());
        else if (!ec)
            fs::remove(entry.path(), ec);
        if (ec)
            RaiseOSError(ec, entry.path());
    }
    fs::remove(D, ec);
    if (ec)
        RaiseOSError(ec, D);
}

void SetDirectoryTime(const fs::path& D, const TIndexTime& Time)
{
    SetLocalFileTime(D, RoundToDosTime(Time));
}

} // namespace orb
