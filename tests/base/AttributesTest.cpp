#include "base/Attributes.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <clocale>

using orb::TAttributes;

namespace
{

TAttributes Make(const std::string& Text)
{
    TAttributes a;
    a.SetText(Text);
    return a;
}

} // namespace

TEST(TAttributes, TextSplitsAtEveryKindOfLineBreakAndWritesCrLf)
{
    struct Case
    {
        std::string In;
        std::vector<std::string> Lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a=1", {"a=1"}},
        {"a=1\r\nb=2\r\n", {"a=1", "b=2"}},
        {"a=1\nb=2\rc=3", {"a=1", "b=2", "c=3"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\n", {""}},
        {"a\n\r", {"a", ""}},
    };
    for (const auto& c : cases)
    {
        TAttributes a = Make(c.In);
        ASSERT_EQ(a.Count(), static_cast<int>(c.Lines.size())) << c.In;
        std::string expected;
        for (int i = 0; i < a.Count(); ++i)
        {
            EXPECT_EQ(a.Strings(i), c.Lines[static_cast<size_t>(i)]);
            expected += c.Lines[static_cast<size_t>(i)] + "\r\n";
        }
        EXPECT_EQ(a.Text(), expected);
    }
}

TEST(TAttributes, NormalizeTrimsNameAndValueButKeepsFurtherEqualSigns)
{
    TAttributes a = Make(" a = b = c \r\n\tkey\t=\tv\x01\r\n no separator \r\n=x");
    a.Normalize();
    EXPECT_EQ(a.Strings(0), "a=b = c");
    EXPECT_EQ(a.Values("a"), "b = c");
    EXPECT_EQ(a.Strings(1), "key=v");
    EXPECT_EQ(a.Strings(2), " no separator ");
    EXPECT_EQ(a.Strings(3), "=x");
    EXPECT_EQ(a.Count(), 4);
}

TEST(TAttributes, NameLookupIgnoresCaseAndFindsTheFirstLine)
{
    TAttributes a = Make("Login=first\r\nnoequals\r\nLOGIN=second\r\nЯзык=ru");
    EXPECT_TRUE(a.Contains("login"));
    EXPECT_TRUE(a.Contains("язык"));
    EXPECT_FALSE(a.Contains("noequals"));
    EXPECT_EQ(a.IndexOfName("lOgIn"), 0);
    EXPECT_EQ(a.GetString("LOGIN"), "first");
    EXPECT_EQ(a.Values("login"), "first");
    EXPECT_EQ(a.Values("missing"), "");
}

TEST(TAttributes, SettingValuesReplacesInPlaceAppendsOrDeletes)
{
    TAttributes a = Make("a=1\r\nlogin=server\r\nc=3");
    a.SetValues("LOGIN", "typed");
    EXPECT_EQ(a.Text(), "a=1\r\nLOGIN=typed\r\nc=3\r\n");
    a.SetValues("new", "x");
    EXPECT_EQ(a.Strings(3), "new=x");
    a.SetValues("a", "");
    EXPECT_FALSE(a.Contains("a"));
    EXPECT_EQ(a.Text(), "LOGIN=typed\r\nc=3\r\nnew=x\r\n");
    a.SetValues("absent", "");
    EXPECT_EQ(a.Count(), 3);
}

TEST(TAttributes, GetStringOfMissingNameRaisesNamedMessage)
{
    TAttributes a = Make("empty=");
    EXPECT_EQ(a.GetString("empty"), "");
    try
    {
        a.GetString("tarnel_update_url");
        FAIL() << "no exception";
    }
    catch (const orb::Exception& e)
    {
        EXPECT_EQ(e.Message, "TAttributes: No such attribute: tarnel_update_url");
        EXPECT_EQ(e.ClassName(), "Exception");
    }
}

TEST(TAttributes, GetIntegerConvertsStrictlyOrRaisesConvertError)
{
    TAttributes a = Make("n=42\r\nneg=-7\r\nbad=12a\r\nempty=\r\nbig=2147483648");
    EXPECT_EQ(a.GetInteger("n"), 42);
    EXPECT_EQ(a.GetInteger("neg"), -7);
    EXPECT_THROW(a.GetInteger("bad"), orb::EConvertError);
    EXPECT_THROW(a.GetInteger("empty"), orb::EConvertError);
    EXPECT_THROW(a.GetInteger("big"), orb::EConvertError);
    EXPECT_THROW(a.GetInteger("missing"), orb::Exception);
}

TEST(TAttributes, GetFloatUsesTheCurrentDecimalSeparator)
{
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    TAttributes a = Make("f=1.5\r\ne=-2.5e3\r\nbad=1,5\r\ninf=inf\r\nx=1.5x");
    EXPECT_DOUBLE_EQ(static_cast<double>(a.GetFloat("f")), 1.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(a.GetFloat("e")), -2500.0);
    EXPECT_THROW(a.GetFloat("bad"), orb::EConvertError);
    EXPECT_THROW(a.GetFloat("inf"), orb::EConvertError);
    EXPECT_THROW(a.GetFloat("x"), orb::EConvertError);
}

TEST(TAttributes, TextToFloatWithCommaSeparatorRejectsPoint)
{
    long double v = 0;
    EXPECT_TRUE(orb::TryTextToFloat(" 1,25 ", ',', v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 1.25);
    EXPECT_FALSE(orb::TryTextToFloat("1.25", ',', v));
    EXPECT_TRUE(orb::TryTextToFloat("+3", '.', v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 3.0);
    EXPECT_FALSE(orb::TryTextToFloat("", '.', v));
    EXPECT_FALSE(orb::TryTextToFloat("+-3", '.', v));
    EXPECT_FALSE(orb::TryTextToFloat("nan", '.', v));
}

TEST(TAttributes, GetBooleanComparesIgnoringCaseAndNamesAttributeAndValueOnFailure)
{
    TAttributes a = Make("yes=YES\r\nno=No\r\nmaybe=maybe");
    EXPECT_TRUE(a.GetBoolean("yes", "yes", "no"));
    EXPECT_FALSE(a.GetBoolean("no", "yes", "no"));
    try
    {
        a.GetBoolean("maybe", "yes", "no");
        FAIL() << "no exception";
    }
    catch (const orb::EConvertError& e)
    {
        EXPECT_EQ(e.Message, "TAttributes: Can not convert attribute \"maybe = maybe\" to Boolean.");
    }
    EXPECT_EQ(a.Count(), 3);
}

TEST(TAttributes, IndexAccessOutsideTheListRaisesListError)
{
    TAttributes a = Make("a=1");
    EXPECT_THROW(a.Strings(1), orb::EListError);
    EXPECT_THROW(a.Delete(-1), orb::EListError);
    EXPECT_EQ(a.Names(0), "a");
    EXPECT_EQ(a.ValueFromIndex(0), "1");
}
