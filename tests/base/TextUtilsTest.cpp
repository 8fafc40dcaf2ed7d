#include "base/TextUtils.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

using namespace orb;

TEST(TextUtils, Utf8AndUtf16RoundTripIncludingSupplementaryPlanes)
{
    const std::string samples[] = {"", "plain", "Grüße", "Привет, мир", "日本語", "emoji \xF0\x9F\x98\x80 end"};
    for (const auto& s : samples)
    {
        auto u16 = Utf8ToUtf16(s);
        EXPECT_EQ(Utf16ToUtf8(u16), s);
        EXPECT_EQ(Utf16Length(s), u16.size()) << s;
    }
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
}

TEST(TextUtils, RejectsMalformedUtf8)
{
    const std::string bad[] = {
        "\xC3",             // truncated
        "\xC0\xAF",         // overlong slash
        "\xED\xA0\x80",     // surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\x80",             // lone continuation
        "ok\xFF",
    };
    for (const auto& s : bad)
    {
        std::u16string out = u"unchanged";
        EXPECT_FALSE(IsValidUtf8(s)) << s;
        EXPECT_FALSE(TryUtf8ToUtf16(s, out)) << s;
        EXPECT_EQ(out, u"unchanged");
    }
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
}

TEST(TextUtils, Windows1252BothDirections)
{
    struct Case
    {
        std::string Ansi;
        std::string Utf8;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"\x80", "\xE2\x82\xAC"}, // euro sign
        {"\x9F", "\xC5\xB8"},     // Y with diaeresis
        {"\xE4\xF6\xFC", "\xC3\xA4\xC3\xB6\xC3\xBC"},
        {"\x81", "\xC2\x81"}, // unassigned byte keeps its code
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(AnsiToUtf8(c.Ansi), c.Utf8);
        EXPECT_EQ(Utf8ToAnsi(c.Utf8), c.Ansi);
    }
    EXPECT_EQ(Utf8ToAnsi("Привет"), "??????");
    EXPECT_EQ(Utf8ToAscii("Grüße \xF0\x9F\x98\x80"), "Gr??e ?");
    // Every byte survives the trip through UTF-8.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

#ifdef _WIN32
#include <windows.h>

namespace
{

/// Bytes of code page 1252 to UTF-8 through the system.
std::string SystemAnsiToUtf8(const std::string& Bytes)
{
    std::wstring wide(Bytes.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(1252, 0, Bytes.data(), static_cast<int>(Bytes.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    std::string out(wide.size() * 3, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                       out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

/// UTF-8 to code page 1252 through the system, without its "best fit" look-alikes.
std::string SystemUtf8ToAnsi(const std::string& Text)
{
    std::wstring wide(Text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    std::string out(wide.size(), '\0');
    out.resize(
        static_cast<size_t>(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                                out.data(), static_cast<int>(out.size()), "?", nullptr)));
    return out;
}

} // namespace

TEST(TextUtils, Windows1252AgreesWithTheSystemsCodePage)
{
    for (int i = 0; i < 256; ++i)
    {
        const std::string byte(1, static_cast<char>(i));
        EXPECT_EQ(AnsiToUtf8(byte), SystemAnsiToUtf8(byte)) << "byte " << i;
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(byte)), SystemUtf8ToAnsi(SystemAnsiToUtf8(byte))) << "byte " << i;
    }
    // Characters in and outside the code page: the missing ones replaced, never by a look-alike ("best fit" would
    // turn L-stroke into L).
    for (const char* text : {"Łódź", "Привет", "中文", "™–“", "Ａ", "a\u0301"})
        EXPECT_EQ(Utf8ToAnsi(text), SystemUtf8ToAnsi(text)) << text;
}
#endif

TEST(TextUtils, TrimRemovesBlanksAndControls)
{
    EXPECT_EQ(Trim(" \t\r\n x y \x01\x1F"), "x y");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a \n"), "  a");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
}

TEST(TextUtils, CaseInsensitiveComparisonCoversNonAsciiLetters)
{
    struct Case
    {
        const char* A;
        const char* B;
        bool Same;
    };
    const Case cases[] = {
        {"Entry", "entry", true}, {"ПРИВЕТ", "привет", true}, {"Ёлка", "ёЛКА", true},
        {"ÄÖÜ", "äöü", true},     {"ŁÓDŹ", "łódź", true},     {"ΣΟΦΙΑ", "σοφια", true},
        {"Ѣ", "ѣ", true},         {"abc", "abd", false},      {"abc", "abcd", false},
        {"", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameText(c.A, c.B), c.Same) << c.A << " / " << c.B;
    EXPECT_LT(CompareText("apple", "Banana"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_EQ(UpperCase("straße ёж"), "STRAßE ЁЖ");
    EXPECT_EQ(LowerCase("ÀÉÎ ПРИВЕТ"), "àéî привет");
}

TEST(TextUtils, StrToIntAcceptsDecimalAndHexAndRejectsTheRest)
{
    struct Case
    {
        const char* Text;
        bool Ok;
        int32_t Value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"-17", true, -17},
        {"+5", true, 5},
        {"  7", true, 7},
        {"$1F", true, 31},
        {"0x10", true, 16},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"", false, 0},
        {"1.5", false, 0},
        {"12 ", false, 0},
        {"abc", false, 0},
        {"-", false, 0},
        {"0x", false, 0},
    };
    for (const auto& c : cases)
    {
        int32_t v = -999;
        EXPECT_EQ(TryStrToInt(c.Text, v), c.Ok) << c.Text;
        if (c.Ok)
        {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
    try
    {
        StrToInt("x1");
        FAIL() << "no error";
    }
    catch (const EConvertError& e)
    {
        EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
        EXPECT_EQ(e.ClassName(), "EConvertError");
    }
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToIntDef("zz", 3), 3);
}

TEST(TextUtils, StringReplaceAll)
{
    EXPECT_EQ(StringReplaceAll("a\\b\\c", "\\", "/"), "a/b/c");
    EXPECT_EQ(StringReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(StringReplaceAll("abc", "", "x"), "abc");
}
