#pragma once

#include "base/Exceptions.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace orb::xml
{

/// The deepest nesting of elements the library reads or writes. Settings files and update indexes stay within a
/// dozen levels; the limit keeps a broken or hostile answer from exhausting memory and makes writing a tree linear
/// in its size. The parser refuses the element that would open level MaxXMLDepth + 1, the writers a tree that deep.
inline constexpr int MaxXMLDepth = 1000;

/// "Elements nested too deep (the limit is 1000 levels)", the text of every refusal of a deeper tree.
std::string NestingTooDeepText();

/// How the bytes of text are turned into characters: as UTF-8, or through the 8-bit code page.
enum TEncoding
{
    enUnknown,
    enUTF8,
};

/// The kind of item the parser has just consumed.
enum TVuvareSAXTagType
{
    tagPI,
    tagStart,
    tagEnd,
    tagFull,
    tagComment,
    tagText,
    tagUnknown,
};

/// The parser's attribute list: name=value pairs in document order, names looked up ignoring letter case.
class TAttributes
{
public:
    /// Number of attributes.
    int Count() const { return static_cast<int>(FCount); }
    /// The name of the attribute at Index.
    const std::string& Names(int Index) const { return FItems[static_cast<size_t>(Index)].first; }
    /// The value of the attribute at Index.
    const std::string& ValueFromIndex(int Index) const { return FItems[static_cast<size_t>(Index)].second; }
    /// The line "name=value" of the attribute at Index.
    std::string Strings(int Index) const { return Names(Index) + "=" + ValueFromIndex(Index); }
    /// Index of the attribute whose name equals Name ignoring letter case, or -1.
    int IndexOfName(std::string_view Name) const;
    /// The value of the attribute named Name (ignoring letter case); empty when missing.
    std::string Values(std::string_view Name) const;
    /// Appends an attribute.
    void Add(std::string_view Name, std::string_view Value);
    /// Removes every attribute.
    void Clear() { FCount = 0; }
    /// All lines "name=value", each followed by CR LF.
    std::string Text() const;

    TAttributes() = default;
    TAttributes(const TAttributes& Other);
    TAttributes& operator=(const TAttributes& Other);
    TAttributes(TAttributes&&) noexcept = default;
    TAttributes& operator=(TAttributes&&) noexcept = default;

private:
    friend class TVuvareSAX;
    /// Makes room for one more attribute and returns it; the slot keeps the capacity of earlier parses.
    std::pair<std::string, std::string>& NewSlot();

    // Cleared lists keep their strings so that parsing many tags allocates nothing once the slots exist.
    std::vector<std::pair<std::string, std::string>> FItems;
    size_t FCount = 0;
};

/// A stack of the names of open elements.
class TStringStack
{
public:
    /// Appends a name.
    void Push(std::string_view AString);
    /// Returns the last name and removes it.
    std::string Pop();
    /// Number of names on the stack.
    int Count() const { return static_cast<int>(FCount); }
    /// Removes every name.
    void Clear() { FCount = 0; }

private:
    friend class TVuvareSAX;
    std::vector<std::string> FItems;
    size_t FCount = 0;
};

/// Any fault in an XML document.
class EVuvareSAX : public orb::Exception
{
public:
    /// "Bad XML. " followed by ErrorMessage.
    explicit EVuvareSAX(const std::string& ErrorMessage);
    /// "Bad XML: " followed by ErrorMessage, CR LF and the input up to and including the 1-based Position
    /// (at most 1001 bytes), converted through the 8-bit code page.
    EVuvareSAX(std::string_view XML, size_t Position, const std::string& ErrorMessage);
    std::string ClassName() const override { return "EVuvareSAX"; }
};

/// Called for a start tag, an empty-element tag or a processing instruction (its name begins with "?").
using TSAXStartElementMethod = std::function<void(const std::string& Name, const TAttributes& Attributes)>;
/// Called for an end tag, after an empty-element tag and after a processing instruction.
using TSAXEndElementMethod = std::function<void(const std::string& Name)>;
/// Called for a run of character data (CDATA included).
using TSAXTextMethod = std::function<void(const std::string& Text)>;
/// Called for a comment.
using TSAXCommentMethod = std::function<void(const std::string& Comment)>;

/// The incremental, event-driven XML reader.
class TVuvareSAX
{
public:
    /// Stores the four callbacks; all four must be given.
    TVuvareSAX(TSAXStartElementMethod OnStartElement, TSAXEndElementMethod OnEndElement, TSAXTextMethod OnText,
               TSAXCommentMethod OnComment);

    /// Parses a whole document; long ones go through the block path.
    void ParseString(std::string_view Data);
    /// Parses from the stream's current position in blocks of at most 64 KiB; an empty stream gives nothing.
    void ParseStream(std::istream& Stream);
    /// Empties the buffer and the stack and returns to UTF-8.
    void BeginOfParsing();
    /// Appends Data and consumes every complete item, raising events.
    void ParseBlock(std::string_view Data);
    /// Raises the end-of-document errors: bytes left over, elements left open.
    void EndOfParsing();

    /// The current text encoding.
    TEncoding Encoding = enUTF8;
    /// The unconsumed input.
    std::string_view XML() const { return std::string_view(FBuffer).substr(FStart); }
    /// The names of the open elements.
    const TStringStack& XMLStack() const { return FStack; }

    TSAXStartElementMethod OnStartElement;
    TSAXEndElementMethod OnEndElement;
    TSAXTextMethod OnText;
    TSAXCommentMethod OnComment;

private:
    /// Where the scan of the item stands; an unfinished item goes on from here when the next block arrives.
    enum TScanPhase : uint8_t
    {
        phLead,       // whitespace before the item
        phOpen,       // right after "<"
        phName,       // in the tag name
        phAttrSep,    // after the name or a value: a separator or the tag end must follow
        phAttrWhite,  // whitespace before an attribute or the tag end
        phAttrName,   // in an attribute name
        phAttrEq,     // whitespace between an attribute name and "="
        phValueQuote, // whitespace before the opening quote of a value
        phValue,      // in a value, looking for the closing quote
        phTagEnd,     // at "/", ">" or "?" of the tag end
        phText,       // in a text run or CDATA section, looking for "<"
        phComment,    // in a comment, looking for "-->"
    };
    /// The scan of an unfinished item. Positions count from the item's first byte, which stays at the front of the
    /// unconsumed input until the item is complete, so they hold across blocks.
    struct TScanState
    {
        bool Pending = false;
        TScanPhase Phase = phLead;
        uint8_t Open = 0;
        size_t P = 0;       // the next byte to look at; searches go on from here
        size_t Mark = 0;    // first byte of the name, attribute name, value, text run or comment text
        size_t AttrEnd = 0; // end of the attribute name
    };

    /// Scans the next item of B[0..N) from Pos; false when nothing complete is left. On success Pos is past
    /// the item.
    bool NextItem(const char* B, size_t N, size_t& Pos);
    /// True when the attribute just named repeats an earlier one of the tag (ignoring letter case).
    bool IsDuplicateAttribute();
    void FinishText(const char* B, size_t N, size_t Start, size_t End);
    void ConsumeItems(const char* B, size_t N, size_t& Pos);
    void ReadName(const char* B, size_t From, size_t To, std::string& Out) const;
    void DecodeText(const char* B, size_t From, size_t To, std::string& Out) const;
    void ReplaceReferences(std::string& Text, const char* B, size_t N, size_t ErrorPos) const;
    [[noreturn]] void SyntaxError(const char* B, size_t N, size_t Pos, const std::string& Message = {}) const;
    template <typename NextBlockFn> void ParseBlocks(uint64_t Size, NextBlockFn&& NextBlock);

    std::string FBuffer;
    size_t FStart = 0;
    TAttributes FAttributes;
    TStringStack FStack;
    // The item just scanned.
    TVuvareSAXTagType FTagType = tagUnknown;
    std::string FName;
    TScanState FScan;
    /// Case-folded attribute names of the tag being scanned, once it has more than a few.
    std::unordered_set<std::u32string> FAttributeNames;
};

} // namespace orb::xml
