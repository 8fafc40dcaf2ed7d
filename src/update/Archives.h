#pragma once

#include <filesystem>

namespace orb
{

/// Unpacks every ".7z" file (extension compared ignoring case) found in Directory and, recursively, in its
/// sub-directories whose names do not start with "."; each archive is unpacked into the directory that holds it
/// and kept. Symbolic and hard links are unpacked when they stay inside Directory: a link target may climb with
/// ".." from the link's folder and then only descend. Entries that would land or point outside Directory (absolute
/// paths, "..", links leading out, paths below a link) are refused: the rest of the archive is unpacked and then
/// EUnsafeName names the refused entries with their reasons. A symbolic link above Directory does not matter.
/// Raises EArchiveError with the archive library's message when an archive cannot be read or written out;
/// archives unpacked before stay unpacked.
void ExtractArchives(const std::filesystem::path& Directory);

/// Unpacks one archive into Directory with the same rules as ExtractArchives.
void ExtractArchive(const std::filesystem::path& Archive, const std::filesystem::path& Directory);

} // namespace orb
