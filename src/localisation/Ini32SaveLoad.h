#pragma once

#include "localisation/CustomSaveLoad.h"

#include <string>
#include <string_view>
#include <vector>

namespace orb
{

/// INI-like text file kept in memory as a list of lines.
///
/// Section headers are found by whole-line comparison ignoring letter case (the last of repeated headers
/// wins); keys are compared exactly. A line without "=" has no key, so comments need no syntax of their own.
class TIni32SaveLoad : public TCustomSaveLoad
{
public:
    /// Remembers the name and reads the file at once (a missing file gives an empty storage).
    explicit TIni32SaveLoad(std::string FileName);

    void DeleteKey(const std::string& Section, const std::string& Ident) override;
    void DeleteSection(const std::string& Section) override;
    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) const override;
    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
    bool SectionExists(const std::string& Section) const override;
    int SectionCount() const override;
    void ReadSections(TStrings* Strings) const override;
    void ReadSectionNames(const std::string& Section, TStrings* Strings) const override;
    void ReadSectionValues(const std::string& Section, TStrings* Strings) const override;
    /// Cleans the buffer up, then writes it atomically as UTF-8 with a byte-order mark and CR LF line ends.
    void SaveToFile() override;
    void LoadFromFile() override;
    void RenameSection(const std::string& OldSectionName, const std::string& NewSectionName) override;

    /// Replaces the lines by the decoded text of a file's bytes (byte-order mark or Windows-1252).
    void LoadFromBytes(std::string_view Bytes);
    /// The bytes SaveToFile writes (after the clean-up).
    std::string SaveToBytes();
    /// Merges repeated sections (the last wins) and collapses runs of empty lines.
    void CleanUp();
    /// The lines of the buffer.
    const std::vector<std::string>& Lines() const { return FFileBuffer; }

    /// True when the line is a section header: "[" ... "]" after trimming blanks.
    static bool IsSectionHeader(std::string_view Line);
    /// The key of a line: the text before its first "=", trimmed; empty without "=".
    static std::string_view LineKey(std::string_view Line);
    /// The value of a line: the text after its first "=", trimmed.
    static std::string_view LineValue(std::string_view Line);

private:
    /// The range of a section: header index and the index one past its body; Header is npos when missing.
    struct TSectionRange
    {
        size_t Header;
        size_t End;
    };
    TSectionRange FindSection(const std::string& Section) const;
    /// The index of the first body line whose key equals Ident, or npos.
    size_t FindKey(const TSectionRange& Range, const std::string& Ident) const;

    std::vector<std::string> FFileBuffer;
};

} // namespace orb
