#pragma once

#include <chrono>
#include <filesystem>

namespace orb
{

/// A moment as local wall-clock time with millisecond resolution, the system's date-time type.
using TDateTime = std::chrono::local_time<std::chrono::milliseconds>;

namespace platform
{

/// The current local time.
TDateTime Now();
/// The last-write time of a file or directory as local time; raises EOSError when it cannot be read.
TDateTime GetLastWriteTime(const std::filesystem::path& Path);
/// Sets the last-write time of a file or directory from local time; raises EOSError on failure, and for a symbolic
/// link, which is never followed: the time of whatever it points to stays.
void SetLastWriteTime(const std::filesystem::path& Path, TDateTime Time);

} // namespace platform
} // namespace orb
