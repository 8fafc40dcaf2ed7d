#pragma once

#include <filesystem>

namespace orb::platform
{

/// Writes everything written so far below Dir from the system's caches to the disk, so that it survives a power
/// loss; raises EOSError (with the path) when the system cannot do it.
void FlushToDisk(const std::filesystem::path& Dir);

} // namespace orb::platform
