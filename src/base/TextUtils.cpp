#include "base/TextUtils.h"

#include "base/Exceptions.h"

#include <limits>

namespace orb
{

namespace
{

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes map to the C1 controls of the same code,
// as the Windows conversion does, so that every byte survives a round trip.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int UnicodeToCp1252(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (Cp1252High[i] == cp)
            return 0x80 + i;
    return -1;
}

// Decodes one code point at Pos; returns false for a malformed sequence (Pos then points past its first byte).
bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& cp)
{
    auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80)
    {
        cp = b0;
        ++pos;
        return true;
    }
    int extra;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF)
    {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    }
    else if (b0 >= 0xE0 && b0 <= 0xEF)
    {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    }
    else if (b0 >= 0xF0 && b0 <= 0xF4)
    {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    }
    else
    {
        ++pos;
        return false;
    }
    size_t i = pos + 1;
    for (int k = 0; k < extra; ++k, ++i)
    {
        if (i >= text.size())
        {
            pos = i;
            return false;
        }
        auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80)
        {
            pos = i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos = i;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp >= 0x10000)
    {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
    else
        out.push_back(static_cast<char16_t>(cp));
}

char32_t ToUpperCp(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x131)
        return 'I';
    if ((c >= 0x101 && c <= 0x137 && (c & 1)) || (c >= 0x13A && c <= 0x148 && !(c & 1)) ||
        (c >= 0x14B && c <= 0x177 && (c & 1)) || (c >= 0x17A && c <= 0x17E && !(c & 1)))
        return c - 1;
    if (c == 0x3C2)
        return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3CB)
        return c - 32;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 37;
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return c - 63;
    if (c >= 0x430 && c <= 0x44F)
        return c - 32;
    if (c >= 0x450 && c <= 0x45F)
        return c - 80;
    if (c == 0x4CF)
        return 0x4C0;
    if ((c >= 0x461 && c <= 0x481 && (c & 1)) || (c >= 0x48B && c <= 0x4BF && (c & 1)) ||
        (c >= 0x4C2 && c <= 0x4CE && !(c & 1)) || (c >= 0x4D1 && c <= 0x52F && (c & 1)))
        return c - 1;
    if (c >= 0x561 && c <= 0x586)
        return c - 48;
    if ((c >= 0x1E01 && c <= 0x1E95 && (c & 1)) || (c >= 0x1EA1 && c <= 0x1EFF && (c & 1)))
        return c - 1;
    return c;
}

char32_t ToLowerCp(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x130)
        return 'i';
    if ((c >= 0x100 && c <= 0x137 && !(c & 1)) || (c >= 0x139 && c <= 0x148 && (c & 1)) ||
        (c >= 0x14A && c <= 0x177 && !(c & 1)) || (c >= 0x179 && c <= 0x17E && (c & 1)))
        return c + 1;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 63;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c == 0x4C0)
        return 0x4CF;
    if ((c >= 0x460 && c <= 0x481 && !(c & 1)) || (c >= 0x48A && c <= 0x4BF && !(c & 1)) ||
        (c >= 0x4C1 && c <= 0x4CE && (c & 1)) || (c >= 0x4D0 && c <= 0x52F && !(c & 1)))
        return c + 1;
    if (c >= 0x531 && c <= 0x556)
        return c + 48;
    if ((c >= 0x1E00 && c <= 0x1E95 && !(c & 1)) || (c >= 0x1EA0 && c <= 0x1EFF && !(c & 1)))
        return c + 1;
    return c;
}

template <typename Map> std::string MapCase(std::string_view text, Map map)
{
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size())
    {
        size_t start = pos;
        char32_t cp;
        if (DecodeUtf8(text, pos, cp))
            AppendUtf8(out, map(cp));
        else
            out.append(text.substr(start, pos - start)); // malformed bytes pass through untouched
    }
    return out;
}

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

template <typename Int> bool ParseInteger(std::string_view text, Int& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$')
    {
        base = 16;
        ++i;
    }
    else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    // Accumulate as a negative number so that the minimum value converts too.
    using Wide = long long;
    Wide acc = 0;
    const Wide limit = negative ? static_cast<Wide>(std::numeric_limits<Int>::min())
                                : -static_cast<Wide>(std::numeric_limits<Int>::max());
    for (; i < text.size(); ++i)
    {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        if (acc < (limit + digit) / base)
            return false;
        acc = acc * base - digit;
        if (acc < limit)
            return false;
    }
    value = static_cast<Int>(negative ? acc : -acc);
    return true;
}

} // namespace

void AppendUtf8(std::string& Out, char32_t CodePoint)
{
    char32_t cp = CodePoint;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80)
        Out.push_back(static_cast<char>(cp));
    else if (cp < 0x800)
    {
        Out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        Out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        Out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        Out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view Text)
{
    std::u16string out;
    out.reserve(Text.size());
    size_t pos = 0;
    while (pos < Text.size())
    {
        char32_t cp;
        if (DecodeUtf8(Text, pos, cp))
            AppendUtf16(out, cp);
        else
            out.push_back(0xFFFD);
    }
    return out;
}

bool TryUtf8ToUtf16(std::string_view Text, std::u16string& Out)
{
    std::u16string out;
    out.reserve(Text.size());
    size_t pos = 0;
    while (pos < Text.size())
    {
        char32_t cp;
        if (!DecodeUtf8(Text, pos, cp))
            return false;
        AppendUtf16(out, cp);
    }
    Out = std::move(out);
    return true;
}

