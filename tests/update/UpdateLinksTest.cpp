#include "UpdateFlow.h"
#include "UpdateTestUtil.h"
#include "support/Servers.h"
#include "update/DirectoryUtils.h"
#include "update/UpdateErrors.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;

namespace
{

/// A published client served by nginx, installed into an application directory that may lie below a link.
struct UpdateLinks : ::testing::Test
{
    TUpdateViews Views;
    TempDir Temp;
    TNginxServer Nginx;
    fs::path Published = Nginx.Root() / "client";
    std::string Base = "http://127.0.0.1:" + std::to_string(Nginx.HttpPort()) + "/client/";
    fs::path AppDir = Temp / "app";
    fs::path OldDir = Temp / "cwd";

    void SetUp() override
    {
        fs::create_directories(AppDir);
        fs::create_directories(OldDir);
        WriteBytes(Temp / "outside.txt", "outside");
        WriteBytes(Published / "bin" / "client.exe", std::string(30000, 'c'));
        WriteBytes(Published / "bin" / "exact.dat", std::string(1024, 'e'));
        WriteBytes(Published / "version.info", "4.7.0.15\n");
    }

    /// Packs the entries of Dir into the published archive Name, links stored as links.
    void PublishArchive(const fs::path& Dir, const std::string& Name, const std::string& Entries)
    {
        Make7z(Dir, (Published / Name).string(), Entries, "-ms=off -snl");
    }

    xml::IXMLNodePtr Publish()
    {
        RunIn(Published, std::string("'") + ORB_MAKE_INDEX + "' .");
        RunIn(Published, "chmod -R a+rX .");
        return xml::LoadXMLNodeFromFile(Published / "index.xml");
    }

    void ExpectOutsideUntouched() { EXPECT_EQ(ReadBytes(Temp / "outside.txt"), "outside"); }
};

bool Downloaded(const TUpdateViews& Views, const std::string& Name)
{
    const auto& files = Views.Progress.Files;
    return std::find(files.begin(), files.end(), Name) != files.end();
}

} // namespace

TEST_F(UpdateLinks, AnInstallationBelowALinkedDataFolderUnpacksLinksThatStayInsideAndCompletes)
{
    // The data folder lives on another disk, reached through a link above the application directory.
    fs::create_directories(Temp / "disk" / "data");
    fs::create_directory_symlink(Temp / "disk" / "data", Temp / "data");
    fs::path appDir = Temp / "data" / "orb";
    fs::create_directory(appDir);
    TempDir pack;
    WriteBytes(pack / "lib" / "libfoo.so.1", "foo");
    fs::create_symlink("libfoo.so.1", pack / "lib" / "libfoo.so");
    fs::create_symlink("../version.info", pack / "lib" / "version");
    PublishArchive(pack.Path(), "libs.7z", "lib");

    fs::path dir = RunUpdate(Publish(), appDir, OldDir, Base);

    EXPECT_TRUE(fs::exists(dir / "index.xml"));
    EXPECT_EQ(ReadBytes(dir / "lib" / "libfoo.so.1"), "foo");
    EXPECT_TRUE(fs::is_symlink(dir / "lib" / "libfoo.so"));
    EXPECT_EQ(ReadBytes(dir / "lib" / "libfoo.so"), "foo");
    EXPECT_EQ(ReadBytes(dir / "lib" / "version"), "4.7.0.15\n");
    EXPECT_TRUE(ReadBytes(dir / "bin" / "client.exe") == std::string(30000, 'c'));
}

TEST_F(UpdateLinks, AnArchiveWithALinkLeadingOutIsRefusedAndTheInstallationStaysIncomplete)
{
    TempDir pack;
    WriteBytes(pack / "res" / "good.txt", "good");
    fs::create_directory_symlink("../../..", pack / "res" / "up");
    fs::create_symlink(Temp / "outside.txt", pack / "res" / "abs");
    PublishArchive(pack.Path(), "res.7z", "res");
    auto root = Publish();
    fs::path dir = AppDir / ("APP#" + InstallationIdentity(*root));

    for (int attempt = 0; attempt < 2; ++attempt)
    {
        try
        {
            RunUpdate(xml::LoadXMLNodeFromFile(Published / "index.xml"), AppDir, OldDir, Base);
            ADD_FAILURE() << "the archive was accepted";
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_EQ(e.Message,
                      "Sevenzip: " + (dir / "res.7z").string() + ": refused entries \"res/abs\" (link to \"" +
                          (Temp / "outside.txt").string() +
                          "\" is absolute), \"res/up\" (link to \"../../..\" leads out of the installation directory)");
        }
        EXPECT_FALSE(fs::exists(dir / "index.xml"));
        EXPECT_EQ(ReadBytes(dir / "res" / "good.txt"), "good");
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "res" / "up")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "res" / "abs")));
    }
    ExpectOutsideUntouched();
}

