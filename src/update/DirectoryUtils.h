#pragma once

#include "update/IndexTime.h"

#include <filesystem>

namespace orb
{

/// Copies the tree Source into Target (created when missing), replacing existing files and keeping each file's
/// last-write time. Symbolic links are copied as links, never followed.
/// Raises "Directory <Source> does not exist" when Source cannot be enumerated, EOSError when a copy fails.
void CopyDirectory(const std::filesystem::path& Source, const std::filesystem::path& Target);

/// Deletes the tree D and D itself. A symbolic link is removed as a link: nothing outside the tree is touched.
/// Raises "Directory <D> does not exist" when D cannot be enumerated, EOSError when something cannot be deleted.
void DeleteDirectory(const std::filesystem::path& D);

/// Sets the last-write time of directory D from local wall-clock time, odd seconds rounded down (the 2-second
/// DOS date-time format); raises EOSError on failure.
void SetDirectoryTime(const std::filesystem::path& D, const TIndexTime& Time);

/// Copies the file Source over Target through a temporary file beside Target, keeping Source's last-write time,
/// so that Target is either untouched or the complete copy; raises EOSError on failure.
void CopyFileReplacing(const std::filesystem::path& Source, const std::filesystem::path& Target);

/// The suffix of temporary files beside their targets; index entries may not end with it.
constexpr const char* TemporarySuffix = ".orb-part";

/// The temporary file name beside Target: Target followed by TemporarySuffix.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& Target);

} // namespace orb
