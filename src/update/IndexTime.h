#pragma once

#include <filesystem>
#include <string>

namespace orb
{

/// A local wall-clock date and time to the second, as an update index writes its `modified` stamps.
struct TIndexTime
{
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    bool operator==(const TIndexTime&) const = default;
};

/// Parses yyyymmddhhnnss (characters after the 14th ignored); raises EConvertError "Wrong date: "..."" otherwise.
TIndexTime ParseIndexTime(const std::string& Text);
/// The 14-digit text of Time.
std::string FormatIndexTime(const TIndexTime& Time);
/// Time with odd seconds rounded down, as the 2-second DOS date-time format stores it.
TIndexTime RoundToDosTime(const TIndexTime& Time);

/// The last-write time of a file as local wall-clock time, to the second; false when it cannot be read.
bool TryGetLocalFileTime(const std::filesystem::path& FileName, TIndexTime& Time);
/// Sets the last-write time of a file or directory from local wall-clock time; raises EOSError on failure.
void SetLocalFileTime(const std::filesystem::path& FileName, const TIndexTime& Time);
/// The current local wall-clock time.
TIndexTime LocalNow();

} // namespace orb
