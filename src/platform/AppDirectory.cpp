#include "platform/AppDirectory.h"

#include "base/Exceptions.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace orb
{

namespace platform
{

std::filesystem::path AppDirectoryFor(const std::filesystem::path& DataFolder, const std::filesystem::path& ExeFolder)
{
    std::filesystem::path folder = ExeFolder;
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
        folder = folder.parent_path(); // drop a trailing separator
    if (folder == folder.root_path() || !folder.has_filename())
        return folder / "";
    return DataFolder / folder.filename() / "";
}

} // namespace platform

std::filesystem::path GetAppDirectory()
{
    std::filesystem::path dir =
        platform::AppDirectoryFor(platform::RoamingAppDataFolder(), platform::ExecutablePath().parent_path());
    std::error_code ec;
    // Parents are created too: a fresh account need not have its data folder yet.
    std::filesystem::create_directories(dir, ec);
    if (!ec && !std::filesystem::is_directory(dir, ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec)
        throw EOSError(ec.value(), SysErrorMessage(ec.value()) + "\r\nApp. Directory: " + platform::PathToUtf8(dir));
    return dir;
}

} // namespace orb
