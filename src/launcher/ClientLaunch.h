#pragma once

#include "base/Attributes.h"

#include <filesystem>
#include <string>

namespace orb
{

/// The environment variable through which the client receives its connection parameters.
inline constexpr const char* ConnectionSettingsVariable = "nimb_orb_loader_connection_settings";

/// Stores the whole text of Settings (each line followed by CR LF) in the environment variable the client
/// inherits; raises EOSError when the system refuses it.
void ExportConnectionSettings(const TAttributes& Settings);
/// Exports the process-wide ConnectionSettings.
void ExportConnectionSettings();

/// The installation directory (ending with the separator) of the installed client with the highest
/// version.info version in the application directory; empty when there is no "APP#" entry at all.
/// Raises the off-line message when the highest version is lower than 4.5, and EConvertError for an
/// unreadable version number.
std::string FindNewestClientDirectory();
/// The same for the installations inside AppDir.
std::string FindNewestClientDirectory(const std::filesystem::path& AppDir);

/// The version text of an installation's version.info bytes: the first line (up to CR or LF; empty when the
/// file has no line break at all) in the encoding its byte-order mark names (else the 8-bit code page),
/// with every "-" turned into ".".
std::string VersionInfoText(const std::string& Bytes);

} // namespace orb
