#include "UpdateFlow.h"
#include "UpdateTestUtil.h"
#include "support/Servers.h"
#include "support/TestData.h"
#include "update/DirectoryUtils.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;

namespace
{

std::string File(const std::string& Name, const std::string& Size, const std::string& Modified = "20240131120002")
{
    return "<file name=\"" + Name + "\" size=\"" + Size + "\" modified=\"" + Modified + "\"/>";
}

std::string Dir(const std::string& Name, const std::string& Body)
{
    return "<directory name=\"" + Name + "\" modified=\"20240101000000\">" + Body + "</directory>";
}

xml::IXMLNodePtr Index(const std::string& Body)
{
    return xml::LoadXMLNodeFromString("<update>" + Body + "</update>");
}

/// The installation directories of AppDir.
std::vector<fs::path> Installations(const fs::path& AppDir)
{
    std::vector<fs::path> found;
    for (auto& e : fs::directory_iterator(AppDir))
        if (e.is_directory())
            found.push_back(e.path());
    return found;
}

bool HasTemporaryFiles(const fs::path& Dir)
{
    for (auto& e : fs::recursive_directory_iterator(Dir))
        if (e.path().string().find(TemporarySuffix) != std::string::npos)
            return true;
    return false;
}

/// How many requests the server received for Path.
int RequestsFor(const TFixtureServer& Server, const std::string& Path)
{
    int n = 0;
    for (const auto& r : Server.Requests())
        n += r["path"] == Path ? 1 : 0;
    return n;
}

struct UpdateIntegrity : ::testing::Test
{
    TUpdateViews Views;
    TempDir Temp;
    TFixtureServer Server;
};

} // namespace

