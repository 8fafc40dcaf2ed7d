#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

namespace orb::platform
{

/// The four numbers of the fixed file version of an executable's version resource (major, minor,
/// release, build). Raises EOSError when the file has no version resource or no translation table.
/// Executables of POSIX systems carry no such resource: there the version is compiled in instead.
std::array<uint16_t, 4> ReadFileVersion(const std::filesystem::path& FileName);

} // namespace orb::platform