bool ContainsControlCharacters(std::string_view Text)
{
    for (size_t i = 0; i < Text.size(); ++i)
    {
        auto c = static_cast<unsigned char>(Text[i]);
        if (c < 0x20 || c == 0x7F)
            return true;
        // U+0080 to U+009F are encoded as C2 80 to C2 9F.
        if (c == 0xC2 && i + 1 < Text.size() && static_cast<unsigned char>(Text[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(Text[i + 1]) >= 0x80)
            return true;
    }
    return false;
}

bool IsValidUtf8(std::string_view Text)
{
    size_t pos = 0;
    while (pos < Text.size())
    {
        // ASCII runs are the common case; skip them without decoding.
        if (static_cast<unsigned char>(Text[pos]) < 0x80)
        {
            ++pos;
            continue;
        }
        char32_t cp;
        if (!DecodeUtf8(Text, pos, cp))
            return false;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view Text)
{
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i)
    {
        char32_t c = Text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 && Text[i + 1] <= 0xDFFF)
        {
            c = 0x10000 + ((c - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);
    }
    return out;
}

size_t Utf16Length(std::string_view Text)
{
    size_t count = 0;
    size_t pos = 0;
    while (pos < Text.size())
    {
        char32_t cp;
        count += (DecodeUtf8(Text, pos, cp) && cp >= 0x10000) ? 2 : 1;
    }
    return count;
}

std::string AnsiToUtf8(std::string_view Bytes)
{
    std::string out;
    out.reserve(Bytes.size() + Bytes.size() / 4);
    for (char ch : Bytes)
    {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else if (b < 0xA0)
            AppendUtf8(out, Cp1252High[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view Text, char Replacement)
{
    std::string out;
    out.reserve(Text.size());
    size_t pos = 0;
    while (pos < Text.size())
    {
        char32_t cp;
        if (!DecodeUtf8(Text, pos, cp))
        {
            out.push_back(Replacement);
            continue;
        }
        int b = UnicodeToCp1252(cp);
        out.push_back(b < 0 ? Replacement : static_cast<char>(b));
    }
    return out;
}

std::string Utf8ToAscii(std::string_view Text, char Replacement)
{
    std::string out;
    out.reserve(Text.size());
    size_t pos = 0;
    while (pos < Text.size())
    {
        char32_t cp;
        bool ok = DecodeUtf8(Text, pos, cp);
        out.push_back(ok && cp < 0x80 ? static_cast<char>(cp) : Replacement);
    }
    return out;
}

std::string Trim(std::string_view Text)
{
    size_t b = 0, e = Text.size();
    while (b < e && IsBlank(Text[b]))
        ++b;
    while (e > b && IsBlank(Text[e - 1]))
        --e;
    return std::string(Text.substr(b, e - b));
}

std::string TrimLeft(std::string_view Text)
{
    size_t b = 0;
    while (b < Text.size() && IsBlank(Text[b]))
        ++b;
    return std::string(Text.substr(b));
}

std::string TrimRight(std::string_view Text)
{
    size_t e = Text.size();
    while (e > 0 && IsBlank(Text[e - 1]))
        --e;
    return std::string(Text.substr(0, e));
}

char32_t FoldCase(char32_t CodePoint)
{
    if (CodePoint == 0x3C2) // final sigma compares equal to sigma
        return 0x3C3;
    if (CodePoint == 0x131) // dotless i compares equal to i
        return 'i';
    return ToLowerCp(CodePoint);
}

std::string UpperCase(std::string_view Text)
{
    return MapCase(Text, ToUpperCp);
}

std::string LowerCase(std::string_view Text)
{
    return MapCase(Text, ToLowerCp);
}

int CompareText(std::string_view A, std::string_view B)
{
    size_t pa = 0, pb = 0;
    while (pa < A.size() && pb < B.size())
    {
        auto ca = static_cast<unsigned char>(A[pa]);
        auto cb = static_cast<unsigned char>(B[pb]);
        char32_t a, b;
        if (ca < 0x80 && cb < 0x80)
        {
            a = ToLowerCp(ca);
            b = ToLowerCp(cb);
            ++pa;
            ++pb;
        }
        else
        {
            size_t sa = pa, sb = pb;
            a = DecodeUtf8(A, pa, a) ? FoldCase(a) : 0x110000 + static_cast<unsigned char>(A[sa]);
            b = DecodeUtf8(B, pb, b) ? FoldCase(b) : 0x110000 + static_cast<unsigned char>(B[sb]);
        }
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (pa < A.size())
        return 1;
    if (pb < B.size())
        return -1;
    return 0;
}

bool SameText(std::string_view A, std::string_view B)
{
    return CompareText(A, B) == 0;
}

bool TryStrToInt(std::string_view Text, int32_t& Value)
{
    return ParseInteger(Text, Value);
}

bool TryStrToInt64(std::string_view Text, int64_t& Value)
{
    return ParseInteger(Text, Value);
}

int32_t StrToInt(std::string_view Text)
{
    int32_t v;
    if (!ParseInteger(Text, v))
        throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
    return v;
}

int32_t StrToIntDef(std::string_view Text, int32_t Default)
{
    int32_t v;
    return ParseInteger(Text, v) ? v : Default;
}

int64_t StrToInt64(std::string_view Text)
{
    int64_t v;
    if (!ParseInteger(Text, v))
        throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
    return v;
}

std::string StringReplaceAll(std::string_view Text, std::string_view From, std::string_view To)
{
    if (From.empty())
        return std::string(Text);
    std::string out;
    out.reserve(Text.size());
    size_t pos = 0;
    while (true)
    {
        size_t hit = Text.find(From, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(Text.substr(pos, hit - pos));
        out.append(To);
        pos = hit + From.size();
    }
    out.append(Text.substr(pos));
    return out;
}

} // namespace orb