TEST_F(UpdateIntegrity, SizesThatDisagreeWithTheBodyOrCannotBeTrueFailAndNothingIsMarkedComplete)
{
    const std::string gz = Compress(std::string(5000, 'u'), true);
    struct TCase
    {
        std::string Name;
        std::string Body;      ///< index entries
        nlohmann::json Answer; ///< for /<Name>/bin/app.exe (and /<Name>/bin/data.txt.gz)
        std::string Message;   ///< empty: accepted; a regular expression otherwise
        bool Refused;          ///< refused by the cache check, before anything is written or fetched
    };
    const TCase cases[] = {
        {"negative",
         Dir("bin", File("app.exe", "-5")),
         {{"body", "x"}},
         R"(Bad size in the update index: "bin\\app\.exe" has size "-5"\.)",
         true},
        {"overflow",
         File("a.bin", "9223372036854775000") + Dir("bin", File("app.exe", "808")),
         {{"body", "x"}},
         R"(Bad size in the update index: "bin\\app\.exe" has size "808", and the sizes add up to more than )"
         R"(9223372036854775807\.)",
         true},
        {"short",
         Dir("bin", File("app.exe", "1024")),
         {{"body", std::string(1000, 's')}},
         R"(The download of "bin\\app\.exe" has 1000 bytes, the update index says 1024\.)",
         false},
        {"past32bits",
         Dir("bin", File("app.exe", "5000000000")),
         {{"body", std::string(10, 's')}},
         R"(The download of "bin\\app\.exe" has 10 bytes, the update index says 5000000000\.)",
         false},
        // The server stalls after 2000 bytes: only a transfer stopped at the excess ends with the size error.
        {"long",
         Dir("bin", File("app.exe", "1024")),
         {{"body", std::string(100000, 'l')}, {"stall_after", 2000}, {"stall", 30}},
         R"(The download of "bin\\app\.exe" has at least (1[0-9]{3}|2000) bytes, the update index says 1024\.)",
         false},
        // Counted after the content coding: a few dozen bytes on the wire, 5000 in the file.
        {"codedlong",
         Dir("bin", File("app.exe", "1024")),
         {{"body", std::string(5000, 'c')}, {"encode", "gzip"}},
         R"(The download of "bin\\app\.exe" has at least [0-9]+ bytes, the update index says 1024\.)",
         false},
        // A ".gz" file's size is its compressed size; what it unpacks to may differ.
        {"gzfile",
         Dir("bin", File("data.txt.gz", std::to_string(gz.size()))),
         {{"body", TFixtureServer::Bytes(gz)}},
         "",
         false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        fs::path appDir = Temp / c.Name;
        fs::create_directories(appDir);
        Server.Answer("/" + c.Name + "/bin/app.exe", c.Answer);
        Server.Answer("/" + c.Name + "/bin/data.txt.gz", c.Answer);
        auto root = Index(c.Body);
        std::string message;
        try
        {
            RunUpdate(root, appDir, Temp / "no-old-layout", Server.URL("/" + c.Name + "/"));
        }
        catch (const EBadSize& e)
        {
            message = e.Message;
        }
        if (c.Message.empty())
        {
            EXPECT_EQ(message, "");
            fs::path dir = root->Attributes("local_name");
            EXPECT_EQ(ReadBytes(dir / "bin" / "data.txt"), std::string(5000, 'u'));
            EXPECT_TRUE(fs::exists(dir / "index.xml"));
            continue;
        }
        EXPECT_TRUE(std::regex_match(message, std::regex(c.Message))) << message;
        if (c.Refused)
        {
            EXPECT_TRUE(Installations(appDir).empty());
            EXPECT_EQ(RequestsFor(Server, "/" + c.Name + "/bin/app.exe"), 0);
            continue;
        }
        fs::path dir = root->Attributes("local_name");
        EXPECT_FALSE(fs::exists(dir / "bin" / "app.exe"));
        EXPECT_FALSE(HasTemporaryFiles(dir));
        EXPECT_FALSE(fs::exists(dir / "index.xml")); // the next start fetches it again
    }
}

TEST_F(UpdateIntegrity, FilesStampedWithTheRoundedTimeOfAnOddModifiedAreUpToDate)
{
    struct TCase
    {
        std::string Modified;
        TIndexTime OnDisk;
        bool Needed;
    };
    const TCase cases[] = {
        {"20240131120003", {2024, 1, 31, 12, 0, 3}, false}, // exact
        {"20240131120003", {2024, 1, 31, 12, 0, 2}, false}, // rounded down as downloads are stamped
        {"20240131120003", {2024, 1, 31, 12, 0, 4}, true},  {"20240131120003", {2024, 1, 31, 12, 0, 1}, true},
        {"20240131120002", {2024, 1, 31, 12, 0, 2}, false}, // exact
        {"20240131120002", {2024, 1, 31, 12, 0, 3}, true},  // one second off an even time
        {"20240131120002", {2024, 1, 31, 12, 0, 1}, true},  {"20240131235959", {2024, 1, 31, 23, 59, 58}, false},
        {"20240131235959", {2024, 2, 1, 0, 0, 0}, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Modified + " on disk " + FormatIndexTime(c.OnDisk));
        TempDir temp;
        auto root = Index(File("a.bin", "7", c.Modified));
        fs::path dir = temp / "app" / ("APP#" + InstallationIdentity(*root));
        WriteBytes(dir / "a.bin", "content");
        SetTime(dir / "a.bin", c.OnDisk);
        bool isNew = false;
        CheckUpdateCache(root, isNew, temp / "app", temp / "cwd");
        EXPECT_EQ(root->Attributes("total_update_size"), c.Needed ? "7" : "0");
    }
}

TEST_F(UpdateIntegrity, AnInterruptedUpdateOfOddSecondFilesDoesNotFetchThemAgain)
{
    fs::path appDir = Temp / "app";
    fs::create_directories(appDir);
    Server.Answer("/c/a.bin", nlohmann::json{{"body", "0123456"}});
    const std::string body = File("a.bin", "7", "20240131120003") + File("b.bin", "3", "20240131120005");
    Server.Answer("/c/b.bin", nlohmann::json{{"status", 404}});
    // One file after another: the failure of the second must not cut the first short.
    TUpdateRunner runner;
    runner.Connections = 1;
    EXPECT_THROW(RunUpdate(Index(body), appDir, Temp / "cwd", Server.URL("/c/"), "", &runner), EHTTPDataProvider);

    Server.Answer("/c/b.bin", nlohmann::json{{"body", "xyz"}});
    fs::path dir = RunUpdate(Index(body), appDir, Temp / "cwd", Server.URL("/c/"), "", &runner);
    EXPECT_EQ(RequestsFor(Server, "/c/a.bin"), 1);
    EXPECT_EQ(RequestsFor(Server, "/c/b.bin"), 2);
    EXPECT_EQ(GetTime(dir / "a.bin"), (TIndexTime{2024, 1, 31, 12, 0, 2}));
    EXPECT_TRUE(fs::exists(dir / "index.xml"));
}

TEST_F(UpdateIntegrity, TheFilesAreFlushedToDiskAfterUnpackingAndBeforeTheIndexMarksThemComplete)
{
    fs::path appDir = Temp / "app";
    fs::create_directories(appDir);
    TempDir pack;
    WriteBytes(pack / "res" / "skin.dat", "packed");
    Make7z(pack.Path(), (pack / "res.7z").string(), "res");
    const std::string archive = ReadBytes(pack / "res.7z");
    Server.Answer("/c/res.7z", nlohmann::json{{"body", TFixtureServer::Bytes(archive)}});
    Server.Answer("/c/a.bin", nlohmann::json{{"body", "0123456"}});
    const std::string body = File("a.bin", "7") + File("res.7z", std::to_string(archive.size()));

    std::vector<std::string> seen;
    auto recordingFlush = [&](const fs::path& Dir) {
        seen.push_back(ReadBytes(Dir / "a.bin") + " " + ReadBytes(Dir / "res" / "skin.dat") + " index " +
                       (fs::exists(Dir / "index.xml") ? "written" : "absent"));
        platform::FlushToDisk(Dir);
    };
    TUpdateRunner runner;
    UpdateInstallation(Index(body), runner, Server.URL("/c/"), "", {}, appDir, Temp / "cwd", recordingFlush);
    EXPECT_EQ(seen, (std::vector<std::string>{"0123456 packed index absent"}));

    // A flush that fails leaves the installation incomplete.
    auto failingFlush = [](const fs::path& Dir) { throw EOSError(5, "Input/output error\r\nPath: " + Dir.string()); };
    auto other = Index(body + File("b.bin", "7"));
    Server.Answer("/c/b.bin", nlohmann::json{{"body", "6543210"}});
    EXPECT_THROW(UpdateInstallation(other, runner, Server.URL("/c/"), "", {}, appDir, Temp / "cwd", failingFlush),
                 EOSError);
    EXPECT_FALSE(fs::exists(fs::path(other->Attributes("local_name")) / "index.xml"));
}

TEST_F(UpdateIntegrity, WaitingForAnotherLauncherShowsWhyAndCancelEndsWithAMessage)
{
    fs::path appDir = Temp / "app";
    fs::create_directories(appDir);
    platform::TFileLock other;
    ASSERT_TRUE(other.TryLock(appDir / UpdateLockFileName));
    std::string shown;
    Views.Views.ModalWait.OnShow = [&](TWaitWindow Window, const std::function<void()>& Cancel) {
        EXPECT_EQ(Window, TWaitWindow::wwUpdater);
        shown = Views.Progress.Files.empty() ? "" : Views.Progress.Files.back();
        Cancel();
    };
    try
    {
        RunUpdate(Index(File("a.bin", "7")), appDir, Temp / "cwd", Server.URL("/c/"));
        FAIL() << "no error";
    }
    catch (const EInformationException& e)
    {
        EXPECT_EQ(e.Message, "Another launcher is updating this installation. Please try again when it has finished.");
    }
    EXPECT_EQ(shown, "Another launcher is updating this installation; waiting...");
    EXPECT_TRUE(Installations(appDir).empty());
    EXPECT_TRUE(Server.Requests().empty());

    // Once the other launcher is done, the wait ends by itself.
    Views.Views.ModalWait.OnShow = [&](TWaitWindow, const std::function<void()>&) { other.Unlock(); };
    Server.Answer("/c/a.bin", nlohmann::json{{"body", "0123456"}});
    fs::path dir = RunUpdate(Index(File("a.bin", "7")), appDir, Temp / "cwd", Server.URL("/c/"));
    EXPECT_EQ(ReadBytes(dir / "a.bin"), "0123456");
}

TEST_F(UpdateIntegrity, TwoLaunchersOnOneInstallationDownloadOnceAndBothEndWithTheCompleteTree)
{
    fs::path appDir = Temp / "app";
    fs::create_directories(appDir);
    const std::string slow(300000, 's');
    Server.Answer(
        "/c/index.xml",
        nlohmann::json{{"body", "<update>" + File("a.bin", "7", "20240131120003") +
                                    Dir("bin", File("slow.bin", std::to_string(slow.size()))) + "</update>"}});
    Server.Answer("/c/a.bin", nlohmann::json{{"body", "0123456"}});
    // The slow file is held back until the second launcher is known to wait.
    const fs::path release = Temp / "release";
    Server.Answer("/c/bin/slow.bin", nlohmann::json{{"body", slow}, {"hold_until", release.string()}});

    TChildProcess first({UPDATE_CHILD, appDir.string(), Server.URL("/c/")}, Temp / "first.log");
    for (int i = 0; i < 3000 && RequestsFor(Server, "/c/bin/slow.bin") == 0 && first.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(RequestsFor(Server, "/c/bin/slow.bin"), 1) << ReadBytes(Temp / "first.log");

    TChildProcess second({UPDATE_CHILD, appDir.string(), Server.URL("/c/")}, Temp / "second.log");
    std::string line;
    ASSERT_TRUE(second.ReadLine(line, 60000)) << ReadBytes(Temp / "second.log");
    EXPECT_EQ(line, "WAITING");
    WriteBytes(release, "");

    std::string firstDone, secondDone;
    ASSERT_TRUE(first.ReadLine(firstDone, 60000)) << ReadBytes(Temp / "first.log");
    ASSERT_TRUE(second.ReadLine(secondDone, 60000)) << ReadBytes(Temp / "second.log");
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    auto installations = Installations(appDir);
    ASSERT_EQ(installations.size(), 1u);
    EXPECT_EQ(firstDone, "DONE " + installations.front().string() + "/");
    EXPECT_EQ(secondDone, firstDone);
    EXPECT_EQ(RequestsFor(Server, "/c/a.bin"), 1);
    EXPECT_EQ(RequestsFor(Server, "/c/bin/slow.bin"), 1);
    EXPECT_EQ(ReadBytes(installations.front() / "a.bin"), "0123456");
    EXPECT_EQ(ReadBytes(installations.front() / "bin" / "slow.bin"), slow);
    EXPECT_TRUE(fs::exists(installations.front() / "index.xml"));
    EXPECT_FALSE(HasTemporaryFiles(installations.front()));
}
