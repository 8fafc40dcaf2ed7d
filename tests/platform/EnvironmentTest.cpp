#include "platform/Environment.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

using namespace orb::platform;

TEST(Environment, SetGetAndRemoveKeepEveryByte)
{
    const std::string value = "a=1\r\nb=\xD0\xAF\r\n\t x\r\n";
    SetEnvironmentValue("ORB_TEST_ENV", value);
    EXPECT_EQ(GetEnvironmentValue("ORB_TEST_ENV"), value);
    SetEnvironmentValue("ORB_TEST_ENV", "");
    EXPECT_EQ(GetEnvironmentValue("ORB_TEST_ENV"), std::string());
    RemoveEnvironmentValue("ORB_TEST_ENV");
    EXPECT_EQ(GetEnvironmentValue("ORB_TEST_ENV"), std::nullopt);
}

TEST(Environment, InvalidNamesAndValuesRaiseOSError)
{
    EXPECT_THROW(SetEnvironmentValue("A=B", "x"), orb::EOSError);
    EXPECT_THROW(SetEnvironmentValue("", "x"), orb::EOSError);
    EXPECT_THROW(SetEnvironmentValue("ORB_TEST_NUL", std::string("a\0b", 3)), orb::EOSError);
    EXPECT_EQ(GetEnvironmentValue("ORB_TEST_NUL"), std::nullopt);
}
