#include "base/Base64.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(Base64, KnownTextsBothWaysAndEveryByteValue)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
    };
    for (const auto& [bytes, text] : cases)
    {
        EXPECT_EQ(orb::Base64Encode(bytes), text);
        EXPECT_EQ(orb::Base64Decode(text), bytes) << text;
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    EXPECT_EQ(orb::Base64Decode(orb::Base64Encode(all)), all);
}

TEST(Base64, MalformedTextsAreRefusedWithTheReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Zm9", "wrong length"},       {"Zm 9v", "wrong length"}, {"Zm9v\n", "wrong length"},
        {"Z===", "misplaced padding"}, {"Zg=a", "bad character"}, {"Zm9*", "bad character"},
    };
    for (const auto& [text, reason] : cases)
    {
        try
        {
            orb::Base64Decode(text, "The key");
            ADD_FAILURE() << text << " accepted";
        }
        catch (const orb::EConvertError& e)
        {
            EXPECT_EQ(e.Message, std::string("The key is not valid Base64: ") + reason) << text;
        }
    }
}

} // namespace
