#pragma once

#include "base/Exceptions.h"
#include "update/IndexTime.h"
#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace orb
{

/// How many installations remain in the application directory after a cache check.
constexpr int MaxInstallations = 10;

/// The last-write time that marks an installation of the older layout as migrated: 1999-12-31 00:00:00.
constexpr TIndexTime MigratedMarkTime{1999, 12, 31, 0, 0, 0};

/// CRC-32 of an index text taken 16-bit character by character, each character above 127 as "?";
/// 8 upper-case hexadecimal digits.
std::string IndexTextIdentity(const std::string& XmlText);

/// The identity of an index: IndexTextIdentity of the root's XML text. Names the installation directory "APP#<id>".
std::string InstallationIdentity(const xml::IXMLNode& Index);

/// A `size` of the update index that no file can have, or a download that does not match its `size`.
ORB_DECLARE_EXCEPTION(EBadSize, Exception)

/// Raises EBadSize when a file of the index has a negative `size` or the sizes of all files add up past the 64-bit
/// range (the total would wrap and the files would never be fetched). Texts that are not integers are left to
/// ReadIndexSize.
void CheckIndexSizes(const xml::IXMLNode& Index);

/// The `size` attribute as a required integer (64 bits); raises "The value for field "size" is empty." or
/// "Wrong value for field "size" : "<text>"".
int64_t ReadIndexSize(const xml::IXMLNode& Node);

/// The `modified` attribute parsed as local wall-clock time; raises "Wrong date: "<text>"".
TIndexTime ReadIndexModified(const xml::IXMLNode& Node);

/// The local file name of a server file name: without a final ".gz" when IgnoreCase or the suffix is exactly ".gz".
std::string LocalFileName(const std::string& ServerName, bool IgnoreCase);

/// Decides the installation directory of the merged index and fills it from what is already on disk: sets the
/// root's `local_name` and `total_update_size`, marks every file still to be downloaded with `need_for_update`,
/// migrates installations of the older layout from the current directory and prunes the oldest installation.
/// IsNewInstallation is true when the installation directory had no "index.xml" yet.
void CheckUpdateCache(const xml::IXMLNodePtr& Index, bool& IsNewInstallation);

/// CheckUpdateCache with an explicit application directory (which must exist) and the folder that may hold
/// installations of the older layout.
void CheckUpdateCache(const xml::IXMLNodePtr& Index, bool& IsNewInstallation, const std::filesystem::path& AppDir,
                      const std::filesystem::path& OldLayoutDir);

/// Copies every "APP#*" directory of OldLayoutDir not yet marked as migrated into AppDir, then marks it.
void MigrateInstallations(const std::filesystem::path& OldLayoutDir, const std::filesystem::path& AppDir);

/// Deletes the installation with the earliest last-write time when AppDir holds more than MaxInstallations.
void RemoveOldestInstallation(const std::filesystem::path& AppDir);

} // namespace orb
