#include "update/UpdateErrors.h"

#include "localisation/Unit_Language.h"
#include "update/DirectoryUtils.h"

namespace orb
{

std::string UpdateMessage(const char* Key, const char* English, const std::vector<std::string>& Args)
{
    const std::string text = LanguageTable && LanguageTable->HasMessage(Key) ? LanguageTable->Get(Key) : English;
    return FormatTemplate(text, Args);
}

void RaiseOSError(const std::error_code& Code, const std::filesystem::path& Path)
{
    throw EOSError(Code.value(), SysErrorMessage(Code.value()) + "\r\nPath: " + Path.string());
}

void CheckSegmentName(const std::string& Name, const std::string& Where)
{
    // Without "/" and "\\" a name cannot be absolute on POSIX systems either.
    constexpr std::string_view separators("/\\\0", 3);
    bool bad = Name.empty() || Name == "." || Name == ".." || Name.find_first_of(separators) != std::string::npos;
    // The suffix of files still being written is reserved.
    std::string_view suffix(TemporarySuffix);
    if (!bad && Name.size() >= suffix.size() && Name.compare(Name.size() - suffix.size(), suffix.size(), suffix) == 0)
        bad = true;
#ifdef _WIN32
    // A drive letter or a stream name: "C:x" is drive-relative, "x:y" names a stream of x.
    if (!bad && Name.find(':') != std::string::npos)
        bad = true;
#endif
    if (bad)
        throw EUnsafeName("Unsafe name in the update index: \"" + Where + "\"");
}

} // namespace orb
