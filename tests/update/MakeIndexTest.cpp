#include "MakeIndex.h"

#include "UpdateTestUtil.h"
#include "net/StreamInflater.h"
#include "update/IndexTime.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;
using orb::tools::TMakeIndexOptions;

namespace
{

std::string Gunzip(const std::string& Data)
{
    std::string out;
    TStreamInflater inflater(TInflateFormat::Gzip, /*Members=*/false, {"", "damaged", "cut short"});
    inflater.Feed(Data.data(), Data.size(), [&](const char* Piece, size_t Size) { out.append(Piece, Size); });
    inflater.Finish();
    return out;
}

TMakeIndexOptions OptionsFor(const fs::path& Root)
{
    TMakeIndexOptions options;
    options.Root = Root;
    return options;
}

std::string MakeIndexText(const TMakeIndexOptions& Options)
{
    orb::tools::MakeIndex(Options);
    return ReadBytes(Options.Root / "index.xml");
}

} // namespace

TEST(MakeIndex, ListsTheTreeWithSizesAndRoundedLocalTimesAndGzipsMatchingFiles)
{
    TempDir dir;
    WriteBytes(dir / "bin" / "app.exe", "executable");
    WriteBytes(dir / "bin" / "lang" / "de.ini", std::string(5000, 'd'));
    WriteBytes(dir / "empty.dat", "");
    WriteBytes(dir / "skip.tmp", "left out");
    SetLocalFileTime(dir / "bin" / "app.exe", {2024, 1, 31, 12, 0, 3});
    SetLocalFileTime(dir / "bin" / "lang" / "de.ini", {2023, 5, 6, 7, 8, 10});

    TMakeIndexOptions options;
    options.Root = dir.Path();
    options.GzipPatterns = {"*.ini"};
    options.ExcludePatterns = {"*.tmp"};
    std::string first = MakeIndexText(options);

    auto root = xml::LoadXMLNodeFromString(first);
    EXPECT_EQ(root->NodeName(), "update");
    auto bin = root->ChildNodes()->Get(0);
    EXPECT_EQ(bin->Attributes("name"), "bin");
    auto app = bin->ChildNodes()->Get(0);
    EXPECT_EQ(app->Attributes("name"), "app.exe");
    EXPECT_EQ(app->Attributes("size"), "10");
    EXPECT_EQ(app->Attributes("modified"), "20240131120002");
    auto ini = bin->ChildNodes()->Get(1)->ChildNodes()->Get(0);
    EXPECT_EQ(ini->Attributes("name"), "de.ini.gz");
    EXPECT_EQ(ini->Attributes("modified"), "20230506070810");
    EXPECT_EQ(ini->Attributes("size"), std::to_string(fs::file_size(dir / "bin" / "lang" / "de.ini.gz")));
    EXPECT_EQ(Gunzip(ReadBytes(dir / "bin" / "lang" / "de.ini.gz")), std::string(5000, 'd'));
    auto empty = root->ChildNodes()->Get(1);
    EXPECT_EQ(empty->Attributes("name"), "empty.dat.gz"); // the launcher does not download empty files
    EXPECT_EQ(root->ChildNodes()->Count(), 2);

    // A second run over an unchanged tree gives the same index, so the same installation directory.
    EXPECT_EQ(MakeIndexText(options), first);
}

TEST(MakeIndex, RefusesNamesTheLauncherWouldRefuseOrMistake)
{
    struct TCase
    {
        std::string File;
        std::string Message;
    };
    const TCase cases[] = {
        {"back\\slash", "Cannot publish \"back\\slash\": the launcher refuses this name"},
        {"sub/x.GZ", "Cannot publish \"sub\\x.GZ\": the launcher treats \".gz\" in other letter cases"},
        {"..gz", "Cannot publish \"..gz\": the launcher refuses this name"},
        {"index.xml.gz", "Cannot publish \"index.xml.gz\": the launcher keeps its own index.xml"},
        {"tab\tname", "Cannot publish \"tab\tname\": the name contains a control character"},
        {"bad\xff.bin", "Cannot publish \"bad\xff.bin\": the name is not valid UTF-8"},
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        WriteBytes(dir / c.File, "content");
        try
        {
            orb::tools::MakeIndex(OptionsFor(dir.Path()));
            ADD_FAILURE() << "published " << c.File;
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.Message.substr(0, c.Message.size()), c.Message);
        }
        EXPECT_FALSE(fs::exists(dir / "index.xml"));
    }

    TempDir clash;
    WriteBytes(clash / "a", "plain");
    WriteBytes(clash / "a.gz", "stale");
    EXPECT_THROW(orb::tools::MakeIndex(OptionsFor(clash.Path())), Exception);
}

TEST(MakeIndex, PatternsMatchWithStarsAndQuestionMarks)
{
    struct TCase
    {
        std::string Pattern, Name;
        bool Match;
    };
    const TCase cases[] = {{"*.ini", "de.ini", true}, {"*.ini", "de.ini.bak", false},
                           {"?.txt", "a.txt", true},  {"?.txt", "ab.txt", false},
                           {"*", "", true},           {"a*b*c", "aXbYc", true},
                           {"a*b*c", "aXbY", false},  {"*.INI", "de.ini", false}};
    for (const auto& c : cases)
        EXPECT_EQ(orb::tools::MatchPattern(c.Pattern, c.Name), c.Match) << c.Pattern << " " << c.Name;
}
