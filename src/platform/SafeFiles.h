#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace orb::platform
{

/// Creates the file Path and opens it for writing; fails (the file-exists error) when anything is there already,
/// a symbolic link included, so nothing is ever written through a link planted at that name.
/// Returns null with Error set on failure.
std::FILE* CreateNewFile(const std::filesystem::path& Path, std::error_code& Error);

/// Opens the regular file Path for reading without following a symbolic link in its last part (a link fails with
/// the too-many-links error, anything but a regular file with the invalid-argument error).
/// Returns null with Error set on failure.
std::FILE* OpenRegularFile(const std::filesystem::path& Path, std::error_code& Error);

/// Opens the existing regular file Path for appending, refused as OpenRegularFile refuses (a link in its last part,
/// anything but a regular file), so nothing is ever written through a link. Returns null with Error set on failure.
std::FILE* OpenRegularFileForAppend(const std::filesystem::path& Path, std::error_code& Error);

} // namespace orb::platform
