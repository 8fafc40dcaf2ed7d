#pragma once

#include "update/IndexTime.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace orb
{

/// Copies the tree Source into Target (created when missing), replacing existing files and keeping each file's
/// last-write time. Symbolic links (and anything but files and directories) are skipped, never followed nor
/// copied; a link in Target's place is replaced by a real directory.
/// Raises "Directory <Source> does not exist" when Source cannot be enumerated, EOSError when a copy fails.
void CopyDirectory(const std::filesystem::path& Source, const std::filesystem::path& Target);

/// Deletes the tree D and D itself. A symbolic link is removed as a link: nothing outside the tree is touched.
/// Raises "Directory <D> does not exist" when D cannot be enumerated, EOSError when something cannot be deleted.
void DeleteDirectory(const std::filesystem::path& D);

/// Sets the last-write time of directory D from local wall-clock time, odd seconds rounded down (the 2-second
/// DOS date-time format); raises EOSError on failure.
void SetDirectoryTime(const std::filesystem::path& D, const TIndexTime& Time);

/// Copies the regular file Source over Target through a new temporary file beside Target, keeping Source's
/// last-write time and permissions, so that Target is either untouched or the complete copy; a link at Target is
/// replaced, not written through. Raises EOSError on failure, also when Source is a symbolic link.
void CopyFileReplacing(const std::filesystem::path& Source, const std::filesystem::path& Target);

/// The suffix of temporary files beside their targets; index entries may not end with it.
constexpr const char* TemporarySuffix = ".orb-part";

/// The temporary file name beside Target: Target followed by TemporarySuffix.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& Target);

/// Creates the temporary file beside Target (TemporaryNameBeside) for writing and sets Temporary to its name.
/// Created exclusively: whatever is at the name already (a leftover, a planted link) is removed as a name and never
/// opened. Returns null with Error set when no file can be created.
std::FILE* CreateTemporaryBeside(const std::filesystem::path& Target, std::filesystem::path& Temporary,
                                 std::error_code& Error);

} // namespace orb
