#include "localisation/Ini32SaveLoad.h"

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/TextFile.h"
#include "base/TextUtils.h"

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <unordered_set>

namespace orb
{

namespace
{

constexpr size_t npos = std::string::npos;

/// Blanks as the storage understands them: every control character and the space.
bool IsBlank(char C)
{
    return static_cast<unsigned char>(C) <= ' ';
}

std::string_view TrimView(std::string_view Text)
{
    size_t b = 0;
    size_t e = Text.size();
    while (b < e && IsBlank(Text[b]))
        ++b;
    while (e > b && IsBlank(Text[e - 1]))
        --e;
    return Text.substr(b, e - b);
}

void RequireList(const TStrings* Strings)
{
    if (!Strings)
        throw std::logic_error("Param Strings must be assigned");
}

} // namespace

TIni32SaveLoad::TIni32SaveLoad(std::string FileName) : TCustomSaveLoad(std::move(FileName))
{
    LoadFromFile();
}

bool TIni32SaveLoad::IsSectionHeader(std::string_view Line)
{
    if (Line.empty())
        return false;
    auto t = TrimView(Line);
    return !t.empty() && t.front() == '[' && t.back() == ']' && (t.size() >= 2);
}

std::string_view TIni32SaveLoad::LineKey(std::string_view Line)
{
    auto eq = Line.find('=');
    if (eq == npos)
        return {};
    return TrimView(Line.substr(0, eq));
}

std::string_view TIni32SaveLoad::LineValue(std::string_view Line)
{
    auto eq = Line.find('=');
    if (eq == npos)
        return {};
    return TrimView(Line.substr(eq + 1));
}

TIni32SaveLoad::TSectionRange TIni32SaveLoad::FindSection(const std::string& Section) const
{
    const std::string header = "[" + Section + "]";
    TSectionRange range{npos, npos};
    // The last of repeated headers is the one that counts, so search from the end.
    for (size_t i = FFileBuffer.size(); i-- > 0;)
    {
        const auto& line = FFileBuffer[i];
        if (line.size() >= 2 && line.front() == '[' && SameText(line, header))
        {
            range.Header = i;
            break;
        }
    }
    if (range.Header == npos)
        return range;
    range.End = range.Header + 1;
    while (range.End < FFileBuffer.size() && !IsSectionHeader(FFileBuffer[range.End]))
        ++range.End;
    return range;
}

size_t TIni32SaveLoad::FindKey(const TSectionRange& Range, const std::string& Ident) const
{
    if (Range.Header == npos || Ident.empty())
        return npos;
    for (size_t i = Range.Header + 1; i < Range.End; ++i)
        if (LineKey(FFileBuffer[i]) == Ident)
            return i;
    return npos;
}

std::string TIni32SaveLoad::ReadString(const std::string& Section, const std::string& Ident,
                                       const std::string& Default) const
{
    auto index = FindKey(FindSection(Section), Ident);
    if (index == npos)
        return Default;
    auto value = LineValue(FFileBuffer[index]);
    return value.empty() ? Default : std::string(value);
}

void TIni32SaveLoad::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    auto range = FindSection(Section);
    if (range.Header == npos)
    {
        if (!FFileBuffer.empty())
            FFileBuffer.emplace_back();
        FFileBuffer.push_back("[" + Section + "]");
        if (!Ident.empty())
            FFileBuffer.push_back(Ident + "=" + Value);
        return;
    }
    if (Ident.empty())
        return;
    std::string line = Ident + "=" + Value;
    auto index = FindKey(range, Ident);
    if (index != npos)
    {
        FFileBuffer[index] = std::move(line);
        return;
    }
    if (range.End == FFileBuffer.size())
    {
        FFileBuffer.push_back(std::move(line));
        return;
    }
    // Another section follows. Files written here separate sections by a blank line: the new key goes
    // before it. Without that blank line the key goes at the end of the body, never before the header,
    // where it would land in the previous section.
    size_t at = range.End;
    if (range.End - 1 > range.Header && TrimView(FFileBuffer[range.End - 1]).empty())
        at = range.End - 1;
    FFileBuffer.insert(FFileBuffer.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void TIni32SaveLoad::DeleteKey(const std::string& Section, const std::string& Ident)
{
    auto index = FindKey(FindSection(Section), Ident);
    if (index != npos)
        FFileBuffer.erase(FFileBuffer.begin() + static_cast<std::ptrdiff_t>(index));
}

void TIni32SaveLoad::DeleteSection(const std::string& Section)
{
    auto range = FindSection(Section);
    if (range.Header == npos)
        return;
    FFileBuffer.erase(FFileBuffer.begin() + static_cast<std::ptrdiff_t>(range.Header),
                      FFileBuffer.begin() + static_cast<std::ptrdiff_t>(range.End));
    if (range.Header > 0)
        FFileBuffer.insert(FFileBuffer.begin() + static_cast<std::ptrdiff_t>(range.Header), std::string());
}

void TIni32SaveLoad::RenameSection(const std::string& OldSectionName, const std::string& NewSectionName)
{
    auto range = FindSection(OldSectionName);
    if (range.Header == npos)
        throw Exception("Section \"" + OldSectionName + "\" does not exist");
    FFileBuffer[range.Header] = "[" + NewSectionName + "]";
}

bool TIni32SaveLoad::SectionExists(const std::string& Section) const
{
    return FindSection(Section).Header != npos;
}

int TIni32SaveLoad::SectionCount() const
{
    int count = 0;
    for (const auto& line : FFileBuffer)
        if (IsSectionHeader(line))
            ++count;
    return count;
}

void TIni32SaveLoad::ReadSections(TStrings* Strings) const
{
    RequireList(Strings);
    Strings->clear();
    for (const auto& line : FFileBuffer)
    {
        if (!IsSectionHeader(line))
            continue;
        auto t = TrimView(line);
        Strings->emplace_back(TrimView(t.substr(1, t.size() - 2)));
    }
}

void TIni32SaveLoad::ReadSectionNames(const std::string& Section, TStrings* Strings) const
{
    RequireList(Strings);
    Strings->clear();
    auto range = FindSection(Section);
    if (range.Header == npos)
        return;
    for (size_t i = range.Header + 1; i < range.End; ++i)
    {
        auto key = LineKey(FFileBuffer[i]);
        if (!key.empty())
            Strings->emplace_back(key);
    }
}

void TIni32SaveLoad::ReadSectionValues(const std::string& Section, TStrings* Strings) const
{
    RequireList(Strings);
    Strings->clear();
    auto range = FindSection(Section);
    if (range.Header == npos)
        return;
    for (size_t i = range.Header + 1; i < range.End; ++i)
    {
        const auto& line = FFileBuffer[i];
        if (!LineKey(line).empty())
            Strings->emplace_back(LineValue(line));
    }
}

void TIni32SaveLoad::LoadFromBytes(std::string_view Bytes)
{
    std::string decoded;
    std::string_view text;
    if (Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF")
        text = Bytes.substr(3);
    else if (Bytes.size() >= 2 && Bytes.substr(0, 2) == "\xFF\xFE")
        text = decoded = Utf16BytesToUtf8(Bytes.substr(2), false);
    else if (Bytes.size() >= 2 && Bytes.substr(0, 2) == "\xFE\xFF")
        text = decoded = Utf16BytesToUtf8(Bytes.substr(2), true);
    else
        text = decoded = AnsiToUtf8(Bytes);

    std::vector<std::string> lines;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end)
    {
        // Line feeds are the usual end; a carriage return before one ends the line too (CR LF or CR alone).
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(stop - p)));
        if (cr)
        {
            lines.emplace_back(p, cr);
            p = cr + 1;
            if (p < end && *p == '\n')
                ++p;
            continue;
        }
        lines.emplace_back(p, stop);
        // A final line break does not start another (empty) line.
        p = lf ? lf + 1 : end;
    }
    FFileBuffer = std::move(lines);
}

