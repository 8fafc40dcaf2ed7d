#include "update/DirectoryUtils.h"

#include "base/Exceptions.h"
#include "update/UpdateErrors.h"

#include <chrono>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

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
    // file behind, and the next attempt at the same target overwrites and renames it instead of adding another.
    fs::path tmp = Target;
    tmp += TemporarySuffix;
    return tmp;
}

void CopyFileReplacing(const fs::path& Source, const fs::path& Target)
{
    std::error_code ec;
    auto time = fs::last_write_time(Source, ec);
    if (ec)
        RaiseOSError(ec, Source);
    fs::path tmp = TemporaryNameBeside(Target);
    fs::copy_file(Source, tmp, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::last_write_time(tmp, time, ec);
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
    fs::create_directory(Target, ec);
    if (ec)
        RaiseOSError(ec, Target);
    for (const auto& entry : entries)
    {
        fs::path to = Target / entry.path().filename();
        auto status = entry.symlink_status(ec);
        if (ec)
            RaiseOSError(ec, entry.path());
        if (fs::is_symlink(status))
        {
            fs::remove(to, ec);
            if (!ec)
                fs::copy_symlink(entry.path(), to, ec);
            if (ec)
                RaiseOSError(ec, to);
        }
        else if (fs::is_directory(status))
            CopyDirectory(entry.path(), to);
        else
        {
            auto time = fs::last_write_time(entry.path(), ec);
            if (!ec)
                fs::copy_file(entry.path(), to, fs::copy_options::overwrite_existing, ec);
            if (!ec)
                fs::last_write_time(to, time, ec);
            if (ec)
                RaiseOSError(ec, to);
        }
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
