#pragma once

#include "base/Exceptions.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace orb
{

/// An update index or an archive that names something outside the installation directory.
ORB_DECLARE_EXCEPTION(EUnsafeName, Exception)
/// An archive that cannot be read or unpacked.
ORB_DECLARE_EXCEPTION(EArchiveError, Exception)

/// The text of the message Key in the user's language (English where no language is loaded or the key is missing),
/// its placeholders {0}, {1} ... filled from Args.
std::string UpdateMessage(const char* Key, const char* English, const std::vector<std::string>& Args = {});

/// Raises the system error of Code as EOSError, naming the path it concerns.
[[noreturn]] void RaiseOSError(const std::error_code& Code, const std::filesystem::path& Path);

/// Raises EUnsafeName unless Name is a single, harmless path segment: not empty, not "." or "..",
/// without "/", "\" or NUL, not absolute and not ending with the suffix of temporary files. Where names the entry
/// in the message.
void CheckSegmentName(const std::string& Name, const std::string& Where);

} // namespace orb
