#pragma once

#include <string>
#include <vector>

namespace orb
{

/// The storage backends a property manager can create.
enum TSaveLoadModule
{
    smIni32,
};

/// A list of text lines, used wherever a storage fills a list of names or values.
using TStrings = std::vector<std::string>;

/// Abstract sectioned key=value storage with the usual INI operations.
class TCustomSaveLoad
{
public:
    /// Remembers the file name; backends read the file in their own constructor.
    explicit TCustomSaveLoad(std::string FileName) : FFileName(std::move(FileName)) {}
    virtual ~TCustomSaveLoad() = default;
    TCustomSaveLoad(const TCustomSaveLoad&) = delete;
    TCustomSaveLoad& operator=(const TCustomSaveLoad&) = delete;
    TCustomSaveLoad(TCustomSaveLoad&&) = default;
    TCustomSaveLoad& operator=(TCustomSaveLoad&&) = default;

    /// The file the storage reads and writes.
    const std::string& FileName() const { return FFileName; }
    /// Changes the file name without reading anything.
    void SetFileName(const std::string& Value) { FFileName = Value; }

    /// Removes the first line of Section whose key is Ident.
    virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
    /// Removes a section with its header.
    virtual void DeleteSection(const std::string& Section) = 0;
    /// The value of Ident in Section, or Default when missing or empty.
    virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) const = 0;
    /// Sets Ident to Value in Section, creating both as needed.
    virtual void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) = 0;
    /// True when the section's header exists.
    virtual bool SectionExists(const std::string& Section) const = 0;
    /// The number of section headers.
    virtual int SectionCount() const = 0;
    /// Fills Strings with the names of all sections, in file order.
    virtual void ReadSections(TStrings* Strings) const = 0;
    /// Fills Strings with the keys of Section, in file order.
    virtual void ReadSectionNames(const std::string& Section, TStrings* Strings) const = 0;
    /// Fills Strings with the values of Section, parallel to ReadSectionNames.
    virtual void ReadSectionValues(const std::string& Section, TStrings* Strings) const = 0;
    /// Writes the storage to its file.
    virtual void SaveToFile() = 0;
    /// Reads the storage from its file; a missing file leaves the contents unchanged.
    virtual void LoadFromFile() = 0;
    /// Gives a section a new name; raises when it does not exist.
    virtual void RenameSection(const std::string& OldSectionName, const std::string& NewSectionName) = 0;

protected:
    std::string FFileName;
};

} // namespace orb
