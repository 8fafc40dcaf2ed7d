#include "update/UpdateCache.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "platform/AppDirectory.h"
#include "update/DirectoryUtils.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

constexpr const char* InstallationPrefix = "APP#";
constexpr const char* IndexFileName = "index.xml";

bool IsInstallationName(const fs::path& Name)
{
    return Name.filename().string().rfind(InstallationPrefix, 0) == 0;
}

/// The installation directories of Dir (directories only, links not followed), sorted by name so that the
/// "first in enumeration order" rules give the same answer on every file system.
std::vector<fs::directory_entry> ListInstallations(const fs::path& Dir)
{
    std::vector<fs::directory_entry> found;
    std::error_code ec;
    for (fs::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
    {
        std::error_code statusEc;
        if (IsInstallationName(it->path()) && it->is_directory(statusEc) && !it->is_symlink(statusEc))
            found.push_back(*it);
    }
    if (ec)
        RaiseOSError(ec, Dir);
    std::sort(found.begin(), found.end(), [](const auto& A, const auto& B) { return A.path() < B.path(); });
    return found;
}

fs::file_time_type WriteTimeOf(const fs::path& P)
{
    std::error_code ec;
    auto t = fs::last_write_time(P, ec);
    if (ec)
        RaiseOSError(ec, P);
    return t;
}

std::string WithSeparator(const fs::path& Dir)
{
    std::string text = Dir.string();
    if (text.empty() || text.back() != fs::path::preferred_separator)
        text += fs::path::preferred_separator;
    return text;
}

void EnsureDirectory(const fs::path& Dir)
{
    std::error_code ec;
    fs::create_directory(Dir, ec);
    if (ec)
        RaiseOSError(ec, Dir);
}

/// An older, complete installation whose files may be reused.
struct TOlderInstallation
{
    fs::path Dir;
    xml::IXMLNodePtr Root;
    /// Children by name per element, built on first use: the first child of a name wins.
    std::unordered_map<const xml::IXMLNode*, std::unordered_map<std::string, xml::IXMLNodePtr>> Children;

    xml::IXMLNodePtr Child(const xml::IXMLNodePtr& Node, const std::string& Name)
    {
        auto [it, inserted] = Children.try_emplace(Node.get());
        if (inserted)
        {
            if (auto list = Node->ChildNodes())
            {
                for (int i = 0, n = list->Count(); i < n; ++i)
                {
                    auto child = list->Get(i);
                    if (child->NodeType() == xml::ntElement)
                        it->second.try_emplace(child->Attributes("name"), child);
                }
            }
        }
        auto found = it->second.find(Name);
        return found == it->second.end() ? nullptr : found->second;
    }
};

class TCacheCheck
{
public:
    TCacheCheck(fs::path Dir) : FDir(std::move(Dir)), FDirText(WithSeparator(FDir)) {}

    int64_t Total = 0;
    std::vector<TOlderInstallation> Older;

    /// Prefix: the server path of Node with backslashes and a trailing backslash (empty for the root);
    /// Segments: the same path split.
    void CheckDirInCache(const std::string& Prefix, std::vector<std::string>& Segments, const xml::IXMLNode& Node)
    {
        for (const auto& child : xml::ChildElements(Node))
        {
            std::string tag = child->NodeName();
            std::string name = child->Attributes("name");
            if (tag == "directory")
            {
                CheckSegmentName(name, Prefix + name);
                Segments.push_back(name);
                EnsureDirectory(LocalPath(Segments, ""));
                CheckDirInCache(Prefix + name + "\\", Segments, *child);
                Segments.pop_back();
            }
            else if (tag == "file")
                CheckFileInCache(Prefix, Segments, *child);
            else
                throw Exception("CheckDirInCache: Unknown node name: " + tag);
        }
    }

private:
    fs::path FDir;
    std::string FDirText;

    /// The native path of Segments + Last below Dir.
    std::string LocalPath(const std::vector<std::string>& Segments, const std::string& Last) const
    {
        std::string path = FDirText;
        for (const auto& segment : Segments)
        {
            path += segment;
            path += fs::path::preferred_separator;
        }
        path += Last;
        if (Last.empty() && !Segments.empty())
            path.pop_back();
        return path;
    }

    void CheckFileInCache(const std::string& Prefix, std::vector<std::string>& Segments, xml::IXMLNode& File)
    {
        std::string name = File.Attributes("name");
        std::string serverPath = Prefix + name;
        CheckSegmentName(name, serverPath);
        std::string local = LocalFileName(name, false);
        CheckSegmentName(local, serverPath);
        fs::path target = LocalPath(Segments, local);

        TIndexTime modified = ReadIndexModified(File);
        TIndexTime actual;
        // A link in the file's place is not the file, whatever its time says (it may lead out of the installation):
        // the file is fetched again, and the rename of the copy or download replaces the link itself.
        std::error_code linkEc;
        bool isLink = fs::is_symlink(fs::symlink_status(target, linkEc));
        // Downloads are stamped with odd seconds rounded down; such a file is as up to date as an exact one.
        if (!isLink && TryGetLocalFileTime(target, actual) &&
            (actual == modified || actual == RoundToDosTime(modified)))
            return;

        const std::string sha256 = ReadIndexSha256(File, serverPath);
        if (CopyFromOlder(Segments, name, local, File, target, sha256))
            return;
        if (!sha256.empty() && CopyByContent(name, sha256, File, target, modified))
            return;

        Total += ReadIndexSize(File);
        File.SetAttribute("need_for_update", "true");
    }

    /// A file of an older installation whose content is known by its hash.
    struct TContentSource
    {
        fs::path Source;
        /// SHA-256 of the file as stored there (for a gunzipped file, of the unpacked content).
        std::string StoredSha256;
        bool Gunzipped;
    };
    /// Files of the older installations by the `sha256` of their entries, built on first use.
    std::optional<std::unordered_multimap<std::string, TContentSource>> FByContent;

    /// Whether the worker stores the file Name unpacked (it takes ".gz" in any letter case).
    static bool IsGunzipped(const std::string& Name) { return LocalFileName(Name, true) != Name; }

    /// The SHA-256 a stored copy of the entry Node must have, or "" when it cannot be known.
    static std::string StoredSha256Of(const xml::IXMLNode& Node, const std::string& Sha256)
    {
        return IsGunzipped(Node.Attributes("name")) ? Node.Attributes(StoredSha256Attribute) : Sha256;
    }

    void CollectContent(const fs::path& Dir, const xml::IXMLNode& Node)
    {
        for (const auto& child : xml::ChildElements(Node))
        {
            const std::string name = child->Attributes("name");
            // An older index is the launcher's own file, but its names are checked as carefully as new ones.
            try
            {
                CheckSegmentName(name, name);
                if (child->NodeName() == "directory")
                    CollectContent(Dir / name, *child);
                else if (child->NodeName() == "file")
                {
                    const std::string sha256 = ReadIndexSha256(*child, name);
                    const std::string stored = StoredSha256Of(*child, sha256);
                    if (!sha256.empty() && !stored.empty())
                        FByContent->emplace(
                            sha256, TContentSource{Dir / LocalFileName(name, false), stored, IsGunzipped(name)});
                }
            }
            catch (const Exception&)
            {
                continue;
            }
        }
    }

    /// Copies Source over Target when Source's content has the SHA-256 Expected; false otherwise (a damaged or
    /// changed older copy is passed over, and the file comes from the next source or the server).
    static bool CopyChecked(const fs::path& Source, const std::string& Expected, const fs::path& Target)
    {
        std::error_code ec;
        if (!fs::is_regular_file(fs::symlink_status(Source, ec)))
            return false;
        if (!Expected.empty())
        {
            try
            {
                if (FileSha256(Source) != Expected)
                    return false;
            }
            catch (const EOSError&)
            {
                return false;
            }
        }
        CopyFileReplacing(Source, Target);
        return true;
    }

    bool CopyByContent(const std::string& Name, const std::string& Sha256, xml::IXMLNode& File, const fs::path& Target,
                       const TIndexTime& Modified)
    {
        if (!FByContent)
        {
            FByContent.emplace();
            for (const auto& older : Older)
                CollectContent(older.Dir, *older.Root);
        }
        const bool gunzipped = IsGunzipped(Name);
        auto [first, last] = FByContent->equal_range(Sha256);
        for (auto it = first; it != last; ++it)
        {
            if (it->second.Gunzipped != gunzipped || !CopyChecked(it->second.Source, it->second.StoredSha256, Target))
                continue;
            // Found under another name or time: the copy gets the time this index gives it.
            SetLocalFileTime(Target, RoundToDosTime(Modified));
            if (gunzipped)
                File.SetAttribute(StoredSha256Attribute, it->second.StoredSha256);
            return true;
        }
        return false;
    }

    bool CopyFromOlder(const std::vector<std::string>& Segments, const std::string& Name, const std::string& Local,
                       xml::IXMLNode& File, const fs::path& Target, const std::string& Sha256)
    {
        if (Older.empty())
            return false;
        std::string size = File.Attributes("size");
        std::string modified = File.Attributes("modified");
        for (auto& older : Older)
        {
            xml::IXMLNodePtr node = older.Root;
            for (size_t i = 0; node && i < Segments.size(); ++i)
                node = older.Child(node, Segments[i]);
            if (node)
                node = older.Child(node, Name);
            if (!node || node->Attributes("size") != size || node->Attributes("modified") != modified)
                continue;
            fs::path source = older.Dir;
            for (const auto& segment : Segments)
                source /= segment;
            source /= Local;
            // An older installation may have lost the file since; then the next one or the server supplies it. With
            // a hash in the index the copy must match it, and a gunzipped file can be checked only through the hash
            // its installation recorded for the same published file.
            std::string expected;
            if (!Sha256.empty())
            {
                std::string olderSha256;
                try
                {
                    olderSha256 = ReadIndexSha256(*node, Name);
                }
                catch (const Exception&)
                {
                    continue;
                }
                expected =
                    IsGunzipped(Name) ? (olderSha256 == Sha256 ? StoredSha256Of(*node, olderSha256) : "") : Sha256;
                if (expected.empty())
                    continue;
            }
            if (!CopyChecked(source, expected, Target))
                continue;
            if (!Sha256.empty() && IsGunzipped(Name))
                File.SetAttribute(StoredSha256Attribute, expected);
            return true;
        }
        return false;
    }
};

void CheckSizesBelow(const xml::IXMLNode& Node, const std::string& Prefix, int64_t& Sum)
{
    for (const auto& child : xml::ChildElements(Node))
    {
        std::string tag = child->NodeName();
        std::string path = Prefix + child->Attributes("name");
        if (tag == "directory")
            CheckSizesBelow(*child, path + "\\", Sum);
        if (tag != "file")
            continue;
        std::string text = child->Attributes("size");
        int64_t size = 0;
        if (!TryStrToInt64(text, size))
            continue;
        std::string what = "Bad size in the update index: \"" + path + "\" has size \"" + text + "\"";
        if (size < 0)
            throw EBadSize(what + ".");
        if (size > std::numeric_limits<int64_t>::max() - Sum)
            throw EBadSize(what + ", and the sizes add up to more than " +
                           std::to_string(std::numeric_limits<int64_t>::max()) + ".");
        Sum += size;
    }
}

} // namespace

