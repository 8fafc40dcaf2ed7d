#pragma once

#include <filesystem>

namespace orb
{

/// The application directory that holds the client installations: the user's application-data folder
/// followed by the name of the folder that holds the launcher's executable, ending with the native
/// separator; created when missing. Raises EOSError with "App. Directory: " and the path on failure.
std::filesystem::path GetAppDirectory();

namespace platform
{

/// The user's roaming application-data folder: %APPDATA% on Windows; $XDG_DATA_HOME, else
/// ~/.local/share, elsewhere.
std::filesystem::path RoamingAppDataFolder();

/// The application directory for an executable in ExeFolder below DataFolder (not created).
/// An executable in the root folder gives the root folder itself.
std::filesystem::path AppDirectoryFor(const std::filesystem::path& DataFolder, const std::filesystem::path& ExeFolder);

} // namespace platform
} // namespace orb
