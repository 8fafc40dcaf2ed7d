#pragma once

#include "platform/DiskFlush.h"
#include "platform/FileLock.h"
#include "update/Unit_Updater.h"
#include "xml/VuvareXMLNode.h"

#include <filesystem>
#include <functional>
#include <string>

namespace orb
{

/// The lock file in the application directory: one launcher at a time checks, fills and prunes installations.
constexpr const char* UpdateLockFileName = "update.lock";
/// Shown in the update window while another launcher holds the update lock (the English text of
/// "WaitingForOtherLauncher").
constexpr const char* WaitingForOtherLauncherMessage = "Another launcher is updating this installation; waiting...";
/// The information when the user stops waiting for another launcher (the English text of "OtherLauncherUpdating").
constexpr const char* OtherLauncherUpdatingMessage =
    "Another launcher is updating this installation. Please try again when it has finished.";

/// Writes the files below a directory to the disk (platform::FlushToDisk outside tests).
using TFlushToDisk = std::function<void(const std::filesystem::path& Dir)>;

/// Takes the update lock of AppDir. While another launcher holds it, the update window shows
/// WaitingForOtherLauncherMessage until the lock comes free; Cancel raises EInformationException with
/// OtherLauncherUpdatingMessage.
platform::TFileLock LockInstallations(const std::filesystem::path& AppDir);

/// Marks a filled installation Dir as complete: unpacks its archives, flushes its files to the disk, and only then
/// saves Index as its "index.xml", so that a power loss cannot leave a complete-looking installation of empty files.
void CompleteInstallation(const std::filesystem::path& Dir, const xml::IXMLNodePtr& Index,
                          const TFlushToDisk& Flush = platform::FlushToDisk);

/// What a login does with a fetched index, under the update lock of AppDir: the cache check, the downloads behind
/// the update window (Runner), and for a new installation CompleteInstallation. Returns the installation directory
/// (`local_name`).
std::string UpdateInstallation(const xml::IXMLNodePtr& Index, TUpdateRunner& Runner, const std::string& DownloadURL,
                               const std::string& PrivateDownloadURL, const TProxySettings& Proxy,
                               const std::filesystem::path& AppDir, const std::filesystem::path& OldLayoutDir,
                               const TFlushToDisk& Flush = platform::FlushToDisk);

/// UpdateInstallation in the application directory, migrating from the process's current directory.
std::string UpdateInstallation(const xml::IXMLNodePtr& Index, TUpdateRunner& Runner, const std::string& DownloadURL,
                               const std::string& PrivateDownloadURL, const TProxySettings& Proxy);

} // namespace orb
