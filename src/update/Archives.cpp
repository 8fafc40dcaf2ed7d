#include "update/Archives.h"

#include "base/TextUtils.h"
#include "update/UpdateErrors.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
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

/// Why an entry name would escape the destination, or empty when it stays inside.
std::string UnsafeReason(const std::string& Name)
{
    if (Name.empty())
        return "empty name";
    fs::path p(Name);
    if (p.has_root_name() || p.has_root_directory() || Name.front() == '/' || Name.front() == '\\')
        return "absolute path";
    for (const auto& part : p)
    {
        if (part == "..")
            return "path contains \"..\"";
    }
    if (Name.find('\\') != std::string::npos)
    {
        // Archives written on Windows may use backslashes; judge those separators too.
        size_t start = 0;
        while (start <= Name.size())
        {
            size_t end = Name.find_first_of("/\\", start);
            if (end == std::string::npos)
                end = Name.size();
            if (Name.compare(start, end - start, "..") == 0)
                return "path contains \"..\"";
            start = end + 1;
        }
    }
    return {};
}

} // namespace

void ExtractArchive(const fs::path& Archive, const fs::path& Directory)
{
    std::unique_ptr<archive, TReaderDeleter> reader(archive_read_new());
    std::unique_ptr<archive, TWriterDeleter> writer(archive_write_disk_new());
    if (!reader || !writer)
        throw EArchiveError("Sevenzip: out of memory");
    archive_read_support_format_7zip(reader.get());
    // Secure flags refuse "..", absolute names and writing through a symbolic link, whatever our own checks say.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    archive_write_disk_set_standard_lookup(writer.get());

    if (archive_read_open_filename(reader.get(), Archive.c_str(), 1 << 16) != ARCHIVE_OK)
        throw EArchiveError(ArchiveMessage(reader.get(), Archive));

    fs::path base = fs::absolute(Directory);
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
        auto type = archive_entry_filetype(entry);
        if (reason.empty() && (type == AE_IFLNK || archive_entry_hardlink(entry) != nullptr))
            reason = "links are not unpacked";
        if (reason.empty() && type != AE_IFREG && type != AE_IFDIR)
            reason = "not a file or directory";
        if (!reason.empty())
        {
            refused.push_back("\"" + name + "\" (" + reason + ")");
            continue;
        }

        // Names are made absolute here rather than by changing the process's current directory.
        std::string normal = StringReplaceAll(name, "\\", "/");
        archive_entry_set_pathname(entry, (base / normal).c_str());
        r = archive_write_header(writer.get(), entry);
        if (r == ARCHIVE_FAILED)
        {
            const char* text = archive_error_string(writer.get());
            refused.push_back("\"" + name + "\" (" + std::string(text ? text : "refused") + ")");
            continue;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            throw EArchiveError(ArchiveMessage(writer.get(), Archive));

        if (archive_entry_size(entry) > 0)
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

void ExtractArchives(const fs::path& Directory)
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
            ExtractArchive(entry.path(), Directory);
        else if (fs::is_directory(status) && !name.empty() && name.front() != '.')
            ExtractArchives(entry.path());
    }
}

} // namespace orb
