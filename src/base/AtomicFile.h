#pragma once

#include <filesystem>
#include <string_view>

namespace orb
{

/// Who may read a file that WriteFileAtomic creates; an existing file always keeps its own mode.
enum class TFileAccess
{
    faDefault,  ///< what the process's file-creation mask allows
    faOwnerOnly ///< readable and writable by its owner alone (files that hold passwords)
};

/// Writes Bytes to FileName so that the file is either the old one or completely the new one:
/// the bytes go to a temporary file beside the target (created exclusively, never through a link), are
/// flushed to disk, and the temporary file is renamed over the target. An existing target keeps its mode;
/// a new one gets the mode Access asks for. When the folder does not let a file be created but the target
/// itself is writable, the target is rewritten in place instead. Raises EInOutError naming FileName (the old
/// file untouched) when anything fails.
void WriteFileAtomic(const std::filesystem::path& FileName, std::string_view Bytes,
                     TFileAccess Access = TFileAccess::faDefault);

} // namespace orb
