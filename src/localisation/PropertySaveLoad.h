#pragma once

#include "localisation/CustomSaveLoad.h"

#include <memory>
#include <string>

namespace orb
{

/// Typed reads and writes (booleans, integers, floats, string lists) over a storage backend.
class TPropertySaveLoad
{
public:
    /// Creates the backend of the module on FileName; the backend reads the file at once.
    TPropertySaveLoad(const std::string& FileName, TSaveLoadModule SaveLoadModule);

    /// The backend's file name.
    const std::string& FileName() const { return FSaveLoader->FileName(); }
    /// Switches to another file and reads it; the same name (compared exactly) does nothing.
    void SetFileName(const std::string& Value);
    /// The backend chosen at creation.
    TSaveLoadModule SaveLoadModule() const { return FSaveLoadModule; }
    /// The backend itself.
    TCustomSaveLoad& SaveLoader() { return *FSaveLoader; }

    /// See TCustomSaveLoad.
    std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;
    /// See TCustomSaveLoad.
    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
    /// See TCustomSaveLoad.
    void DeleteKey(const std::string& Section, const std::string& Ident);
    /// See TCustomSaveLoad.
    void DeleteSection(const std::string& Section);
    /// See TCustomSaveLoad.
    void ReadSections(TStrings* Strings) const;
    /// See TCustomSaveLoad.
    void ReadSectionNames(const std::string& Section, TStrings* Strings) const;
    /// See TCustomSaveLoad.
    void ReadSectionValues(const std::string& Section, TStrings* Strings) const;
    /// See TCustomSaveLoad.
    bool SectionExists(const std::string& Section) const;
    /// See TCustomSaveLoad.
    int SectionCount() const;
    /// See TCustomSaveLoad.
    void RenameSection(const std::string& OldSectionName, const std::string& NewSectionName);
    /// See TCustomSaveLoad.
    void LoadFromFile();
    /// See TCustomSaveLoad.
    void SaveToFile();

    /// Writes "1" or "0".
    void WriteBoolean(const std::string& Section, const std::string& Name, bool Value);
    /// Any non-zero integer is true; the default when the value does not convert.
    bool ReadBoolean(const std::string& Section, const std::string& Name, bool DefaultValue) const;
    /// Writes the decimal text.
    void WriteInteger(const std::string& Section, const std::string& Name, int32_t Value);
    /// Decimal, "$" hexadecimal or "0x" hexadecimal; the default when the value does not convert.
    int32_t ReadInteger(const std::string& Section, const std::string& Name, int32_t DefaultValue) const;
    /// Writes the shortest decimal text that reads back as the same double.
    void WriteFloat(const std::string& Section, const std::string& Name, double Value);
    /// The decimal value; the default when the value does not convert.
    double ReadFloat(const std::string& Section, const std::string& Name, double DefaultValue) const;
    /// Writes the lines joined with Separator.
    void WriteStrings(const std::string& Section, const std::string& Name, const std::string& Separator,
                      const TStrings& Value);
    /// The value split at Separator, pieces trimmed, a trailing empty piece dropped.
    TStrings ReadStrings(const std::string& Section, const std::string& Name, const std::string& Separator,
                         const TStrings& DefValue) const;

private:
    std::unique_ptr<TCustomSaveLoad> FSaveLoader;
    TSaveLoadModule FSaveLoadModule;
};

/// The lines joined with Separator, no separator after the last.
std::string JoinStrings(const TStrings& Lines, const std::string& Separator);
/// Text split at each Separator, pieces trimmed of blanks; a trailing piece that is empty is dropped.
TStrings SplitStrings(const std::string& Text, const std::string& Separator);
/// Shortest decimal text of a double that reads back as the same value.
std::string FloatToText(double Value);
/// False (and Value unchanged) when Text is not a decimal number.
bool TryTextToFloat(const std::string& Text, double& Value);

} // namespace orb
