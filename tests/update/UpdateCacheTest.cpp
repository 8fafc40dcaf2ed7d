#include "update/UpdateCache.h"

#include "UpdateTestUtil.h"
#include "update/UpdateErrors.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace orb;
using orb::test::GetTime;
using orb::test::ReadBytes;
using orb::test::SetTime;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

const TIndexTime Stamp{2024, 1, 31, 12, 0, 2};

xml::IXMLNodePtr Index(const std::string& Body, const std::string& Tag = "update")
{
    return xml::LoadXMLNodeFromString("<" + Tag + ">" + Body + "</" + Tag + ">");
}

std::string File(const std::string& Name, const std::string& Size = "10",
                 const std::string& Modified = "20240131120002")
{
    return "<file name=\"" + Name + "\" size=\"" + Size + "\" modified=\"" + Modified + "\"/>";
}

std::string Dir(const std::string& Name, const std::string& Body)
{
    return "<directory name=\"" + Name + "\" modified=\"20240101000000\">" + Body + "</directory>";
}

/// Finds the element reached by following the names in Path from Root.
xml::IXMLNodePtr Find(const xml::IXMLNodePtr& Root, std::vector<std::string> Path)
{
    xml::IXMLNodePtr node = Root;
    for (const auto& name : Path)
    {
        xml::IXMLNodePtr next;
        auto list = node->ChildNodes();
        for (int i = 0; list && i < list->Count(); ++i)
            if (list->Get(i)->Attributes("name") == name)
                next = list->Get(i);
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

bool Needed(const xml::IXMLNodePtr& Root, std::vector<std::string> Path)
{
    auto node = Find(Root, std::move(Path));
    EXPECT_TRUE(node);
    return node && node->HasAttribute("need_for_update");
}

/// An application directory with an old-layout folder beside it, both empty.
struct TCacheFixture
{
    TempDir Temp;
    fs::path AppDir = Temp / "app";
    fs::path OldDir = Temp / "cwd";
    TCacheFixture()
    {
        fs::create_directories(AppDir);
        fs::create_directories(OldDir);
    }

    /// Runs the check; returns IsNewInstallation.
    bool Check(const xml::IXMLNodePtr& Root)
    {
        bool isNew = true;
        CheckUpdateCache(Root, isNew, AppDir, OldDir);
        return isNew;
    }

    fs::path Installed(const xml::IXMLNodePtr& Root) { return fs::path(Root->Attributes("local_name")); }

    /// A complete installation named Name holding the files of Body (content "old:" + name) and its index.
    fs::path MakeInstallation(const std::string& Name, const std::string& Body, const TIndexTime& UsedAt)
    {
        auto root = Index(Body);
        fs::path dir = AppDir / Name;
        fs::create_directories(dir);
        root->SetAttribute("local_name", (dir / "").string());
        xml::SaveIXMLNodeToFile(dir / "index.xml", root);
        SetLocalFileTime(dir, UsedAt);
        return dir;
    }
};

std::vector<std::string> InstallationNames(const fs::path& AppDir)
{
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(AppDir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(InstallationIdentity, IsTheCrc32OfTheTextWithNonAsciiAsQuestionMarks)
{
    EXPECT_EQ(IndexTextIdentity(""), "00000000");
    EXPECT_EQ(IndexTextIdentity("123456789"), "CBF43926");
    // Every character above 127 counts as one "?", a character outside the BMP as two (two 16-bit units).
    EXPECT_EQ(IndexTextIdentity("<a n=\"\xC3\xA9\xD0\x96\"/>"), IndexTextIdentity("<a n=\"??\"/>"));
    EXPECT_EQ(IndexTextIdentity("\xF0\x9F\x98\x80"), IndexTextIdentity("??"));
    EXPECT_EQ(IndexTextIdentity("a\xE2\x82\xAC"), IndexTextIdentity("a?"));
    EXPECT_EQ(IndexTextIdentity("a\xFF"), IndexTextIdentity("a?")); // not UTF-8: one replacement character
    auto a = Index(File("a.exe"));
    auto b = Index(File("a.exe"));
    auto c = Index(File("a.exe", "11"));
    EXPECT_EQ(InstallationIdentity(*a), InstallationIdentity(*b));
    EXPECT_NE(InstallationIdentity(*a), InstallationIdentity(*c));
    EXPECT_EQ(InstallationIdentity(*a), IndexTextIdentity(a->XML()));
}

TEST(CheckUpdateCache, FirstInstallMarksEveryFileAndCreatesTheTree)
{
    TCacheFixture f;
    auto root =
        Index(File("app.exe", "100") + Dir("bin", File("x.dll", "4000000000") + Dir("lang", File("de.ini.gz", "7"))));
    std::string id = InstallationIdentity(*root);

    EXPECT_TRUE(f.Check(root));

    fs::path dir = f.AppDir / ("APP#" + id);
    EXPECT_EQ(root->Attributes("local_name"), (dir / "").string());
    EXPECT_EQ(root->Attributes("total_update_size"), "4000000107"); // 64-bit sum
    EXPECT_TRUE(Needed(root, {"app.exe"}));
    EXPECT_TRUE(Needed(root, {"bin", "x.dll"}));
    EXPECT_TRUE(Needed(root, {"bin", "lang", "de.ini.gz"}));
    EXPECT_EQ(Find(root, {"bin", "x.dll"})->Attributes("need_for_update"), "true");
    EXPECT_TRUE(fs::is_directory(dir / "bin" / "lang"));
    EXPECT_FALSE(root->HasAttribute("need_for_update"));
}

TEST(CheckUpdateCache, CompleteInstallationIsReusedWithoutExaminingFilesAndItsTimeRefreshed)
{
    TCacheFixture f;
    std::string body = File("app.exe") + File("stale.dll");
    auto first = Index(body);
    f.Check(first);
    fs::path dir = f.Installed(first);
    WriteBytes(dir / "app.exe", "0123456789");
    SetTime(dir / "app.exe", Stamp);
    xml::SaveIXMLNodeToFile(dir / "index.xml", first);
    SetLocalFileTime(dir, {2020, 1, 1, 0, 0, 0});

    auto second = Index(body);
    EXPECT_FALSE(f.Check(second));

    EXPECT_EQ(f.Installed(second), dir);
    EXPECT_EQ(second->Attributes("total_update_size"), "0");
    // stale.dll is missing on disk, yet nothing is examined in a complete installation.
    EXPECT_FALSE(Needed(second, {"stale.dll"}));
    EXPECT_GE(GetTime(dir).Year, 2025);
}

TEST(CheckUpdateCache, TimeStampMustMatchToTheSecondAsLocalTime)
{
    struct TCase
    {
        TIndexTime OnDisk;
        bool Needed;
    };
    const TCase cases[] = {
        {Stamp, false},
        {{2024, 1, 31, 12, 0, 3}, true},
        {{2024, 1, 31, 12, 0, 1}, true},
        {{2024, 1, 31, 13, 0, 2}, true},
    };
    for (const auto& c : cases)
    {
        TCacheFixture f;
        auto root = Index(File("a.bin"));
        fs::path dir = f.AppDir / ("APP#" + InstallationIdentity(*root));
        WriteBytes(dir / "a.bin", "content");
        SetTime(dir / "a.bin", c.OnDisk);
        EXPECT_TRUE(f.Check(root));
        EXPECT_EQ(Needed(root, {"a.bin"}), c.Needed) << FormatIndexTime(c.OnDisk);
        EXPECT_EQ(root->Attributes("total_update_size"), c.Needed ? "10" : "0");
    }
}

TEST(CheckUpdateCache, GzFilesAreComparedUnderTheirLocalNameAndOnlyExactLowerCaseSuffixIsStripped)
{
    TCacheFixture f;
    auto root = Index(File("a.txt.gz") + File("b.GZ") + File("c.Gz"));
    fs::path dir = f.AppDir / ("APP#" + InstallationIdentity(*root));
    for (auto name : {"a.txt", "b.GZ", "c"})
    {
        WriteBytes(dir / name, "x");
        SetTime(dir / name, Stamp);
    }
    f.Check(root);
    EXPECT_FALSE(Needed(root, {"a.txt.gz"}));
    EXPECT_FALSE(Needed(root, {"b.GZ"}));
    EXPECT_TRUE(Needed(root, {"c.Gz"}));
}

TEST(CheckUpdateCache, FilesOfOlderInstallationsAreCopiedWhenSizeAndTimeTextsMatch)
{
    TCacheFixture f;
    fs::path older = f.MakeInstallation("APP#00000001",
                                        File("same.exe", "1024") + Dir("bin", File("lib.dll.gz", "5")) +
                                            File("padded.dat", "1024") + File("moved.dat") + File("gone.dat"),
                                        {2023, 1, 1, 0, 0, 0});
    WriteBytes(older / "same.exe", "old same");
    WriteBytes(older / "bin" / "lib.dll", "old lib");
    WriteBytes(older / "padded.dat", "old padded");
    WriteBytes(older / "moved.dat", "old moved");
    for (auto p : {older / "same.exe", older / "bin" / "lib.dll", older / "padded.dat", older / "moved.dat"})
        SetTime(p, {2024, 1, 31, 12, 0, 2});

    auto root = Index(File("same.exe", "1024") + Dir("bin", File("lib.dll.gz", "5")) + File("padded.dat", "01024") +
                      Dir("sub", File("moved.dat")) + File("gone.dat") + File("new.txt", "3"));
    EXPECT_TRUE(f.Check(root));
    fs::path dir = f.Installed(root);

    EXPECT_FALSE(Needed(root, {"same.exe"}));
    EXPECT_EQ(ReadBytes(dir / "same.exe"), "old same");
    EXPECT_EQ(GetTime(dir / "same.exe"), Stamp);
    EXPECT_FALSE(Needed(root, {"bin", "lib.dll.gz"}));
    EXPECT_EQ(ReadBytes(dir / "bin" / "lib.dll"), "old lib");
    EXPECT_TRUE(Needed(root, {"padded.dat"}));       // "01024" is not "1024"
    EXPECT_TRUE(Needed(root, {"sub", "moved.dat"})); // another path is another file
    EXPECT_TRUE(Needed(root, {"gone.dat"}));         // listed in the older index but missing on its disk
    EXPECT_TRUE(Needed(root, {"new.txt"}));
    EXPECT_EQ(root->Attributes("total_update_size"), std::to_string(1024 + 10 + 10 + 3));
    EXPECT_FALSE(fs::exists(dir / "padded.dat"));
}

TEST(CheckUpdateCache, AnInterruptedInstallationResumesWithWhatIsMissing)
{
    TCacheFixture f;
    auto root = Index(File("a.bin") + File("b.bin"));
    f.Check(root);
    fs::path dir = f.Installed(root);
    WriteBytes(dir / "a.bin", "0123456789");
    SetTime(dir / "a.bin", Stamp);
    WriteBytes(dir / "stray.txt", "not listed");

    auto again = Index(File("a.bin") + File("b.bin"));
    EXPECT_TRUE(f.Check(again));
    EXPECT_FALSE(Needed(again, {"a.bin"}));
    EXPECT_TRUE(Needed(again, {"b.bin"}));
    EXPECT_EQ(ReadBytes(dir / "stray.txt"), "not listed");
}

TEST(CheckUpdateCache, EmptyIndexSelectsTheMostRecentlyUsedInstallation)
{
    TCacheFixture f;
    f.MakeInstallation("APP#AAAAAAAA", "", {2024, 5, 1, 0, 0, 0});
    fs::path newest = f.MakeInstallation("APP#BBBBBBBB", "", {2024, 6, 1, 0, 0, 0});
    f.MakeInstallation("APP#CCCCCCCC", "", {2024, 6, 1, 0, 0, 0});
    fs::create_directories(f.AppDir / "unrelated");
    SetLocalFileTime(f.AppDir / "unrelated", {2025, 1, 1, 0, 0, 0});

    auto root = xml::CreateXMLNode("empty");
    EXPECT_FALSE(f.Check(root));
    EXPECT_EQ(root->Attributes("local_name"), (newest / "").string()); // ties: the first by name wins
    EXPECT_EQ(root->Attributes("total_update_size"), "0");
}

TEST(CheckUpdateCache, EmptyIndexWithoutInstallationsIsAnError)
{
    TCacheFixture f;
    try
    {
        f.Check(xml::CreateXMLNode("empty"));
        FAIL() << "no error";
    }
    catch (const Exception& e)
    {
        EXPECT_EQ(e.Message, "There is no VidEzadaz applications");
    }
}

TEST(CheckUpdateCache, PrunesOneOldestInstallationPerCheck)
{
    for (int existing : {10, 11})
    {
        TCacheFixture f;
        for (int i = 0; i < existing; ++i)
        {
            char name[16];
            std::snprintf(name, sizeof name, "APP#%08d", i);
            // APP#00000003 is the oldest, then APP#00000005.
            int day = i == 3 ? 1 : i == 5 ? 2 : 10 + i;
            f.MakeInstallation(name, "", {2024, 3, day, 0, 0, 0});
        }
        auto root = Index(File("a.bin"));
        f.Check(root);
        auto names = InstallationNames(f.AppDir);
        // existing + the new one: 11 leaves 10; 12 leaves 11, the next check removes another.
        EXPECT_EQ(static_cast<int>(names.size()), existing) << existing;
        EXPECT_EQ(std::count(names.begin(), names.end(), "APP#00000003"), 0);
        EXPECT_EQ(std::count(names.begin(), names.end(), "APP#00000005"), 1);
        if (existing == 11)
        {
            f.Check(Index(File("a.bin")));
            names = InstallationNames(f.AppDir);
            EXPECT_EQ(names.size(), 10u);
            EXPECT_EQ(std::count(names.begin(), names.end(), "APP#00000005"), 0);
        }
    }
}

TEST(CheckUpdateCache, OlderLayoutIsMigratedOnceAndMarked)
{
    TCacheFixture f;
    WriteBytes(f.OldDir / "APP#12345678" / "index.xml", "<update/>");
    WriteBytes(f.OldDir / "APP#12345678" / "bin" / "client", "old client");
    WriteBytes(f.OldDir / "APP#marked" / "x", "x");
    SetLocalFileTime(f.OldDir / "APP#marked", MigratedMarkTime);
    WriteBytes(f.OldDir / "APP#file", "not a directory");

    f.Check(Index(File("a.bin")));

    EXPECT_EQ(ReadBytes(f.AppDir / "APP#12345678" / "bin" / "client"), "old client");
    EXPECT_EQ(GetTime(f.OldDir / "APP#12345678"), MigratedMarkTime);
    EXPECT_FALSE(fs::exists(f.AppDir / "APP#marked"));
    EXPECT_FALSE(fs::exists(f.AppDir / "APP#file"));

    fs::remove_all(f.AppDir / "APP#12345678");
    f.Check(Index(File("a.bin")));
    EXPECT_FALSE(fs::exists(f.AppDir / "APP#12345678"));
}

TEST(CheckUpdateCache, MalformedEntriesRaiseTheirMessages)
{
    struct TCase
    {
        std::string Body;
        std::string Message;
    };
    const TCase cases[] = {
        {"<folder name=\"x\"/>", "CheckDirInCache: Unknown node name: folder"},
        {Dir("bin", "<File name=\"a\"/>"), "CheckDirInCache: Unknown node name: File"},
        {File("a", ""), "The value for field \"size\" is empty."},
        {"<file name=\"a\" modified=\"20240131120002\"/>", "The value for field \"size\" is empty."},
        {File("a", "12k"), "Wrong value for field \"size\" : \"12k\""},
        {File("a", "10", "2024013112"), "Wrong date: \"2024013112\""},
        {"<file name=\"a\" size=\"1\"/>", "Wrong date: \"\""},
    };
    for (const auto& c : cases)
    {
        TCacheFixture f;
        try
        {
            f.Check(Index(c.Body));
            ADD_FAILURE() << "no error for " << c.Body;
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.Message, c.Message) << c.Body;
        }
    }
}

TEST(CheckUpdateCache, NamesThatLeaveTheInstallationAreRefusedBeforeAnythingIsWritten)
{
    struct TCase
    {
        std::string Body;
        std::string Where;
    };
    const TCase cases[] = {
        {File(".."), ".."},
        {File("../../escape"), "../../escape"},
        {File("..\\escape"), "..\\escape"},
        {File(""), ""},
        {File("/etc/passwd"), "/etc/passwd"},
        {File("..gz"), "..gz"},
        {File(".gz"), ".gz"},
        {Dir("..", File("a")), ".."},
        {Dir("bin", Dir("../..", File("a"))), "bin\\../.."},
        {Dir(".", File("a")), "."},
        {File("a&#0;b"), std::string("a\0b", 3)},
    };
    for (const auto& c : cases)
    {
        TCacheFixture f;
        try
        {
            f.Check(Index(c.Body));
            ADD_FAILURE() << "accepted " << c.Body;
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_EQ(e.Message, "Unsafe name in the update index: \"" + c.Where + "\"") << c.Body;
        }
        catch (const Exception& e)
        {
            ADD_FAILURE() << c.Body << ": " << e.Message;
        }
        EXPECT_EQ(InstallationNames(f.Temp.Path()), (std::vector<std::string>{"app", "cwd"})) << c.Body;
    }
}

TEST(CheckUpdateCache, UsesTheApplicationDirectoryAndMigratesFromTheCurrentDirectory)
{
    TempDir temp;
    fs::create_directories(temp / "data");
    WriteBytes(temp / "cwd" / "APP#OLDLAYOUT" / "client", "old");
    const char* oldData = std::getenv("XDG_DATA_HOME");
    std::string savedData = oldData ? oldData : "";
    fs::path savedCwd = fs::current_path();
    ::setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
    fs::current_path(temp / "cwd");

    auto root = Index(File("a.bin"));
    bool isNew = false;
    EXPECT_NO_THROW(CheckUpdateCache(root, isNew));

    fs::current_path(savedCwd);
    if (oldData)
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");

    fs::path local = root->Attributes("local_name");
    EXPECT_TRUE(isNew);
    EXPECT_EQ(local.parent_path().parent_path().parent_path(), temp / "data");
    EXPECT_TRUE(fs::is_directory(local));
    EXPECT_EQ(ReadBytes(local.parent_path().parent_path() / "APP#OLDLAYOUT" / "client"), "old");
}
