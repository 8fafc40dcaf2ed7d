#include "launcher/ClientLaunch.h"

#include "base/Exceptions.h"
#include "base/TextFile.h"
#include "base/TextUtils.h"
#include "launcher/ConnectionSettings.h"
#include "platform/AppDirectory.h"
#include "platform/Paths.h"
#include "xml/VuvareXMLNode.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace orb
{

namespace
{

bool ReadWholeFile(const std::filesystem::path& FileName, std::string& Bytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FileName, ec))
        return false;
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        return false;
    Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

TEnvironment ExportConnectionSettings(const TAttributes& Settings)
{
    for (int i = 0; i < Settings.Count(); ++i)
        if (Settings.Strings(i).find_first_of("\r\n") != std::string::npos)
            throw EConvertError("The connection parameter \"" + Settings.Names(i) +
                                "\" holds a line break and cannot be handed to the client.");
    return {{ConnectionSettingsVariable, Settings.Text()}};
}

TEnvironment ExportConnectionSettings()
{
    return ExportConnectionSettings(ConnectionSettings);
}

std::string VersionInfoText(const std::string& Bytes)
{
    const std::string text = DecodeText(Bytes, TDefaultEncoding::deANSI);
    // Files written on Windows end their lines with CR LF, those written here with LF: either ends the
    // first line. A file without any line break has no version.
    auto end = text.find_first_of("\r\n");
    if (end == std::string::npos)
        return {};
    std::string version = text.substr(0, end);
    std::replace(version.begin(), version.end(), '-', '.');
    return version;
}

std::string FindNewestClientDirectory()
{
    return FindNewestClientDirectory(GetAppDirectory());
}

std::string FindNewestClientDirectory(const std::filesystem::path& AppDir)
{
    std::vector<std::filesystem::directory_entry> matches;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(AppDir, ec), end; !ec && it != end; it.increment(ec))
        if (platform::PathToUtf8(it->path().filename()).rfind("APP#", 0) == 0)
            matches.push_back(*it);
    if (matches.empty())
        return {};
    // Directory listings come in no particular order here; take them sorted by name, as the listings
    // of the original platform's file system come, so that ties always go the same way.
    std::sort(matches.begin(), matches.end(),
              [](const auto& A, const auto& B) { return A.path().filename() < B.path().filename(); });

    std::string result;
    std::string best = "0";
    for (const auto& entry : matches)
    {
        if (!entry.is_directory(ec))
            continue;
        std::string bytes;
        if (!ReadWholeFile(entry.path() / "version.info", bytes))
            continue;
        std::string version = VersionInfoText(bytes);
        if (xml::CompareVersions(version, best) > 0)
        {
            best = version;
            result = platform::PathToUtf8(entry.path() / "");
        }
    }
    if (xml::CompareVersions(best, "4.5") < 0)
        throw Exception("Off-line mode is not available either because your haven\xE2\x80\x99t logged in before.");
    return result;
}

} // namespace orb
