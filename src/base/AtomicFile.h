#pragma once

#include <filesystem>
#include <string_view>

namespace orb
{

/// Writes Bytes to FileName so that the file is either the old one or completely the new one:
/// the bytes go to a temporary file beside the target, are flushed to disk, and the temporary file is
/// renamed over the target. Raises EInOutError (the old file untouched) when anything fails.
void WriteFileAtomic(const std::filesystem::path& FileName, std::string_view Bytes);

} // namespace orb
