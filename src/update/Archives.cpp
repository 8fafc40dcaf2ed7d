#include "update/Archives.h"

#include "base/TextUtils.h"
#include "update/UpdateErrors.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

struct TReaderDeleter
{
    void operator()(archive* A) const { archive_read_free(A); }
};
struct TWriterDeleter
{
    void operator()(archive* A) const { archive_write_free(A); }
};

std::string ArchiveMessage(archive* A, const fs::path& Archive)
{
    const char* text = archive_error_string(A);
    // A truncated archive can fail without any text of its own.
    return "Sevenzip: " + Archive.string() + ": " + (text && *text ? text : "the archive is damaged or truncated");
}

/// The parts of an entry name or link target, "\" counted as a separator as well (archives written on Windows use
/// it); empty parts and "." are dropped.
std::vector<std::string> SplitParts(const std::string& Name)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= Name.size())
    {
        size_t end = Name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = Name.size();
        std::string part = Name.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

bool IsAbsoluteName(const std::string& Name)
{
    fs::path p(Name);
    return !Name.empty() &&
           (p.has_root_name() || p.has_root_directory() || Name.front() == '/' || Name.front() == '\\');
}

/// Why an entry name would escape the destination, or empty when it stays inside.
std::string UnsafeReason(const std::string& Name)
{
    if (Name.empty())
        return "empty name";
    if (IsAbsoluteName(Name))
        return "absolute path";
    for (const auto& part : SplitParts(Name))
    {
        if (part == "..")
            return "path contains \"..\"";
    }
    return {};
}

std::string JoinParts(const std::vector<std::string>& Parts, size_t Count)
{
    std::string text;
    for (size_t i = 0; i < Count && i < Parts.size(); ++i)
        text += (i ? "/" : "") + Parts[i];
    return text;
}

/// What one ExtractArchives run knows about the links it met: their paths relative to the installation directory.
struct TExtraction
{
    fs::path Root; ///< the installation directory, canonical
    std::set<std::string> Links;

    /// The link (extracted or refused) that Parts, relative to Root, lies below; empty when there is none.
    std::string LinkAbove(const std::vector<std::string>& Parts) const
    {
        for (size_t n = 1; n < Parts.size(); ++n)
        {
            std::string prefix = JoinParts(Parts, n);
            if (Links.count(prefix))
                return prefix;
        }
        return {};
    }
};

/// Why a symbolic link at LinkParts (relative to the installation directory) pointing to Target would lead out of
/// it, or empty when it stays inside.
/// A target may climb with ".." from the link's own folder (real directories up to the installation directory) and
/// then only descend. ".." after a name is refused: that name may be, or later become, a link, and the system then
/// climbs from where that link leads, not from the folder the text suggests.
std::string UnsafeLinkReason(const std::vector<std::string>& LinkParts, const std::string& Target)
{
    std::string quoted = "link to \"" + Target + "\"";
    if (Target.empty())
        return "link without a target";
    if (IsAbsoluteName(Target))
        return quoted + " is absolute";
    size_t up = 0;
    bool descended = false;
    for (const auto& part : SplitParts(Target))
    {
        if (part != "..")
            descended = true;
        else if (descended)
            return quoted + " climbs with \"..\" after a name";
        else
            ++up;
    }
    if (up + 1 > LinkParts.size())
        return quoted + " leads out of the installation directory";
    return {};
}

void ExtractInto(const fs::path& Archive, const fs::path& Directory, TExtraction& Run)
{
    std::unique_ptr<archive, TReaderDeleter> reader(archive_read_new());
    std::unique_ptr<archive, TWriterDeleter> writer(archive_write_disk_new());
    if (!reader || !writer)
        throw EArchiveError("Sevenzip: out of memory");
    archive_read_support_format_7zip(reader.get());
    // Secure flags refuse "..", and writing through a symbolic link met on the way, whatever our own checks say.
    // They check every part of the absolute name, so the destination is canonical: a link above the installation
    // directory (a data folder on another disk) is no reason to refuse.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    archive_write_disk_set_standard_lookup(writer.get());

    if (archive_read_open_filename(reader.get(), Archive.c_str(), 1 << 16) != ARCHIVE_OK)
        throw EArchiveError(ArchiveMessage(reader.get(), Archive));

    // Entry names relative to the installation directory, for judging links.
    std::vector<std::string> folder = SplitParts(Directory.lexically_relative(Run.Root).generic_string());
    std::vector<std::string> refused;
    archive_entry* entry = nullptr;
    for (;;)
    {
        int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw EArchiveError(ArchiveMessage(reader.get(), Archive));

        const char* rawName = archive_entry_pathname(entry);
        std::string name = rawName ? rawName : "";
        std::string reason = UnsafeReason(name);
        std::vector<std::string> parts = folder;
        for (auto& part : SplitParts(name))
            parts.push_back(std::move(part));
        auto type = archive_entry_filetype(entry);
        const char* hardLink = archive_entry_hardlink(entry);
        if (reason.empty())
        {
            std::string above = Run.LinkAbove(parts);
            if (!above.empty())
                reason = "lies below the link \"" + above + "\"";
        }
        if (reason.empty() && hardLink)
        {
            std::string target = hardLink;
            std::vector<std::string> targetParts = folder;
            for (auto& part : SplitParts(target))
                targetParts.push_back(std::move(part));
            if (!UnsafeReason(target).empty())
                reason = "hard link to \"" + target + "\" leads out of the installation directory";
            else if (!Run.LinkAbove(targetParts).empty() || Run.Links.count(JoinParts(targetParts, SIZE_MAX)))
                reason = "hard link to \"" + target + "\" goes through a link";
            else
                archive_entry_set_hardlink(entry, (Directory / StringReplaceAll(target, "\\", "/")).c_str());
        }
        else if (reason.empty() && type == AE_IFLNK)
        {
            const char* target = archive_entry_symlink(entry);
            reason = UnsafeLinkReason(parts, target ? target : "");
        }
        else if (reason.empty() && type != AE_IFREG && type != AE_IFDIR)
            reason = "not a file, directory or link";
        if (type == AE_IFLNK)
            Run.Links.insert(JoinParts(parts, SIZE_MAX));
        if (!reason.empty())
        {
            refused.push_back("\"" + name + "\" (" + reason + ")");
            continue;
        }

        // Names are made absolute here rather than by changing the process's current directory.
        std::string normal = StringReplaceAll(name, "\\", "/");
        archive_entry_set_pathname(entry, (Directory / normal).c_str());
        r = archive_write_header(writer.get(), entry);
        if (r == ARCHIVE_FAILED)
        {
            const char* text = archive_error_string(writer.get());
            refused.push_back("\"" + name + "\" (" + std::string(text ? text : "refused") + ")");
            continue;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw EArchiveError(ArchiveMessage(writer.get(), Archive));

        if (archive_entry_size(entry) > 0 && type == AE_IFREG)
        {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;)
            {
                r = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (r == ARCHIVE_EOF)
                    break;
                if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
                    throw EArchiveError(ArchiveMessage(reader.get(), Archive));
                if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN)
                    throw EArchiveError(ArchiveMessage(writer.get(), Archive));
            }
        }
        r = archive_write_finish_entry(writer.get());
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw EArchiveError(ArchiveMessage(writer.get(), Archive));
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        throw EArchiveError(ArchiveMessage(writer.get(), Archive));
    if (!refused.empty())
    {
        std::string list;
        for (const auto& item : refused)
            list += (list.empty() ? "" : ", ") + item;
        throw EUnsafeName("Sevenzip: " + Archive.string() + ": refused entries " + list);
    }
}

void ExtractTree(const fs::path& Directory, TExtraction& Run)
{
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(Directory, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        RaiseOSError(ec, Directory);
    // Enumeration order differs between file systems; sorting makes the order of unpacking repeatable.
    std::sort(entries.begin(), entries.end(),
              [](const auto& A, const auto& B) { return A.path().filename() < B.path().filename(); });
    for (const auto& entry : entries)
    {
        auto status = entry.symlink_status(ec);
        if (ec)
            continue;
        std::string name = entry.path().filename().string();
        if (fs::is_regular_file(status) && SameText(entry.path().extension().string(), ".7z"))
            ExtractInto(entry.path(), Directory, Run);
        else if (fs::is_directory(status) && !name.empty() && name.front() != '.')
            ExtractTree(entry.path(), Run);
    }
}

fs::path CanonicalDirectory(const fs::path& Directory)
{
    std::error_code ec;
    fs::path canonical = fs::canonical(Directory, ec);
    if (ec)
        RaiseOSError(ec, Directory);
    return canonical;
}

} // namespace

void ExtractArchive(const fs::path& Archive, const fs::path& Directory)
{
    TExtraction run{CanonicalDirectory(Directory), {}};
    ExtractInto(Archive, run.Root, run);
}

void ExtractArchives(const fs::path& Directory)
{
    TExtraction run{CanonicalDirectory(Directory), {}};
    ExtractTree(run.Root, run);
}

} // namespace orb