TEST_F(UpdateLinks, LinksPlantedInAnUnfinishedInstallationAreReplacedNotWrittenThrough)
{
    // The link's target carries the very time the index gives the file.
    SetTime(Published / "bin" / "client.exe", {2024, 1, 31, 12, 0, 2});
    SetTime(Temp / "outside.txt", {2024, 1, 31, 12, 0, 2});
    auto root = Publish();
    fs::path dir = AppDir / ("APP#" + InstallationIdentity(*root));
    fs::create_directories(dir / "bin");
    WriteBytes(Temp / "outside-exact.txt", "outside");
    fs::create_symlink(Temp / "outside.txt", dir / "bin" / "client.exe");
    fs::create_symlink(Temp / "outside-exact.txt", TemporaryNameBeside(dir / "bin" / "exact.dat"));
    fs::create_symlink(Temp / "missing", TemporaryNameBeside(dir / "version.info"));

    RunUpdate(root, AppDir, OldDir, Base);

    EXPECT_TRUE(fs::exists(dir / "index.xml"));
    EXPECT_FALSE(fs::is_symlink(dir / "bin" / "client.exe"));
    EXPECT_TRUE(ReadBytes(dir / "bin" / "client.exe") == std::string(30000, 'c'));
    EXPECT_TRUE(ReadBytes(dir / "bin" / "exact.dat") == std::string(1024, 'e'));
    EXPECT_EQ(ReadBytes(dir / "version.info"), "4.7.0.15\n");
    EXPECT_EQ(GetTime(dir / "bin" / "client.exe"), (TIndexTime{2024, 1, 31, 12, 0, 2}));
    EXPECT_EQ(GetTime(Temp / "outside.txt"), (TIndexTime{2024, 1, 31, 12, 0, 2}));
    ExpectOutsideUntouched();
    EXPECT_EQ(ReadBytes(Temp / "outside-exact.txt"), "outside");
    EXPECT_FALSE(fs::exists(Temp / "missing"));
    for (auto& e : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(e.path().string().find(TemporarySuffix), std::string::npos) << e.path();
}

TEST_F(UpdateLinks, LinksInAnOlderInstallationOrTheOlderLayoutAreSkippedAndTheFilesDownloaded)
{
    fs::path first = RunUpdate(Publish(), AppDir, OldDir, Base).parent_path(); // without the final separator
    // The first installation moves to the older layout (the current directory); one of its files becomes a link.
    fs::path old = OldDir / first.filename();
    fs::rename(first, old);
    fs::remove(old / "bin" / "exact.dat");
    fs::create_symlink(Temp / "outside.txt", old / "bin" / "exact.dat");
    WriteBytes(Published / "version.info", "4.7.0.16 second\n"); // a new size: a new index, whatever the time
    auto root = Publish();

    // The migration copies the older installation but not the link: that file comes from the server.
    Views.Progress.Files.clear();
    fs::path second = RunUpdate(root, AppDir, OldDir, Base);
    EXPECT_NE(second, AppDir / first.filename());
    EXPECT_FALSE(fs::exists(fs::symlink_status(AppDir / first.filename() / "bin" / "exact.dat")));
    EXPECT_TRUE(Downloaded(Views, "bin\\exact.dat"));
    EXPECT_FALSE(Downloaded(Views, "bin\\client.exe")); // copied from the migrated installation
    EXPECT_TRUE(ReadBytes(second / "bin" / "exact.dat") == std::string(1024, 'e'));
    EXPECT_FALSE(fs::is_symlink(second / "bin" / "exact.dat"));

    // Older installations in the application directory whose file is a link: downloaded, not copied through it.
    for (const fs::path& older : {AppDir / first.filename(), second})
    {
        fs::remove(older / "bin" / "client.exe");
        fs::create_symlink(Temp / "outside.txt", older / "bin" / "client.exe");
    }
    WriteBytes(Published / "version.info", "4.7.0.17 the third\n");
    root = Publish();
    Views.Progress.Files.clear();
    fs::path third = RunUpdate(root, AppDir, OldDir, Base);
    EXPECT_NE(third, second);
    EXPECT_TRUE(Downloaded(Views, "bin\\client.exe"));
    EXPECT_FALSE(Downloaded(Views, "bin\\exact.dat"));
    EXPECT_FALSE(fs::is_symlink(third / "bin" / "client.exe"));
    EXPECT_TRUE(ReadBytes(third / "bin" / "client.exe") == std::string(30000, 'c'));
    ExpectOutsideUntouched();
}