void CheckIndexSizes(const xml::IXMLNode& Index)
{
    int64_t sum = 0;
    CheckSizesBelow(Index, "", sum);
}

std::string IndexTextIdentity(const std::string& XmlText)
{
    std::string bytes;
    if (IsValidUtf8(XmlText))
    {
        // Straight from UTF-8: a character of four bytes is two 16-bit characters, so two "?".
        bytes.reserve(XmlText.size());
        for (unsigned char c : XmlText)
        {
            if (c < 0x80)
                bytes += static_cast<char>(c);
            else if (c >= 0xF0)
                bytes += "??";
            else if (c >= 0xC0)
                bytes += '?';
        }
    }
    else
    {
        std::u16string wide = Utf8ToUtf16(XmlText);
        bytes.assign(wide.size(), '?');
        for (size_t i = 0; i < wide.size(); ++i)
        {
            if (wide[i] < 128)
                bytes[i] = static_cast<char>(wide[i]);
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(crc) & 0xffffffffUL);
    return hex;
}

std::string InstallationIdentity(const xml::IXMLNode& Index)
{
    return IndexTextIdentity(Index.XML());
}

int64_t ReadIndexSize(const xml::IXMLNode& Node)
{
    std::string text = Node.Attributes("size");
    if (text.empty())
        throw EConvertError("The value for field \"size\" is empty.");
    int64_t value = 0;
    if (!TryStrToInt64(text, value))
        throw EConvertError("Wrong value for field \"size\" : \"" + text + "\"");
    return value;
}

TIndexTime ReadIndexModified(const xml::IXMLNode& Node)
{
    return ParseIndexTime(Node.Attributes("modified"));
}

std::string LocalFileName(const std::string& ServerName, bool IgnoreCase)
{
    if (ServerName.size() >= 3)
    {
        std::string suffix = ServerName.substr(ServerName.size() - 3);
        if (suffix == ".gz" || (IgnoreCase && SameText(suffix, ".gz")))
            return ServerName.substr(0, ServerName.size() - 3);
    }
    return ServerName;
}

void MigrateInstallations(const fs::path& OldLayoutDir, const fs::path& AppDir)
{
    std::error_code ec;
    // When the launcher runs inside its own application directory there is nothing to migrate.
    if (!fs::is_directory(OldLayoutDir, ec) || fs::equivalent(OldLayoutDir, AppDir, ec))
        return;
    for (const auto& entry : ListInstallations(OldLayoutDir))
    {
        TIndexTime time;
        if (TryGetLocalFileTime(entry.path(), time) && time == MigratedMarkTime)
            continue;
        CopyDirectory(entry.path(), AppDir / entry.path().filename());
        SetDirectoryTime(entry.path(), MigratedMarkTime);
    }
}

void RemoveOldestInstallation(const fs::path& AppDir)
{
    auto installations = ListInstallations(AppDir);
    if (static_cast<int>(installations.size()) <= MaxInstallations)
        return;
    const fs::directory_entry* oldest = nullptr;
    fs::file_time_type oldestTime;
    for (const auto& entry : installations)
    {
        auto t = WriteTimeOf(entry.path());
        if (!oldest || t < oldestTime)
        {
            oldest = &entry;
            oldestTime = t;
        }
    }
    DeleteDirectory(oldest->path());
}

void CheckUpdateCache(const xml::IXMLNodePtr& Index, bool& IsNewInstallation, const fs::path& AppDir,
                      const fs::path& OldLayoutDir)
{
    IsNewInstallation = false;
    if (Index->NodeName() != "empty")
        CheckIndexSizes(*Index);
    MigrateInstallations(OldLayoutDir, AppDir);

    fs::path dir;
    int64_t total = 0;
    if (Index->NodeName() != "empty")
    {
        dir = AppDir / (std::string(InstallationPrefix) + InstallationIdentity(*Index));
        EnsureDirectory(dir);
        if (fs::exists(dir / IndexFileName))
            SetDirectoryTime(dir, LocalNow());
        else
        {
            TCacheCheck check(dir);
            for (const auto& entry : ListInstallations(AppDir))
            {
                fs::path indexFile = entry.path() / IndexFileName;
                std::error_code ec;
                if (!fs::is_regular_file(indexFile, ec))
                    continue;
                check.Older.push_back({entry.path(), xml::LoadXMLNodeFromFile(indexFile), {}});
            }
            std::vector<std::string> segments;
            check.CheckDirInCache("", segments, *Index);
            total = check.Total;
            IsNewInstallation = true;
        }
    }
    else
    {
        const fs::directory_entry* newest = nullptr;
        fs::file_time_type newestTime;
        auto installations = ListInstallations(AppDir);
        for (const auto& entry : installations)
        {
            auto t = WriteTimeOf(entry.path());
            if (!newest || t > newestTime)
            {
                newest = &entry;
                newestTime = t;
            }
        }
        if (!newest)
            throw Exception("There is no VidEzadaz applications");
        dir = newest->path();
    }

    Index->SetAttribute("local_name", WithSeparator(dir));
    Index->SetAttribute("total_update_size", std::to_string(total));
    RemoveOldestInstallation(AppDir);
}

void CheckUpdateCache(const xml::IXMLNodePtr& Index, bool& IsNewInstallation)
{
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    if (ec)
        RaiseOSError(ec, ".");
    CheckUpdateCache(Index, IsNewInstallation, GetAppDirectory(), current);
}

} // namespace orb
