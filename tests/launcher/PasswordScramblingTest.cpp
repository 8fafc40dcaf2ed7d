#include "launcher/PasswordScrambling.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <gtest/gtest.h>

using orb::ScrambleSavedPassword;

namespace
{

std::string Repeat(const std::string& Unit, size_t Count)
{
    std::string s;
    for (size_t i = 0; i < Count; ++i)
        s += Unit;
    return s;
}

} // namespace

TEST(ScrambleSavedPassword, DecodesTheStoredTextOfAnotherImplementation)
{
    // Salt 0A 1B 2C 3D, filler 'x', password "secret1".
    EXPECT_EQ(ScrambleSavedPassword("ChssPVTkAxVUmkWdIoopKyfMzqzAR6ndNqyNQHEh2IV4WTpS", false), "secret1");
}

TEST(ScrambleSavedPassword, RoundTripsPasswordsOfEveryLengthAndScript)
{
    struct Case
    {
        std::string Password;
        size_t StoredLength; // 0: not checked
    };
    const Case cases[] = {
        {"", 48},
        {"a", 48},
        {Repeat("p", 31), 48},
        {Repeat("p", 32), 4 * ((4 + 33 + 2) / 3)},
        {Repeat("q", 40), 4 * ((4 + 41 + 2) / 3)},
        {Repeat("r", 127), 4 * ((4 + 128 + 2) / 3)},
        {Repeat("s", 128), 4 * ((4 + 2 + 128 + 2) / 3)},
        {"\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C", 4 * ((4 + 32 + 6 + 2) / 3)}, // Cyrillic "Пароль"
        {"\xF0\x9F\x94\x91key\xF0\x9D\x84\x9E", 0},                                       // outside the BMP
        {Repeat("\xF0\x9F\x98\x80", 20), 0},
        {"with = and \" and < and \r\n", 0},
    };
    for (const auto& c : cases)
    {
        std::string stored = ScrambleSavedPassword(c.Password, true);
        if (c.StoredLength)
        {
            EXPECT_EQ(stored.size(), c.StoredLength) << c.Password;
        }
        EXPECT_EQ(stored.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(ScrambleSavedPassword(stored, false), c.Password) << c.Password.size();
    }
}

TEST(ScrambleSavedPassword, EveryEncodingUsesAFreshSalt)
{
    std::string a = ScrambleSavedPassword("secret", true);
    std::string b = ScrambleSavedPassword("secret", true);
    EXPECT_NE(a, b);
    EXPECT_EQ(ScrambleSavedPassword(a, false), "secret");
    EXPECT_EQ(ScrambleSavedPassword(b, false), "secret");
}

TEST(ScrambleSavedPassword, EmptyStoredTextIsAnEmptyPassword)
{
    EXPECT_EQ(ScrambleSavedPassword("", false), "");
}

TEST(ScrambleSavedPassword, UndecodableStoredTextRaisesConvertError)
{
    for (const char* bad : {"abc", "ChssPVTkAxVUmkWdIoopKyfMzqzAR6ndNqyNQHEh2IV4WTp", "Chss PVTk", "Chss*VTk", "AAAA",
                            "AAA=", "AA==", "====", "A===", "AA=A", "ChssPVTk\n", "Q==="})
        EXPECT_THROW(ScrambleSavedPassword(bad, false), orb::EConvertError) << bad;
}

TEST(ScrambleSavedPassword, WrongKeyGivesMeaninglessTextNotACrash)
{
    std::string bytes = orb::Base64Decode("ChssPVTkAxVUmkWdIoopKyfMzqzAR6ndNqyNQHEh2IV4WTpS");
    for (int i = 0; i < 256; ++i)
    {
        bytes[0] = static_cast<char>(i); // another salt: another keystream
        std::string decoded = ScrambleSavedPassword(orb::Base64Encode(bytes), false);
        EXPECT_TRUE(orb::IsValidUtf8(decoded));
    }
}

TEST(Base64, EncodesAndDecodesTheStandardAlphabetWithPadding)
{
    struct Case
    {
        std::string Plain, Encoded;
    };
    const Case cases[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                          {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xFB\xFF\x00", 3), "+/8A"}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(orb::Base64Encode(c.Plain), c.Encoded);
        EXPECT_EQ(orb::Base64Decode(c.Encoded), c.Plain);
    }
}

TEST(RC4, MatchesThePublishedTestVector)
{
    // Key "Key", plain text "Plaintext": BBF316E8D940AF0AD3.
    EXPECT_EQ(orb::RC4("Key", "Plaintext"), "\xBB\xF3\x16\xE8\xD9\x40\xAF\x0A\xD3");
    EXPECT_EQ(orb::RC4("Key", orb::RC4("Key", "Plaintext")), "Plaintext");
}
