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

TEST(ExtractArchives, WorksBelowALinkedDataFolderAndStillRefusesEscapingEntries)
{
    // The data folder (or the home above it) on another disk, reached through a symbolic link.
    for (std::string linked : {"home", "home/data"})
    {
        SCOPED_TRACE(linked);
        TempDir work;
        fs::create_directories(work / "disk" / "home" / "data" / "orb" / "APP#1");
        fs::create_directories((work / linked).parent_path());
        fs::create_directory_symlink(work / "disk" / linked, work / linked);
        fs::path install = work / "home" / "data" / "orb" / "APP#1";
        WriteBytes(work / "disk" / "home" / "data" / "orb" / "outside.txt", "outside");
        fs::rename(PackTree(work, "client.7z", "-ms=off"), install / "client.7z");
        WriteBytes(work / "evil" / "good.txt", "good");
        Make7z(work / "evil", (install / "sub" / "evil.7z").string(), "../disk/home/data/orb/outside.txt good.txt",
               "-ms=off -spf");
        WriteBytes(work / "disk" / "home" / "data" / "orb" / "outside.txt", "outside");

        try
        {
            ExtractArchives(install);
            ADD_FAILURE() << "the escaping entry was accepted";
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_NE(e.Message.find("evil.7z: refused entries \"../disk/home/data/orb/outside.txt\" (path contains"),
                      std::string::npos)
                << e.Message;
        }
        EXPECT_EQ(ReadBytes(install / "readme.txt"), "top level");
        EXPECT_EQ(ReadBytes(install / "lib" / "plugins" / "p.dll"), std::string(70000, 'p'));
        EXPECT_EQ(ReadBytes(install / "sub" / "good.txt"), "good");
        EXPECT_EQ(ReadBytes(work / "disk" / "home" / "data" / "orb" / "outside.txt"), "outside");

        fs::create_directory(install / "one");
        fs::rename(PackTree(work, "again.7z", "-ms=off"), install / "one" / "c.7z");
        ExtractArchive(install / "one" / "c.7z", install / "one");
        EXPECT_EQ(ReadBytes(install / "one" / "readme.txt"), "top level");
    }
}

TEST(ExtractArchives, LinksThatStayInsideTheInstallationAreUnpackedAsLinks)
{
    TempDir work;
    fs::path src = work / "src";
    WriteBytes(src / "libfoo.so.1", "foo");
    WriteBytes(src / "lib" / "libbar.so.2", "bar");
    fs::create_symlink("libfoo.so.1", src / "libfoo.so");
    fs::create_directory_symlink("lib", src / "current");
    fs::create_directories(src / "bin");
    fs::create_symlink("../lib/libbar.so.2", src / "bin" / "tool");
    fs::create_directory_symlink(".", src / "self");
    fs::path install = work / "install";
    fs::create_directories(install / "pkg");
    WriteBytes(install / "version.info", "4.7");
    Make7z(src, (install / "a.7z").string(), "libfoo.so.1 libfoo.so lib current bin self", "-ms=off -snl");
    // An archive in a sub-folder may point up to the installation directory, not above it.
    WriteBytes(work / "pkg" / "payload", "p");
    fs::create_symlink("../version.info", work / "pkg" / "version");
    Make7z(work / "pkg", (install / "pkg" / "b.7z").string(), "payload version", "-ms=off -snl");

    ExtractArchives(install);

    const std::pair<const char*, const char*> links[] = {{"libfoo.so", "libfoo.so.1"},
                                                         {"current", "lib"},
                                                         {"bin/tool", "../lib/libbar.so.2"},
                                                         {"self", "."},
                                                         {"pkg/version", "../version.info"}};
    for (const auto& [name, target] : links)
    {
        EXPECT_TRUE(fs::is_symlink(install / name)) << name;
        EXPECT_EQ(fs::read_symlink(install / name), fs::path(target)) << name;
    }
    EXPECT_EQ(ReadBytes(install / "libfoo.so"), "foo");
    EXPECT_EQ(ReadBytes(install / "current" / "libbar.so.2"), "bar");
    EXPECT_EQ(ReadBytes(install / "bin" / "tool"), "bar");
    EXPECT_EQ(ReadBytes(install / "pkg" / "version"), "4.7");
}

