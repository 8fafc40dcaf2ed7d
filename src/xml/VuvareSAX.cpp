#include "xml/VuvareSAX.h"

#include "base/TextUtils.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace orb::xml
{

namespace
{

constexpr size_t kBlockSize = 65536;
constexpr size_t kStreamThreshold = 131072;
constexpr size_t kMaxNameLength = 1024;

// Byte classes of the scanner.
constexpr uint8_t kWhite = 1;       // codes 0 to 32
constexpr uint8_t kTagNameEnd = 2;  // "/", ">", "?"
constexpr uint8_t kTagNameBad = 4;  // double quote, "<", "="
constexpr uint8_t kAttrNameBad = 8; // double quote, "/", "<", ">", "?"

constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> t{};
    for (int c = 0; c <= 32; ++c)
        t[c] = kWhite;
    t['/'] = kTagNameEnd | kAttrNameBad;
    t['>'] = kTagNameEnd | kAttrNameBad;
    t['?'] = kTagNameEnd | kAttrNameBad;
    t['"'] = kTagNameBad | kAttrNameBad;
    t['<'] = kTagNameBad | kAttrNameBad;
    t['='] = kTagNameBad;
    return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClasses();

inline uint8_t ClassOf(char C)
{
    return kClass[static_cast<unsigned char>(C)];
}

inline bool IsWhite(char C)
{
    return static_cast<unsigned char>(C) <= 32;
}

/// Index of the first byte of S[0..Len) at or above 0x80, or Len.
size_t FirstNonAscii(const char* S, size_t Len)
{
    size_t i = 0;
    for (; i + 8 <= Len; i += 8)
    {
        uint64_t word;
        std::memcpy(&word, S + i, 8);
        if (word & 0x8080808080808080ULL)
            break;
    }
    for (; i < Len; ++i)
        if (static_cast<unsigned char>(S[i]) >= 0x80)
            return i;
    return Len;
}

bool IsAsciiOnly(std::string_view S)
{
    return FirstNonAscii(S.data(), S.size()) == S.size();
}

inline unsigned char AsciiLower(unsigned char C)
{
    return C >= 'A' && C <= 'Z' ? static_cast<unsigned char>(C + 32) : C;
}

/// Names equal ignoring letter case. ASCII letters are compared here; only names with other letters go to the
/// full comparison, whose upper and lower case forms may differ in length.
bool SameName(std::string_view A, std::string_view B)
{
    const size_t common = std::min(A.size(), B.size());
    for (size_t i = 0; i < common; ++i)
    {
        auto a = static_cast<unsigned char>(A[i]);
        auto b = static_cast<unsigned char>(B[i]);
        if (a == b)
            continue;
        if (a >= 0x80 || b >= 0x80)
            return orb::SameText(A, B);
        if (AsciiLower(a) != AsciiLower(b))
            return false;
    }
    if (A.size() == B.size())
        return true;
    if (IsAsciiOnly(A.substr(common)) && IsAsciiOnly(B.substr(common)))
        return false;
    return orb::SameText(A, B);
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

/// Writes the code point as UTF-8 at Out[W..], returning the new write position.
size_t PutUtf8(std::string& Out, size_t W, char32_t C)
{
    if (C < 0x80)
    {
        Out[W++] = static_cast<char>(C);
    }
    else if (C < 0x800)
    {
        Out[W++] = static_cast<char>(0xC0 | (C >> 6));
        Out[W++] = static_cast<char>(0x80 | (C & 0x3F));
    }
    else if (C < 0x10000)
    {
        Out[W++] = static_cast<char>(0xE0 | (C >> 12));
        Out[W++] = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
        Out[W++] = static_cast<char>(0x80 | (C & 0x3F));
    }
    else
    {
        Out[W++] = static_cast<char>(0xF0 | (C >> 18));
        Out[W++] = static_cast<char>(0x80 | ((C >> 12) & 0x3F));
        Out[W++] = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
        Out[W++] = static_cast<char>(0x80 | (C & 0x3F));
    }
    return W;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// TAttributes

TAttributes::TAttributes(const TAttributes& Other)
    : FItems(Other.FItems.begin(), Other.FItems.begin() + static_cast<std::ptrdiff_t>(Other.FCount)),
      FCount(Other.FCount)
{}

TAttributes& TAttributes::operator=(const TAttributes& Other)
{
    if (this != &Other)
    {
        FItems.assign(Other.FItems.begin(), Other.FItems.begin() + static_cast<std::ptrdiff_t>(Other.FCount));
        FCount = Other.FCount;
    }
    return *this;
}

int TAttributes::IndexOfName(std::string_view Name) const
{
    for (size_t i = 0; i < FCount; ++i)
        if (SameName(FItems[i].first, Name))
            return static_cast<int>(i);
    return -1;
}

std::string TAttributes::Values(std::string_view Name) const
{
    int i = IndexOfName(Name);
    return i < 0 ? std::string() : FItems[static_cast<size_t>(i)].second;
}

std::pair<std::string, std::string>& TAttributes::NewSlot()
{
    if (FCount == FItems.size())
        FItems.emplace_back();
    return FItems[FCount++];
}

void TAttributes::Add(std::string_view Name, std::string_view Value)
{
    auto& slot = NewSlot();
    slot.first.assign(Name);
    slot.second.assign(Value);
}

std::string TAttributes::Text() const
{
    std::string out;
    for (size_t i = 0; i < FCount; ++i)
        out += FItems[i].first + "=" + FItems[i].second + "\r\n";
    return out;
}

// ---------------------------------------------------------------------------------------------------------------
// TStringStack

void TStringStack::Push(std::string_view AString)
{
    if (FCount == FItems.size())
        FItems.emplace_back();
    FItems[FCount++].assign(AString);
}

std::string TStringStack::Pop()
{
    if (FCount == 0)
        throw orb::EListError("List index out of bounds (-1)");
    return FItems[--FCount];
}

// ---------------------------------------------------------------------------------------------------------------
// EVuvareSAX

std::string NestingTooDeepText()
{
    return "Elements nested too deep (the limit is " + std::to_string(MaxXMLDepth) + " levels)";
}

EVuvareSAX::EVuvareSAX(const std::string& ErrorMessage) : orb::Exception("Bad XML. " + ErrorMessage) {}

namespace
{
std::string WindowMessage(std::string_view XML, size_t Position, const std::string& ErrorMessage)
{
    size_t from = Position > 1000 ? Position - 1000 : 1;
    size_t to = std::min(Position, XML.size());
    std::string_view window = to >= from ? XML.substr(from - 1, to - from + 1) : std::string_view();
    return "Bad XML: " + ErrorMessage + "\r\n" + orb::AnsiToUtf8(window);
}
} // namespace

EVuvareSAX::EVuvareSAX(std::string_view XML, size_t Position, const std::string& ErrorMessage)
    : orb::Exception(WindowMessage(XML, Position, ErrorMessage))
{}

// ---------------------------------------------------------------------------------------------------------------
// TVuvareSAX

TVuvareSAX::TVuvareSAX(TSAXStartElementMethod OnStartElement, TSAXEndElementMethod OnEndElement, TSAXTextMethod OnText,
                       TSAXCommentMethod OnComment)
    : OnStartElement(std::move(OnStartElement)), OnEndElement(std::move(OnEndElement)), OnText(std::move(OnText)),
      OnComment(std::move(OnComment))
{}

void TVuvareSAX::BeginOfParsing()
{
    FBuffer.clear();
    FStart = 0;
    FStack.Clear();
    FScan = TScanState{};
    Encoding = enUTF8;
}

void TVuvareSAX::ParseString(std::string_view Data)
{
    if (Data.size() >= kStreamThreshold)
    {
        // Long texts take the same block path as a memory stream would.
        size_t offset = 0;
        ParseBlocks(Data.size(), [&](size_t Wanted) {
            std::string_view block = Data.substr(offset, Wanted);
            offset += block.size();
            return block;
        });
        return;
    }
    if (std::all_of(Data.begin(), Data.end(), IsWhite))
        throw EVuvareSAX("Empty document.");
    BeginOfParsing();
    ParseBlock(Data);
    EndOfParsing();
}

void TVuvareSAX::ParseStream(std::istream& Stream)
{
    uint64_t size = kBlockSize;
    auto here = Stream.tellg();
    if (here != std::streampos(-1))
    {
        Stream.seekg(0, std::ios::end);
        auto end = Stream.tellg();
        Stream.seekg(here);
        if (end != std::streampos(-1))
            size = static_cast<uint64_t>(end);
    }
    std::string block;
    ParseBlocks(size, [&](size_t Wanted) {
        block.resize(Wanted);
        Stream.read(block.data(), static_cast<std::streamsize>(Wanted));
        return std::string_view(block.data(), static_cast<size_t>(Stream.gcount()));
    });
}

template <typename NextBlockFn> void TVuvareSAX::ParseBlocks(uint64_t Size, NextBlockFn&& NextBlock)
{
    if (Size == 0)
        return;
    BeginOfParsing();
    const size_t blockSize = static_cast<size_t>(std::min<uint64_t>(Size, kBlockSize));
    while (true)
    {
        std::string_view block = NextBlock(blockSize);
        ParseBlock(block);
        if (block.size() < blockSize)
            break;
    }
    EndOfParsing();
}

void TVuvareSAX::ParseBlock(std::string_view Data)
{
    // Consumed bytes are dropped once per block rather than after every item.
    if (FStart > 0)
    {
        FBuffer.erase(0, FStart);
        FStart = 0;
    }
    if (!FBuffer.empty())
    {
        FBuffer.append(Data);
        ConsumeItems(FBuffer.data(), FBuffer.size(), FStart);
        return;
    }
    // Nothing is pending: scan the block where it lies and keep only its unconsumed tail.
    size_t pos = 0;
    try
    {
        ConsumeItems(Data.data(), Data.size(), pos);
    }
    catch (...)
    {
        FBuffer.assign(Data.substr(pos));
        throw;
    }
    FBuffer.assign(Data.substr(pos));
}

void TVuvareSAX::ConsumeItems(const char* B, size_t N, size_t& Pos)
{
    while (true)
    {
        size_t length = 0;
        if (!NextItem(B + Pos, N - Pos, length))
            return;
        switch (FTagType)
        {
        case tagPI: {
            OnStartElement(FName, FAttributes);
            int i = FAttributes.IndexOfName("encoding");
            if (i < 0 || FAttributes.ValueFromIndex(i).empty() || SameName(FAttributes.ValueFromIndex(i), "utf-8"))
                Encoding = enUTF8;
            else
                Encoding = enUnknown;
            OnEndElement(FName);
            break;
        }
        case tagStart:
            if (FStack.Count() >= MaxXMLDepth)
                throw EVuvareSAX(NestingTooDeepText() + ": " + FName);
            FStack.Push(FName);
            OnStartElement(FName, FAttributes);
            break;
        case tagEnd:
            if (FStack.FCount == 0 || FStack.FItems[--FStack.FCount] != FName)
                throw EVuvareSAX("Mismatched tag end: " + FName);
            OnEndElement(FName);
            break;
        case tagFull:
            if (FStack.Count() >= MaxXMLDepth)
                throw EVuvareSAX(NestingTooDeepText() + ": " + FName);
            OnStartElement(FName, FAttributes);
            OnEndElement(FName);
            break;
        case tagComment:
            OnComment(FName);
            break;
        case tagText:
            OnText(FName);
            break;
        case tagUnknown:
            return;
        }
        Pos += length;
    }
}

void TVuvareSAX::EndOfParsing()
{
    std::string_view rest = XML();
    if (!std::all_of(rest.begin(), rest.end(), IsWhite))
        throw EVuvareSAX("Unexpected end of document: \r\n" + orb::AnsiToUtf8(rest));
    if (FStack.Count() > 0)
        throw EVuvareSAX("No tag end found: " + FStack.Pop());
}

void TVuvareSAX::SyntaxError(const char* B, size_t N, size_t Pos, const std::string& Message) const
{
    throw EVuvareSAX(std::string_view(B, N), Pos + 1, Message);
}

void TVuvareSAX::ReadName(const char* B, size_t From, size_t To, std::string& Out) const
{
    const char* s = B + From;
    size_t len = To - From;
    size_t high = FirstNonAscii(s, len);
    if (high == len)
    {
        Out.assign(s, len);
        return;
    }
    // Each byte of a name stands for the character of the same code.
    Out.assign(s, high);
    for (size_t i = high; i < len; ++i)
    {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80)
        {
            Out.push_back(static_cast<char>(c));
        }
        else
        {
            Out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

void TVuvareSAX::DecodeText(const char* B, size_t From, size_t To, std::string& Out) const
{
    const char* s = B + From;
    size_t len = To - From;
    size_t high = FirstNonAscii(s, len);
    if (high == len)
    {
        Out.assign(s, len);
        return;
    }
    if (Encoding == enUnknown)
    {
        Out = orb::AnsiToUtf8(std::string_view(s, len));
        return;
    }
    if (orb::IsValidUtf8(std::string_view(s + high, len - high)))
        Out.assign(s, len);
    else
        Out = "<BAD UTF-8: " + orb::AnsiToUtf8(std::string_view(s, len)) + ">";
}

void TVuvareSAX::ReplaceReferences(std::string& Text, const char* B, size_t N, size_t ErrorPos) const
{
    size_t r = Text.find('&');
    if (r == std::string::npos)
        return;
    // Every replacement is shorter than its reference, so the text is rewritten in place.
    size_t w = r;
    char32_t pendingHigh = 0;
    auto flushPending = [&]() {
        if (pendingHigh)
        {
            w = PutUtf8(Text, w, 0xFFFD);
            pendingHigh = 0;
        }
    };
    while (r < Text.size())
    {
        char c = Text[r];
        if (c != '&')
        {
            flushPending();
            Text[w++] = c;
            ++r;
            continue;
        }
        size_t semi = Text.find(';', r + 1);
        if (semi == std::string::npos || semi == r + 1)
            SyntaxError(B, N, ErrorPos, "Can not decode HTML:");
        std::string_view name(Text.data() + r + 1, semi - r - 1);
        char32_t code = 0;
        bool ok = true;
        if (name == "apos")
            code = '\'';
        else if (name == "quot")
            code = '"';
        else if (name == "gt")
            code = '>';
        else if (name == "lt")
            code = '<';
        else if (name == "amp")
            code = '&';
        else if (name.size() >= 2 && name[0] == '#' && name[1] == 'x')
        {
            ok = name.size() == 3 || name.size() == 4;
            for (size_t i = 2; ok && i < name.size(); ++i)
            {
                int d = HexDigit(name[i]);
                ok = d >= 0;
                code = code * 16 + static_cast<char32_t>(d);
            }
        }
        else if (name.size() >= 2 && name[0] == '#')
        {
            uint64_t value = 0;
            for (size_t i = 1; ok && i < name.size(); ++i)
            {
                ok = name[i] >= '0' && name[i] <= '9';
                value = value * 10 + static_cast<uint64_t>(name[i] - '0');
                ok = ok && value <= 0x7FFFFFFFULL;
            }
            // One 16-bit character: the code is taken modulo 65536.
            code = static_cast<char32_t>(value % 65536);
        }
        else
        {
            ok = false;
        }
        if (!ok)
            SyntaxError(B, N, ErrorPos, "Can not decode HTML:");
        r = semi + 1;
        // A character outside the 16-bit range arrives as two references, a high and a low surrogate.
        if (code >= 0xD800 && code <= 0xDBFF)
        {
            flushPending();
            pendingHigh = code;
            continue;
        }
        if (code >= 0xDC00 && code <= 0xDFFF)
        {
            if (pendingHigh)
            {
                code = 0x10000 + ((pendingHigh - 0xD800) << 10) + (code - 0xDC00);
                pendingHigh = 0;
            }
            else
            {
                code = 0xFFFD;
            }
        }
        flushPending();
        w = PutUtf8(Text, w, code);
    }
    flushPending();
    Text.resize(w);
}

namespace
{

constexpr size_t kLinearDuplicateCheck = 16;

/// Name with every character case-folded as SameText compares them. Names hold only characters up to U+00FF, one or
/// two UTF-8 bytes each (see ReadName).
std::u32string FoldedName(std::string_view Name)
{
    std::u32string out;
    out.reserve(Name.size());
    for (size_t i = 0; i < Name.size(); ++i)
    {
        char32_t c = static_cast<unsigned char>(Name[i]);
        if (c >= 0x80 && i + 1 < Name.size())
            c = ((c & 0x1F) << 6) | (static_cast<unsigned char>(Name[++i]) & 0x3F);
        out.push_back(orb::FoldCase(c));
    }
    return out;
}

} // namespace

bool TVuvareSAX::IsDuplicateAttribute()
{
    const size_t count = FAttributes.FCount;
    const std::string& name = FAttributes.FItems[count - 1].first;
    if (count <= kLinearDuplicateCheck)
    {
        for (size_t i = 0; i + 1 < count; ++i)
            if (SameName(FAttributes.FItems[i].first, name))
                return true;
        return false;
    }
    // A tag with a great many attributes is checked through a set, so that the check stays linear.
    if (count == kLinearDuplicateCheck + 1)
    {
        FAttributeNames.clear();
        for (size_t i = 0; i + 1 < count; ++i)
            FAttributeNames.insert(FoldedName(FAttributes.FItems[i].first));
    }
    return !FAttributeNames.insert(FoldedName(name)).second;
}

void TVuvareSAX::FinishText(const char* B, size_t N, size_t Start, size_t End)
{
    std::string_view run(B + Start, End - Start);
    if (run.find("![CDATA[") != std::string_view::npos)
    {
        size_t from = Start + 8;
        size_t to = End;
        if (to - from >= 3 && run.substr(run.size() - 3) == "]]>")
            to -= 3;
        DecodeText(B, from, to, FName);
    }
    else
    {
        DecodeText(B, Start, End, FName);
        ReplaceReferences(FName, B, N, End);
    }
    FTagType = tagText;
}

namespace
{
enum TOpening : uint8_t
{
    opStart,
    opEnd,
    opPI
};
} // namespace

bool TVuvareSAX::NextItem(const char* B, size_t N, size_t& Pos)
{
    // An unfinished item goes on where its scan stopped; the result is the same as scanning it again from its first
    // byte, without the cost of doing that for every block a long item spans.
    TScanState s = FScan.Pending ? FScan : TScanState{};
    FScan.Pending = false;
    size_t p = s.P;
    auto suspend = [&](TScanPhase Phase) {
        s.Pending = true;
        s.Phase = Phase;
        s.P = p;
        FScan = s;
        return false;
    };

    TScanPhase phase = s.Phase;
    while (true)
    {
        switch (phase)
        {
        case phLead:
            while (p < N && IsWhite(B[p]))
                ++p;
            if (p >= N)
                return suspend(phLead);
            if (B[p] != '<')
            {
                s.Mark = p;
                phase = phText;
                continue;
            }
            ++p;
            [[fallthrough]];
        case phOpen: {
            if (p >= N)
                return suspend(phOpen);
            const size_t have = N - p;
            if (B[p] == '?')
            {
                s.Open = opPI;
                ++p;
            }
            else if (B[p] == '/')
            {
                s.Open = opEnd;
                ++p;
            }
            else if (have < 8 &&
                     (std::memcmp(B + p, "![CDATA[", have) == 0 || (have < 3 && std::memcmp(B + p, "!--", have) == 0)))
            {
                // Too few bytes yet to tell a CDATA section or a comment from a tag whose name starts with "!".
                return suspend(phOpen);
            }
            else if (have >= 8 && std::memcmp(B + p, "![CDATA[", 8) == 0)
            {
                s.Mark = p;
                phase = phText;
                continue;
            }
            else if (have >= 3 && std::memcmp(B + p, "!--", 3) == 0)
            {
                p += 3;
                s.Mark = p;
                phase = phComment;
                continue;
            }
            else
            {
                s.Open = opStart;
            }
            s.Mark = p;
            [[fallthrough]];
        }
        case phName:
            for (;; ++p)
            {
                if (p >= N)
                    return suspend(phName);
                uint8_t cls = ClassOf(B[p]);
                if (cls & (kWhite | kTagNameEnd))
                    break;
                if (cls & kTagNameBad)
                    SyntaxError(B, N, p);
                if (p - s.Mark > kMaxNameLength)
                    SyntaxError(B, N, p);
            }
            if (p == s.Mark)
                SyntaxError(B, N, p);
            if (s.Open == opPI)
            {
                FName.assign(1, '?');
                std::string name;
                ReadName(B, s.Mark, p, name);
                FName += name;
            }
            else
            {
                ReadName(B, s.Mark, p, FName);
            }
            FAttributes.Clear();
            [[fallthrough]];
        case phAttrSep:
            if (p >= N)
                return suspend(phAttrSep);
            if (!(ClassOf(B[p]) & (kWhite | kTagNameEnd)))
                SyntaxError(B, N, p);
            [[fallthrough]];
        case phAttrWhite:
            while (p < N && IsWhite(B[p]))
                ++p;
            if (p >= N)
                return suspend(phAttrWhite);
            if (ClassOf(B[p]) & kTagNameEnd)
            {
                phase = phTagEnd;
                continue;
            }
            s.Mark = p;
            [[fallthrough]];
        case phAttrName:
            for (;; ++p)
            {
                if (p >= N)
                    return suspend(phAttrName);
                const char c = B[p];
                if (c == '=')
                    break;
                const uint8_t cls = ClassOf(c);
                if (cls & kAttrNameBad)
                    SyntaxError(B, N, p);
                if (cls & kWhite)
                    break;
            }
            s.AttrEnd = p;
            [[fallthrough]];
        case phAttrEq: {
            // Blanks may stand between the name and "=", but the name itself has none.
            while (p < N && IsWhite(B[p]))
                ++p;
            if (p >= N)
                return suspend(phAttrEq);
            if (B[p] != '=')
                SyntaxError(B, N, p);
            ++p;
            auto& slot = FAttributes.NewSlot();
            ReadName(B, s.Mark, s.AttrEnd, slot.first);
            if (IsDuplicateAttribute())
                SyntaxError(B, N, p, "Duplicate attribute: ");
            [[fallthrough]];
        }
        case phValueQuote:
            while (p < N && IsWhite(B[p]))
                ++p;
            if (p >= N)
                return suspend(phValueQuote);
            if (B[p] != '"')
                SyntaxError(B, N, p);
            ++p;
            s.Mark = p;
            [[fallthrough]];
        case phValue: {
            const void* quote = std::memchr(B + p, '"', N - p);
            if (!quote)
            {
                p = N;
                return suspend(phValue);
            }
            const size_t valueEnd = static_cast<size_t>(static_cast<const char*>(quote) - B);
            // The value belongs to the last slot, made when its "=" was read.
            auto& value = FAttributes.FItems[FAttributes.FCount - 1].second;
            DecodeText(B, s.Mark, valueEnd, value);
            ReplaceReferences(value, B, N, valueEnd);
            p = valueEnd + 1;
            phase = phAttrSep;
            continue;
        }
        case phTagEnd: {
            // ">", "/>" or "?>", which must agree with the opening.
            size_t last;
            TVuvareSAXTagType type;
            if (B[p] == '>')
            {
                last = p;
                type = s.Open == opStart ? tagStart : s.Open == opEnd ? tagEnd : tagUnknown;
            }
            else
            {
                if (p + 1 >= N)
                    return suspend(phTagEnd);
                last = p + 1;
                if (B[p] == '?' && B[p + 1] == '>')
                    type = s.Open == opPI ? tagPI : tagUnknown;
                else if (B[p] == '/' && B[p + 1] == '>')
                    type = s.Open == opStart ? tagFull : tagUnknown;
                else
                    SyntaxError(B, N, last);
            }
            if (type == tagUnknown)
                SyntaxError(B, N, last);
            if (type == tagEnd && FAttributes.Count() > 0)
                SyntaxError(B, N, last);
            FTagType = type;
            Pos = last + 1;
            return true;
        }
        case phText: {
            const void* lt = std::memchr(B + p, '<', N - p);
            if (!lt)
            {
                p = N;
                return suspend(phText);
            }
            const size_t end = static_cast<size_t>(static_cast<const char*>(lt) - B);
            FinishText(B, N, s.Mark, end);
            Pos = end;
            return true;
        }
        case phComment: {
            const size_t close = std::string_view(B, N).find("-->", p);
            if (close == std::string_view::npos)
            {
                // A closing "-->" may still begin in the last two bytes.
                p = std::max(p, N >= 2 ? N - 2 : size_t{0});
                return suspend(phComment);
            }
            DecodeText(B, s.Mark, close, FName);
            FTagType = tagComment;
            Pos = close + 3;
            return true;
        }
        }
    }
}

} // namespace orb::xml
