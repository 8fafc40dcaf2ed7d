#include "update/UpdateErrors.h"

#include "update/DirectoryUtils.h"

namespace orb
{

void RaiseOSError(const std::error_code& Code, const std::filesystem::path& Path)
{
    throw EOSError(Code.value(), SysErrorMessage(Code.value()) + "\r\nPath: " + Path.string());
}

void CheckSegmentName(const std::string& Name, const std::string& Where)
{
    bool bad = Name.empty() || Name == "." || Name == ".." || Name.find_first_of(std::string("/\\\0", 3)) != std::string::npos;
    // The suffix of files still being written is reserved.
    std::string_view suffix(TemporarySuffix);
    if (!bad && Name.size() >= suffix.size() && Name.compare(Name.size() - suffix.size(), suffix.size(), suffix) == 0)
        bad = true;
    if (!bad)
    {
        std::filesystem::path p(Name);
        // A drive letter makes a name absolute or drive-relative on Windows.
        bad = p.has_root_name() || p.has_root_directory() || p.is_absolute();
    }
    if (bad)
        throw EUnsafeName("Unsafe name in the update index: \"" + Where + "\"");
}

} // namespace orb
