#include "MakeIndex.h"

#include "base/AtomicFile.h"
#include "base/Base64.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "update/DirectoryUtils.h"
#include "update/IndexTime.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace orb::tools
{

namespace
{

bool MatchesAny(const std::vector<std::string>& Patterns, const std::string& Name)
{
    return std::any_of(Patterns.begin(), Patterns.end(), [&](const auto& P) { return MatchPattern(P, Name); });
}

bool EndsWith(const std::string& Text, const std::string& Suffix)
{
    return Text.size() >= Suffix.size() && Text.compare(Text.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}

std::string ReadFileBytes(const fs::path& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw Exception("Cannot read " + FileName.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void Refuse(const std::string& Path, const std::string& Why)
{
    throw Exception("Cannot publish \"" + Path + "\": " + Why);
}

/// The name check of the launcher, plus what would make the launcher misbehave on this name.
void CheckPublishedName(const std::string& Name, const std::string& Path)
{
    if (!IsValidUtf8(Name))
        Refuse(Path, "the name is not valid UTF-8");
    try
    {
        CheckSegmentName(Name, Path);
    }
    catch (const EUnsafeName&)
    {
        Refuse(Path, "the launcher refuses this name");
    }
    for (char c : Name)
    {
        if (static_cast<unsigned char>(c) < 32)
            Refuse(Path, "the name contains a control character");
    }
}

/// The file's time as the launcher stores it: local time with odd seconds rounded down, so that a downloaded
/// file carries exactly the stamp of the index and an interrupted update resumes without downloading it again.
std::string StampOf(const fs::path& File)
{
    TIndexTime time;
    if (!TryGetLocalFileTime(File, time))
        throw Exception("Cannot read the time of " + File.string());
    return FormatIndexTime(RoundToDosTime(time));
}

class TIndexBuilder
{
public:
    TIndexBuilder(const TMakeIndexOptions& Options, TMakeIndexResult& Result) : FOptions(Options), FResult(Result) {}

    void AddDirectory(const fs::path& Dir, const std::string& Prefix, xml::IXMLNode& Node, bool IsRoot)
    {
        std::map<std::string, fs::directory_entry> entries; // sorted by name: the index is the same on every run
        std::error_code ec;
        for (fs::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
            entries.emplace(it->path().filename().string(), *it);
        if (ec)
            throw Exception("Cannot read the directory " + Dir.string() + ": " + ec.message());

        // Companions written by an earlier run ("x.gz" beside a gzipped "x") are not listed on their own.
        std::set<std::string> skip;
        std::set<std::string> localNames; // what the launcher will create, to catch two entries on one target
        for (const auto& [name, entry] : entries)
        {
            std::string path = Prefix + name;
            if (IsRoot && fs::equivalent(entry.path(), IndexFile(), ec))
                continue;
            // The signature of an earlier run is rewritten with the index, never published as a file of the tree.
            const fs::path signatureFile = IndexFile().string() + ".sig";
            if (name == signatureFile.filename().string() && fs::equivalent(entry.path(), signatureFile, ec))
                continue;
            if (MatchesAny(FOptions.ExcludePatterns, name) || EndsWith(name, TemporarySuffix))
                continue;
            auto status = entry.symlink_status(ec);
            if (fs::is_symlink(status))
                status = fs::status(entry.path(), ec);
            if (ec)
                throw Exception("Cannot read " + entry.path().string() + ": " + ec.message());
            if (fs::is_directory(status))
            {
                if (entry.is_symlink())
                    Refuse(path, "links to directories are not followed");
                CheckPublishedName(name, path);
                auto child = Node.AddChild("directory");
                child->SetAttribute("name", name);
                ++FResult.Directories;
                AddDirectory(entry.path(), path + "\\", *child, false);
                // Stamped after its contents: writing gzip companions into it changes its time.
                child->SetAttribute("modified", StampOf(entry.path()));
                continue;
            }
            if (!fs::is_regular_file(status) || skip.count(name))
                continue;
            CheckPublishedName(name, path);
            std::string lower = LowerCase(name);
            if (EndsWith(lower, ".gz") && !EndsWith(name, ".gz"))
                Refuse(path, "the launcher treats \".gz\" in other letter cases inconsistently; rename it to end in "
                             "\".gz\"");

            auto size = fs::file_size(entry.path(), ec);
            bool gzip = MatchesAny(FOptions.GzipPatterns, name) || size == 0;
            if (EndsWith(name, ".gz"))
                gzip = false; // already compressed: served as it is and unpacked by the launcher
            std::string servedName = name;
            fs::path served = entry.path();
            if (gzip)
            {
                servedName = name + ".gz";
                served = Dir / servedName;
                skip.insert(servedName);
                if (!IsCurrentCompanion(entry.path(), served))
                    GzipFile(entry.path(), served);
                ++FResult.Gzipped;
            }
            std::string local = EndsWith(servedName, ".gz") ? servedName.substr(0, servedName.size() - 3) : servedName;
            CheckPublishedName(local, path);
            if (!localNames.insert(local).second)
                Refuse(path, "another entry of this directory is installed under the same name \"" + local + "\"");
            if (IsRoot && local == "index.xml")
                Refuse(path, "the launcher keeps its own index.xml in the installation directory");

            auto servedSize = fs::file_size(served, ec);
            if (ec)
                throw Exception("Cannot read " + served.string() + ": " + ec.message());
            if (servedSize == 0)
                Refuse(path, "an empty \".gz\" file is not gzip data");
            auto file = Node.AddChild("file");
            file->SetAttribute("name", servedName);
            file->SetAttribute("size", std::to_string(servedSize));
            file->SetAttribute("modified", StampOf(entry.path()));
            if (FOptions.Sha256 || !FOptions.SignKey.empty())
                file->SetAttribute("sha256", FileSha256(served));
            ++FResult.Files;
            FResult.Bytes += static_cast<long long>(servedSize);
        }
    }

    fs::path IndexFile() const { return FOptions.Output.empty() ? FOptions.Root / "index.xml" : FOptions.Output; }

private:
    const TMakeIndexOptions& FOptions;
    TMakeIndexResult& FResult;

    /// A companion made by an earlier run carries its original's last-write time.
    static bool IsCurrentCompanion(const fs::path& Original, const fs::path& Companion)
    {
        std::error_code ec1, ec2;
        auto a = fs::last_write_time(Original, ec1);
        auto b = fs::last_write_time(Companion, ec2);
        return !ec1 && !ec2 && a == b;
    }
};

} // namespace

bool MatchPattern(const std::string& Pattern, const std::string& Name)
{
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < Name.size())
    {
        if (p < Pattern.size() && (Pattern[p] == '?' || Pattern[p] == Name[n]))
        {
            ++p;
            ++n;
        }
        else if (p < Pattern.size() && Pattern[p] == '*')
        {
            starP = p++;
            starN = n;
        }
        else if (starP != std::string::npos)
        {
            p = starP + 1;
            n = ++starN;
        }
        else
            return false;
    }
    while (p < Pattern.size() && Pattern[p] == '*')
        ++p;
    return p == Pattern.size();
}

void GzipFile(const fs::path& Source, const fs::path& Target)
{
    std::ifstream in(Source, std::ios::binary);
    if (!in)
        throw Exception("Cannot read " + Source.string());
    fs::path tmp = TemporaryNameBeside(Target);
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out)
        throw Exception("Cannot write " + tmp.string());
    z_stream z{};
    // 16 + MAX_WBITS: a gzip wrapper; its header carries no time or name, so the output depends on the bytes only.
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw Exception("Cannot start gzip compression");
    std::vector<char> inBuf(1 << 16), outBuf(1 << 16);
    int flush = Z_NO_FLUSH;
    bool failed = false;
    do
    {
        in.read(inBuf.data(), static_cast<std::streamsize>(inBuf.size()));
        if (in.bad())
        {
            failed = true;
            break;
        }
        z.next_in = reinterpret_cast<Bytef*>(inBuf.data());
        z.avail_in = static_cast<uInt>(in.gcount());
        flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
        do
        {
            z.next_out = reinterpret_cast<Bytef*>(outBuf.data());
            z.avail_out = static_cast<uInt>(outBuf.size());
            deflate(&z, flush);
            out.write(outBuf.data(), static_cast<std::streamsize>(outBuf.size() - z.avail_out));
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    out.close();
    std::error_code ec;
    if (failed || !out)
    {
        fs::remove(tmp, ec);
        throw Exception("Cannot gzip " + Source.string() + " into " + Target.string());
    }
    auto time = fs::last_write_time(Source, ec);
    if (!ec)
        fs::last_write_time(tmp, time, ec);
    // nginx runs its workers as an unprivileged user: the companion must be as readable as its original.
    if (!ec)
        fs::permissions(tmp, fs::status(Source).permissions(), ec);
    if (!ec)
        fs::rename(tmp, Target, ec);
    if (ec)
    {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        throw Exception("Cannot write " + Target.string() + ": " + ec.message());
    }
}

xml::IXMLNodePtr BuildIndex(const TMakeIndexOptions& Options, TMakeIndexResult& Result)
{
    std::error_code ec;
    if (!fs::is_directory(Options.Root, ec))
        throw Exception("Not a directory: " + Options.Root.string());
    if (Options.RootTag.empty() || Options.RootTag == "empty" || Options.RootTag == "directory" ||
        Options.RootTag == "file")
        throw Exception("The root tag must not be empty, \"empty\", \"directory\" or \"file\"");
    auto root = xml::CreateXMLNode(Options.RootTag);
    TIndexBuilder builder(Options, Result);
    builder.AddDirectory(Options.Root, "", *root, true);
    return root;
}

TMakeIndexResult MakeIndex(const TMakeIndexOptions& Options)
{
    TMakeIndexResult result;
    std::string privateKey;
    if (!Options.SignKey.empty())
    {
        // Read first: a key that cannot be used must not leave a new, unsigned index behind.
        privateKey = ReadFileBytes(Options.SignKey);
        SignBytes("", privateKey);
    }
    if (Options.Serial && *Options.Serial < 0)
        throw Exception("The serial must not be negative");
    if (Options.ExpiresDays && *Options.ExpiresDays <= 0)
        throw Exception("The index must expire at least one day after publishing");
    auto root = BuildIndex(Options, result);
    if (!privateKey.empty())
    {
        const int64_t serial = Options.Serial.value_or(static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count()));
        result.Serial = std::to_string(serial);
        root->SetAttribute("serial", result.Serial);
        if (Options.ExpiresDays)
            root->SetAttribute("expires", FormatIndexTime(UtcNow(int64_t{*Options.ExpiresDays} * 24 * 3600)));
    }
    fs::path output = Options.Output.empty() ? Options.Root / "index.xml" : Options.Output;
    xml::SaveIXMLNodeToFile(output, root, xml::enUTF8);
    std::error_code ec;
    const auto readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(output, readable, fs::perm_options::add, ec);
    if (!privateKey.empty())
    {
        // The signature covers the bytes exactly as they are served: those of the file just written.
        const std::string signature = Base64Encode(SignBytes(ReadFileBytes(output), privateKey));
        result.SignatureFile = output.string() + ".sig";
        WriteFileAtomic(result.SignatureFile, signature + "\n");
        fs::permissions(result.SignatureFile, readable, fs::perm_options::add, ec);
    }
    return result;
}

std::string GenerateKeyFile(const fs::path& KeyFile)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(KeyFile, ec)))
        throw Exception("The key file " + KeyFile.string() + " exists already; it is not replaced");
    const TUpdateKeyPair pair = GenerateUpdateKey();
    WriteFileAtomic(KeyFile, pair.PrivateKeyPem, TFileAccess::faOwnerOnly);
    return "<update_keys>\n  <item name=\"" + KeyFile.stem().string() + "\" value=\"" + Base64Encode(pair.PublicKey) +
           "\"/>\n</update_keys>\n";
}

} // namespace orb::tools