TEST(ExtractArchives, LinksLeadingOutAreRefusedWithTheirTargetsAndNothingIsWrittenThroughThem)
{
    struct TCase
    {
        std::string What;
        std::vector<std::pair<std::string, std::string>> Links; ///< name -> target, packed in this order
        std::string LaterFile;                                  ///< packed after the links, or empty
        std::vector<std::string> Refused;                       ///< expected parts of the message
        std::vector<std::string> Absent;                        ///< links that must not be created
    };
    const TCase cases[] = {
        {"absolute", {{"abs", "/etc/passwd"}}, "", {"\"abs\" (link to \"/etc/passwd\" is absolute)"}, {"abs"}},
        {"escaping",
         {{"esc", "../outside.txt"}},
         "",
         {"\"esc\" (link to \"../outside.txt\" leads out of the installation directory)"},
         {"esc"}},
        {"escaping from a folder",
         {{"sub/esc", "../../outside.txt"}},
         "",
         {"\"sub/esc\" (link to \"../../outside.txt\" leads out of the installation directory)"},
         {"sub/esc"}},
        {"chained through an inside link",
         {{"up", "."}, {"x", "up/../outside.txt"}},
         "",
         {"\"x\" (link to \"up/../outside.txt\" climbs with \"..\" after a name)"},
         {"x"}},
        {"file below a refused link",
         {{"d", "../.."}},
         "d/x",
         {"\"d\" (link to \"../..\" leads out of the installation directory)", "\"d/x\" (lies below the link \"d\")"},
         {"d"}},
        {"file below an inside link", {{"in", "sub"}}, "in/x", {"\"in/x\" (lies below the link \"in\")"}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        TempDir work;
        fs::path install = work / "install";
        fs::create_directories(install / "sub");
        WriteBytes(work / "outside.txt", "outside");
        WriteBytes(work / "links" / "good.txt", "good");
        std::string names = "good.txt";
        for (const auto& [name, target] : c.Links)
        {
            fs::create_directories((work / "links" / name).parent_path());
            fs::create_symlink(target, work / "links" / name);
            names += " " + name;
        }
        Make7z(work / "links", (install / "bad.7z").string(), names, "-ms=off -snl");
        if (!c.LaterFile.empty())
        {
            WriteBytes(work / "later" / c.LaterFile, "written through the link");
            Make7z(work / "later", (install / "bad.7z").string(), c.LaterFile, "-ms=off");
        }
        try
        {
            ExtractArchives(install);
            ADD_FAILURE() << "accepted";
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_EQ(e.Message.rfind("Sevenzip: " + (install / "bad.7z").string() + ": refused entries ", 0), 0u)
                << e.Message;
            for (const auto& part : c.Refused)
                EXPECT_NE(e.Message.find(part), std::string::npos) << e.Message << "\nmissing: " << part;
        }
        EXPECT_EQ(ReadBytes(install / "good.txt"), "good");
        EXPECT_EQ(ReadBytes(work / "outside.txt"), "outside");
        EXPECT_FALSE(fs::exists(work / "x"));
        EXPECT_FALSE(fs::exists(install / "sub" / "x"));
        for (const auto& name : c.Absent)
            EXPECT_FALSE(fs::exists(fs::symlink_status(install / name))) << name;
    }
}

TEST(ExtractArchives, ALinkPlantedAtAnEntrysNameIsReplacedNotWrittenThrough)
{
    TempDir work;
    fs::path archive = PackTree(work, "a.7z", "-ms=off");
    WriteBytes(work / "outside.txt", "outside");
    fs::create_directories(work / "install");
    fs::create_symlink(work / "outside.txt", work / "install" / "readme.txt");
    fs::copy_file(archive, work / "install" / "a.7z");

    ExtractArchives(work / "install");

    EXPECT_FALSE(fs::is_symlink(work / "install" / "readme.txt"));
    EXPECT_EQ(ReadBytes(work / "install" / "readme.txt"), "top level");
    EXPECT_EQ(ReadBytes(work / "outside.txt"), "outside");
}
