#include "xml/Orb_DataCasting.h"

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono;

namespace
{

orb::xml::IXMLNodePtr Node(const std::string& Xml)
{
    return orb::xml::LoadXMLNodeFromString(Xml);
}

template <class E> std::string MessageOf(const std::function<void()>& Fn)
{
    try
    {
        Fn();
    }
    catch (const E& e)
    {
        return e.Message;
    }
    catch (const std::exception& e)
    {
        return std::string("wrong exception: ") + e.what();
    }
    return "no exception";
}

} // namespace

TEST(OrbDataCasting, ReadIntAttributeAcceptsDecimalIntegersOnly)
{
    auto n = Node("<file a=\"0012\" b=\"-5\" c=\"+7\" d=\"2147483647\"/>");
    EXPECT_EQ(orb::ReadIntAttribute(n, "a"), 12);
    EXPECT_EQ(orb::ReadIntAttribute(n, "b"), -5);
    EXPECT_EQ(orb::ReadIntAttribute(n, "c"), 7);
    EXPECT_EQ(orb::ReadIntAttribute(*n, "d"), 2147483647);
}

TEST(OrbDataCasting, ReadIntAttributeFailuresNameTheField)
{
    auto n = Node("<file size=\"12a\" hex=\"$10\" big=\"2147483648\" blank=\" 1\" empty=\"\"/>");
    EXPECT_EQ(MessageOf<orb::EVariantIsEmptyError>([&] { orb::ReadIntAttribute(n, "missing"); }),
              "The value for field \"missing\" is empty.");
    EXPECT_EQ(MessageOf<orb::EVariantIsEmptyError>([&] { orb::ReadIntAttribute(n, "empty"); }),
              "The value for field \"empty\" is empty.");
    EXPECT_EQ(MessageOf<orb::EVariantTypeCastError>([&] { orb::ReadIntAttribute(n, "size"); }),
              "Wrong value for field \"size\" : \"12a\"");
    for (const char* name : {"hex", "big", "blank"})
        EXPECT_NE(MessageOf<orb::EVariantTypeCastError>([&] {
                      orb::ReadIntAttribute(n, name);
                  }).find("Wrong value for field"),
                  std::string::npos)
            << name;
}

TEST(OrbDataCasting, ReadStrAttributeOfMissingAttributeIsEmpty)
{
    auto n = Node("<file name=\"bin\\app.exe\"/>");
    EXPECT_EQ(orb::ReadStrAttribute(n, "name"), "bin\\app.exe");
    EXPECT_EQ(orb::ReadStrAttribute(n, "Name"), "");
}

TEST(OrbDataCasting, ParseCompactDateTimeReadsTheFourteenDigitForm)
{
    auto expected = orb::TDateTime(local_days(year(2024) / 1 / 31)) + hours(23) + minutes(59) + seconds(59);
    EXPECT_EQ(orb::ParseCompactDateTime("20240131235959"), expected);
    EXPECT_EQ(orb::ParseCompactDateTime("20240131235959999 and more"), expected);
    EXPECT_EQ(orb::ParseCompactDateTime("20240229000000"), orb::TDateTime(local_days(year(2024) / 2 / 29)));
    EXPECT_EQ(orb::ReadDateTimeAttribute(Node("<f modified=\"19991231000000\"/>"), "modified"),
              orb::TDateTime(local_days(year(1999) / 12 / 31)));
}

TEST(OrbDataCasting, ParseCompactDateTimeRejectsImpossibleAndMalformedStamps)
{
    for (const char* bad : {"20240230000000", "20230229000000", "20241301000000", "20240100000000", "20240101240000",
                            "20240101006000", "20240101000060", "2024013123595", "", "2024-1-31 23:5", "00000101000000",
                            "2024013123595x", " 20240131235959"})
        EXPECT_EQ(MessageOf<orb::Exception>([&] { orb::ParseCompactDateTime(bad); }),
                  std::string("Wrong date: \"") + bad + "\"")
            << bad;
    EXPECT_EQ(MessageOf<orb::Exception>([&] { orb::ReadDateTimeAttribute(Node("<f/>"), "modified"); }),
              "Wrong date: \"\"");
}

TEST(OrbDataCasting, BackslashToSlashMakesAnAddressPath)
{
    EXPECT_EQ(orb::BackslashToSlash("bin\\lang\\de.ini.gz"), "bin/lang/de.ini.gz");
    EXPECT_EQ(orb::ReplaceChar("a-b-c", '-', '.'), "a.b.c");
    EXPECT_EQ(orb::ReplaceChar("", '-', '.'), "");
}