void TIni32SaveLoad::LoadFromFile()
{
    std::ifstream in(FFileName, std::ios::binary | std::ios::ate);
    if (!in)
        return;
    const auto size = in.tellg();
    std::string bytes;
    if (size > 0)
    {
        bytes.resize(static_cast<size_t>(size));
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    LoadFromBytes(bytes);
}

void TIni32SaveLoad::CleanUp()
{
    // Of every run of empty lines only the first remains.
    std::vector<std::string> lines;
    lines.reserve(FFileBuffer.size());
    bool previousEmpty = false;
    for (auto& line : FFileBuffer)
    {
        bool empty = line.empty();
        if (!(empty && previousEmpty))
            lines.push_back(std::move(line));
        previousEmpty = empty;
    }

    // Repeated sections: the last occurrence wins, every earlier one goes with its body. Walking from
    // the end, a header whose name was already seen has a later twin.
    std::vector<bool> removed(lines.size(), false);
    std::unordered_set<std::string> seen;
    size_t bodyEnd = lines.size();
    for (size_t i = lines.size(); i-- > 0;)
    {
        if (!IsSectionHeader(lines[i]))
            continue;
        if (!seen.insert(LowerCase(lines[i])).second)
            for (size_t k = i; k < bodyEnd; ++k)
                removed[k] = true;
        bodyEnd = i;
    }
    FFileBuffer.clear();
    for (size_t i = 0; i < lines.size(); ++i)
        if (!removed[i])
            FFileBuffer.push_back(std::move(lines[i]));
}

std::string TIni32SaveLoad::SaveToBytes()
{
    CleanUp();
    std::string bytes = "\xEF\xBB\xBF";
    for (const auto& line : FFileBuffer)
    {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

void TIni32SaveLoad::SaveToFile()
{
    WriteFileAtomic(FFileName, SaveToBytes());
}

} // namespace orb
