#pragma once

#include "base/Attributes.h"
#include "platform/Process.h"

#include <filesystem>
#include <string>

namespace orb
{

/// The environment variable through which the client receives its connection parameters.
inline constexpr const char* ConnectionSettingsVariable = "nimb_orb_loader_connection_settings";

/// The environment the client is started with: the whole text of Settings (each line followed by CR LF) in the
/// connection-settings variable. It is handed to the client's process alone, never set on the launcher's own,
/// so that nothing else the launcher starts sees the password. Raises EConvertError naming the parameter when a
/// value holds a line break (it would read as lines of its own).
TEnvironment ExportConnectionSettings(const TAttributes& Settings);
/// The same for the process-wide ConnectionSettings.
TEnvironment ExportConnectionSettings();

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
