#include "update/Archives.h"

#include "UpdateTestUtil.h"
#include "update/UpdateErrors.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace orb;
using orb::test::Make7z;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

/// Builds a source tree in Work/pack, archives it as Archive, and returns the archive's path.
fs::path PackTree(const TempDir& Work, const std::string& Archive, const std::string& Options)
{
    WriteBytes(Work / "pack" / "readme.txt", "top level");
    WriteBytes(Work / "pack" / "lib" / "plugins" / "p.dll", std::string(70000, 'p'));
    WriteBytes(Work / "pack" / "lib" / "empty.dat", "");
    Make7z(Work / "pack", "../" + Archive, "readme.txt lib", Options);
    return Work / Archive;
}

} // namespace

TEST(ExtractArchives, UnpacksSolidAndNonSolidArchivesBesideThemselvesAndKeepsThem)
{
    for (std::string options : {"-m0=lzma2 -ms=off", "-mx=9 -ms=on"})
    {
        TempDir work;
        fs::path archive = PackTree(work, "client.7z", options);
        fs::path install = work / "install";
        fs::create_directories(install / "bin");
        fs::rename(archive, install / "bin" / "client.7z");

        ExtractArchives(install);

        EXPECT_EQ(ReadBytes(install / "bin" / "readme.txt"), "top level") << options;
        EXPECT_EQ(ReadBytes(install / "bin" / "lib" / "plugins" / "p.dll"), std::string(70000, 'p'));
        EXPECT_TRUE(fs::is_regular_file(install / "bin" / "lib" / "empty.dat"));
        EXPECT_TRUE(fs::exists(install / "bin" / "client.7z"));
        EXPECT_FALSE(fs::exists(install / "readme.txt"));
    }
}

TEST(ExtractArchives, MatchesTheExtensionIgnoringCaseAndSkipsDotDirectories)
{
    TempDir work;
    fs::path archive = PackTree(work, "a.7z", "-ms=off");
    fs::create_directories(work / "install" / ".cache");
    fs::copy_file(archive, work / "install" / "UPPER.7Z");
    fs::copy_file(archive, work / "install" / ".cache" / "hidden.7z");
    fs::copy_file(archive, work / "install" / "not-an-archive.7z.bak");

    ExtractArchives(work / "install");

    EXPECT_TRUE(fs::exists(work / "install" / "readme.txt"));
    EXPECT_FALSE(fs::exists(work / "install" / ".cache" / "readme.txt"));
}

TEST(ExtractArchives, ReplacesFilesThatAlreadyExist)
{
    TempDir work;
    fs::path archive = PackTree(work, "a.7z", "-ms=off");
    WriteBytes(work / "install" / "readme.txt", "stale and longer than the new text");
    fs::copy_file(archive, work / "install" / "a.7z");
    ExtractArchives(work / "install");
    EXPECT_EQ(ReadBytes(work / "install" / "readme.txt"), "top level");
}

TEST(ExtractArchives, HostileEntriesAreRefusedAndReportedWhileTheRestIsUnpacked)
{
    struct TCase
    {
        std::string What;
        std::string Entries;
        std::string Options;
        std::string Refused;
    };
    TempDir work;
    WriteBytes(work / "outside.txt", "outside");
    WriteBytes(work / "src" / "good.txt", "good");
    fs::create_symlink("/etc/passwd", work / "src" / "link");
    fs::create_directory_symlink(work.Path(), work / "src" / "dirlink");
    const TCase cases[] = {
        {"dot-dot", "../outside.txt good.txt", "-spf", "../outside.txt"},
        {"absolute", "'" + (work / "outside.txt").string() + "' good.txt", "-spf", (work / "outside.txt").string()},
        {"file link", "link good.txt", "-snl", "link"},
        {"directory link", "dirlink good.txt", "-snl", "dirlink"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        fs::path install = work / ("install-" + std::to_string(&c - cases));
        fs::create_directories(install);
        Make7z(work / "src", (install / "bad.7z").string(), c.Entries, "-ms=off " + c.Options);
        WriteBytes(work / "outside.txt", "outside");
        try
        {
            ExtractArchives(install);
            ADD_FAILURE() << "hostile archive accepted";
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_NE(e.Message.find("\"" + c.Refused + "\""), std::string::npos) << e.Message;
            EXPECT_NE(e.Message.find("bad.7z"), std::string::npos) << e.Message;
        }
        EXPECT_EQ(ReadBytes(work / "outside.txt"), "outside");
        EXPECT_EQ(ReadBytes(install / "good.txt"), "good");
        EXPECT_FALSE(fs::exists(fs::symlink_status(install / "link")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(install / "dirlink")));
    }
}

TEST(ExtractArchives, DamagedArchiveRaisesTheLibraryErrorAndEarlierArchivesStayUnpacked)
{
    TempDir work;
    fs::path archive = PackTree(work, "a.7z", "-ms=off");
    fs::create_directories(work / "install" / "b");
    fs::copy_file(archive, work / "install" / "a.7z");
    std::string bytes = ReadBytes(archive);
    WriteBytes(work / "install" / "b" / "broken.7z", bytes.substr(0, bytes.size() / 2));
    WriteBytes(work / "install" / "c" / "garbage.7z", "this is not an archive");

    EXPECT_THROW(ExtractArchives(work / "install"), EArchiveError);
    EXPECT_TRUE(fs::exists(work / "install" / "readme.txt"));

    fs::remove(work / "install" / "b" / "broken.7z");
    try
    {
        ExtractArchives(work / "install");
        FAIL() << "garbage accepted";
    }
    catch (const EArchiveError& e)
    {
        EXPECT_EQ(e.Message.rfind("Sevenzip: ", 0), 0u) << e.Message;
        EXPECT_NE(e.Message.find("garbage.7z"), std::string::npos) << e.Message;
    }
}
