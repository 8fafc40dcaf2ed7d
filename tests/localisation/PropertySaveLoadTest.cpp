#include "localisation/PropertySaveLoad.h"

#include "localisation/StringValues.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

struct PropertySaveLoadFixture : ::testing::Test
{
    TempDir Dir;
    std::string File = (Dir / "values.ini").string();

    TPropertySaveLoad With(const std::string& Text)
    {
        WriteBytes(File, Text);
        return TPropertySaveLoad(File, smIni32);
    }
};

} // namespace

using PropertySaveLoad = PropertySaveLoadFixture;

TEST_F(PropertySaveLoad, ReadsIntegersInDecimalAndHexadecimal)
{
    auto s = With("[S]\nhex=0x1F\nHEX=0X1f\ndollar=$10\ndec=-42\nbad=12abc\nshort=0x\nempty=\n");
    struct Case
    {
        const char* Name;
        int32_t Expected;
    } cases[] = {{"hex", 31}, {"HEX", 31},  {"dollar", 16}, {"dec", -42},
                 {"bad", 7},  {"short", 7}, {"empty", 7},   {"missing", 7}};
    for (const auto& c : cases)
        EXPECT_EQ(s.ReadInteger("S", c.Name, 7), c.Expected) << c.Name;
}

TEST_F(PropertySaveLoad, ReadsBooleansAsAnyNonZeroInteger)
{
    auto s = With("[S]\ntwo=2\nzero=0\ntext=yes\n");
    EXPECT_TRUE(s.ReadBoolean("S", "two", false));
    EXPECT_FALSE(s.ReadBoolean("S", "zero", true));
    EXPECT_TRUE(s.ReadBoolean("S", "text", true));
    EXPECT_FALSE(s.ReadBoolean("S", "text", false));
    s.WriteBoolean("S", "flag", true);
    EXPECT_EQ(s.ReadString("S", "flag", ""), "1");
}

TEST_F(PropertySaveLoad, FloatsRoundTripAndFallBackToTheDefault)
{
    auto s = With("[S]\nbad=1.5x\n");
    for (double v : {0.1, -2.5e-300, 1e21, 3.0})
    {
        s.WriteFloat("S", "f", v);
        EXPECT_EQ(s.ReadFloat("S", "f", 0), v);
    }
    EXPECT_EQ(s.ReadString("S", "f", ""), "3");
    EXPECT_EQ(s.ReadFloat("S", "bad", 9.5), 9.5);
}

TEST_F(PropertySaveLoad, SplitsStringListsAtTheSeparator)
{
    auto s = With("[S]\nlist= a ; b;;c ; \ndefault=\n");
    EXPECT_EQ(s.ReadStrings("S", "list", ";", {}), (TStrings{"a", "b", "", "c"}));
    EXPECT_EQ(s.ReadStrings("S", "missing", ";", {"x", "y"}), (TStrings{"x", "y"}));
    s.WriteStrings("S", "out", " || ", {"one", "two"});
    EXPECT_EQ(s.ReadString("S", "out", ""), "one || two");
    EXPECT_EQ(s.ReadStrings("S", "out", "||", {}), (TStrings{"one", "two"}));
}

TEST_F(PropertySaveLoad, ChangingTheFileNameRereadsOnlyWhenItDiffers)
{
    auto s = With("[S]\nk=first\n");
    WriteBytes(Dir / "other.ini", "[S]\nk=second\n");
    s.WriteString("S", "unsaved", "1");
    s.SetFileName(File);
    EXPECT_EQ(s.ReadString("S", "unsaved", ""), "1");
    s.SetFileName((Dir / "other.ini").string());
    EXPECT_EQ(s.ReadString("S", "k", ""), "second");
    EXPECT_EQ(s.ReadString("S", "unsaved", ""), "");
}

TEST(StringValues, LooksUpIgnoringCaseAndKeepsInsertionOrder)
{
    TStringValues values;
    values.Add("Hello", "1");
    values.Add("Привет", "2");
    values.Add("HELLO", "3");
    ASSERT_NE(values.GetItem("hello"), nullptr);
    EXPECT_EQ(values.GetItem("hello")->Value(), "3");
    EXPECT_EQ(values.GetItem("ПРИВЕТ")->Value(), "2");
    EXPECT_EQ(values.GetItem("absent"), nullptr);
    EXPECT_EQ(values.Items(0).ID(), "Hello");
    values.Delete(2);
    EXPECT_EQ(values.GetItem("hello")->Value(), "1");
    values.Clear();
    EXPECT_EQ(values.Count(), 0u);
    EXPECT_EQ(values.GetItem("Hello"), nullptr);
}
