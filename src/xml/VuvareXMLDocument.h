#pragma once

#include "base/Exceptions.h"
#include "xml/VuvareSAX.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace orb::xml
{

/// A file that cannot be opened.
class EFOpenError : public orb::EInOutError
{
public:
    using orb::EInOutError::EInOutError;
    std::string ClassName() const override { return "EFOpenError"; }
};

/// Opens a file for reading in binary; raises EFOpenError naming the file when it cannot be opened or is a directory.
std::ifstream OpenFileForReading(const std::filesystem::path& FileName);

/// Layout of the tree writer: attributes on one line, or each on a line of its own.
enum TXMLFormatMode
{
    fmSimple,
    fmBreakAttributes,
};

/// Layout settings of the tree writer.
struct TXMLFormatSettings
{
    /// Attributes on the element's line or each on its own line.
    TXMLFormatMode FormatMode = fmSimple;
    /// Spaces per indentation level.
    uint16_t Margin = 2;
    /// Line breaks (CR LF each) between sibling items.
    uint16_t BreaksBetweenElements = 1;
};

class TXMLElementList;
class TXMLTagElement;

/// Base of every item of the document tree.
class TXMLTagBasic
{
public:
    /// Appends the new item to Parent (which then owns it) when Parent is given.
    explicit TXMLTagBasic(TXMLElementList* Parent = nullptr);
    virtual ~TXMLTagBasic() = default;
    TXMLTagBasic(const TXMLTagBasic&) = delete;
    TXMLTagBasic& operator=(const TXMLTagBasic&) = delete;

    /// The list holding this item, or null.
    TXMLElementList* ParentElementList = nullptr;
    /// Layout used when the item has no parent list.
    TXMLFormatSettings FormatSettings;
    /// Encoding used when the item has no parent list.
    TEncoding Encoding = enUnknown;

    /// The item as XML text with the given layout, at indentation Level.
    std::string XML(const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const;
    /// The item as XML text with its parent list's layout (or its own when it has no list).
    std::string XML(int Level = 0) const;
    /// Appends the item's XML text to Out.
    virtual void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding,
                          int Level) const = 0;
};

/// An ordered list of tree items that owns them.
class TXMLElementList
{
public:
    /// A list whose items are the children of Parent (null for the top level).
    explicit TXMLElementList(TXMLTagElement* Parent = nullptr) : ParentElement(Parent) {}
    /// Frees the items and everything below them, however deep.
    ~TXMLElementList() { Clear(); }
    TXMLElementList(const TXMLElementList&) = delete;
    TXMLElementList& operator=(const TXMLElementList&) = delete;

    /// The element whose children these are, or null at the top level.
    TXMLTagElement* ParentElement;
    /// Opens a file for reading in binary; raises EFOpenError naming the file when it cannot be opened or is a
    /// directory.
    std::ifstream OpenFileForReading(const std::filesystem::path& FileName);

    /// Layout of the tree writer.
    TXMLFormatSettings FormatSettings;
    /// Encoding of the tree writer.
    TEncoding Encoding = enUnknown;

    /// Removes and frees every item.
    void Clear();
    /// Number of items.
    int Count() const { return static_cast<int>(Elements.size()); }
    /// The item at Index; raises EListError when out of range.
    TXMLTagBasic* Item(int Index) const;
    /// The first element named exactly ElementName, or null.
    TXMLTagElement* FindElement(const std::string& ElementName) const;
    /// Removes and frees the item at Index.
    void Remove(int Index);
    /// Appends Tag and takes ownership of it.
    TXMLTagBasic* Append(std::unique_ptr<TXMLTagBasic> Tag);
    /// The items joined by the configured line breaks.
    std::string XML(const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const;
    /// Appends the items' XML to Out.
    void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const;

    /// The owned items.
    std::vector<std::unique_ptr<TXMLTagBasic>> Elements;
};

/// An element with its attributes and children.
class TXMLTagElement : public TXMLTagBasic
{
public:
    explicit TXMLTagElement(TXMLElementList* Parent = nullptr, std::string Name = {})
        : TXMLTagBasic(Parent), Name(std::move(Name)), Children(this)
    {}
    /// Tag name.
    std::string Name;
    /// The attribute lines name=value.
    TAttributes Attributes;
    /// The child items.
    TXMLElementList Children;
    void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const override;
};

/// A run of character data.
class TXMLTagText : public TXMLTagBasic
{
public:
    TXMLTagText(TXMLElementList* Parent, std::string Text) : TXMLTagBasic(Parent), Text(std::move(Text)) {}
    /// The decoded text.
    std::string Text;
    void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const override;
};

/// A comment.
class TXMLTagComment : public TXMLTagBasic
{
public:
    TXMLTagComment(TXMLElementList* Parent, std::string Comment) : TXMLTagBasic(Parent), Comment(std::move(Comment)) {}
    /// The comment's text.
    std::string Comment;
    void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const override;
};

/// A processing instruction such as the XML declaration.
class TXMLTagPI : public TXMLTagBasic
{
public:
    explicit TXMLTagPI(TXMLElementList* Parent = nullptr, std::string Name = {})
        : TXMLTagBasic(Parent), Name(std::move(Name))
    {}
    /// The name without the leading "?".
    std::string Name;
    /// The pseudo-attributes.
    TAttributes Attributes;
    void WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Encoding, int Level) const override;
};

/// A document tree built from the parser's events, with a writer of its own.
class TVuvareXMLDocument
{
public:
    TVuvareXMLDocument();
    TVuvareXMLDocument(const TVuvareXMLDocument&) = delete;
    TVuvareXMLDocument& operator=(const TVuvareXMLDocument&) = delete;

    /// When true, comments are not stored.
    bool IgnoreComments = false;

    /// Replaces the tree by the document held in Data (bytes).
    void LoadFromBuffer(std::string_view Data);
    /// Replaces the tree by the document held in the UTF-8 text Data.
    void LoadFromString(std::string_view Data);
    /// Replaces the tree by the document read from the stream's current position.
    void LoadFromStream(std::istream& Stream);
    /// Replaces the tree by the document in the file; raises EFOpenError when it cannot be opened.
    void LoadFromFile(const std::filesystem::path& FileName);

    /// The first top-level element, or null.
    TXMLTagElement* RootElement() const;
    /// The "encoding" of the first top-level processing instruction, or empty.
    std::string Encoding() const;
    /// The top-level layout, changeable before writing.
    TXMLFormatSettings& FormatSettings() { return Elements.FormatSettings; }
    /// The whole tree as text.
    std::string XML();
    /// Writes XML converted through the 8-bit code page; raises EInOutError on failure (the old file is kept).
    void SaveToFile(const std::filesystem::path& FileName);

    /// The top-level items.
    TXMLElementList Elements;
    /// The list receiving the next item while loading.
    TXMLElementList* CurrentBranch = nullptr;

private:
    void StartElement(const std::string& Name, const TAttributes& Attributes);
    void EndElement(const std::string& Name);
    void AddText(const std::string& Text);
    void AddComment(const std::string& Comment);

    std::unique_ptr<TVuvareSAX> VuvareSAX;
};

} // namespace orb::xml
