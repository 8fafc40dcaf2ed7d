#include "UpdateFlow.h"
#include "UpdateTestUtil.h"
#include "exception_dialog/SmartException.h"
#include "net/HTTPDataProvider.h"
#include "support/Servers.h"
#include "support/TestData.h"
#include "update/DirectoryUtils.h"
#include "update/UpdateErrors.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <thread>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;

namespace
{

std::string RandomBytes(size_t Size, unsigned Seed)
{
    std::mt19937 gen(Seed);
    std::string out(Size, '\0');
    for (auto& c : out)
        c = static_cast<char>(gen());
    return out;
}

std::string TextBytes(size_t Size)
{
    std::string out;
    while (out.size() < Size)
        out += "line " + std::to_string(out.size()) + " of a language file\n";
    out.resize(Size);
    return out;
}

/// Bytes compressed as a gzip file.
std::string GzipBytes(const std::string& Bytes)
{
    return test::Compress(Bytes, true);
}

/// Bytes as the fixture server's body text takes them (each byte one Latin-1 character).
std::string Latin1(const std::string& Bytes)
{
    std::string out;
    for (unsigned char c : Bytes)
    {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
        {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

/// The published tree as the launcher installs it: gzip companions stand for their originals, archives are
/// unpacked beside themselves (those files are checked on their own).
bool NotInstalledAsPublished(const std::string& Rel)
{
    return Rel.size() > 3 && Rel.compare(Rel.size() - 3, 3, ".gz") == 0;
}

bool FromArchive(const std::string& Rel)
{
    return Rel.rfind("res/", 0) == 0 || Rel == "res";
}

/// Runs orb-make-index on Dir with extra arguments; fails the test when it does not succeed.
void Publish(const fs::path& Dir, const std::string& Arguments = "")
{
    RunIn(Dir, std::string("'") + ORB_MAKE_INDEX + "' " + Arguments + " .");
    RunIn(Dir, "chmod -R a+rX .");
}

/// nginx with gzip content coding on for ".gz" files, so that both codings stack.
TNginxOptions StackedCodings()
{
    TNginxOptions options;
    options.ServerDirectives = "    location ~ \\.gz$ { gzip on; gzip_types *; gzip_min_length 0; }\n";
    return options;
}

/// A client tree: binaries, a gzipped text, a nested directory and a 7z archive made with 7zz.
void MakeClientTree(const fs::path& Dir)
{
    WriteBytes(Dir / "bin" / "client.exe", RandomBytes(300000, 1));
    WriteBytes(Dir / "bin" / "lang" / "de.ini", TextBytes(50000));
    WriteBytes(Dir / "bin" / "exact.dat", RandomBytes(1024, 2));
    WriteBytes(Dir / "version.info", "4.7.0.15\n");
    WriteBytes(Dir / "a b#c?d%.txt", "odd name");
    TempDir pack;
    WriteBytes(pack / "res" / "skin.dat", RandomBytes(20000, 3));
    WriteBytes(pack / "res" / "readme.txt", "packed");
    Make7z(pack.Path(), (Dir / "res.7z").string(), "res");
    SetLocalFileTime(Dir / "bin" / "client.exe", {2024, 1, 31, 12, 0, 3});
}

struct TWorkerFixture : ::testing::Test
{
    TUpdateViews Views;
    TempDir Temp;
    fs::path AppDir = Temp / "app";
    fs::path OldDir = Temp / "cwd";
    void SetUp() override
    {
        fs::create_directories(AppDir);
        fs::create_directories(OldDir);
    }

    /// An index ready for the worker: files marked for download into Dir.
    xml::IXMLNodePtr WorkerIndex(const fs::path& Dir, const std::string& Body, const std::string& Total = "100")
    {
        fs::create_directories(Dir);
        auto root = xml::LoadXMLNodeFromString("<update>" + Body + "</update>");
        root->SetAttribute("local_name", (Dir / "").string());
        root->SetAttribute("total_update_size", Total);
        return root;
    }

    static std::string Entry(const std::string& Name, const std::string& Size = "10", const std::string& Extra = "")
    {
        return "<file name=\"" + Name + "\" size=\"" + Size +
               "\" modified=\"20240131120002\" need_for_update=\"true\"" + Extra + "/>";
    }

    static void ExpectNoTemporaryFiles(const fs::path& Dir)
    {
        for (auto& e : fs::recursive_directory_iterator(Dir))
            EXPECT_EQ(e.path().string().find(TemporarySuffix), std::string::npos) << e.path();
    }
};

using UpdateThread = TWorkerFixture;

} // namespace

TEST(UpdateProgressText, CountsWholeKilobytesAndRoundsPercentHalfToEven)
{
    struct TCase
    {
        int64_t Done, Size;
        std::string Text;
        int Position;
    };
    const TCase cases[] = {
        {0, 1024, "0 of 2 KB", 0},      {1023, 1024, "0 of 2 KB", 100},
        {1024, 1024, "1 of 2 KB", 100}, {0, 1023, "0 of 1 KB", 0},
        {1, 200, "0 of 1 KB", 0},       {1, 40, "0 of 1 KB", 2},
        {1, 200, "0 of 1 KB", 0},       {3, 200, "0 of 1 KB", 2},
        {5, 200, "0 of 1 KB", 2},       {7, 200, "0 of 1 KB", 4},
        {2048, 4096, "2 of 5 KB", 50},  {5000000000, 10000000000, "4882812 of 9765626 KB", 50},
        {10, 0, "0 of 1 KB", 0},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ProgressText(c.Done, c.Size), c.Text) << c.Done << "/" << c.Size;
        EXPECT_EQ(ProgressPosition(c.Done, c.Size), c.Position) << c.Done << "/" << c.Size;
    }
}

TEST(UpdateProgressText, DownloadAddressesKeepTheUrlMeaningOfEveryName)
{
    EXPECT_EQ(DownloadAddress("http://h/u/", "bin\\x.dll"), "http://h/u/bin/x.dll");
    EXPECT_EQ(DownloadAddress("http://h/u/", "a b#c?d%.txt"), "http://h/u/a%20b%23c%3Fd%25.txt");
    EXPECT_EQ(DownloadAddress("http://h/u/", "\xC3\xA9t\xC3\xA9\\f(1)+~.x"), "http://h/u/%C3%A9t%C3%A9/f(1)+~.x");
}

TEST_F(UpdateThread, FirstInstallFromNginxMatchesThePublishedTreeAndASecondCheckFindsEverything)
{
    TNginxServer nginx(StackedCodings());
    fs::path published = nginx.Root() / "client";
    MakeClientTree(published);
    Publish(published, "--gzip '*.ini'");
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/client/";

    // The ".gz" file really travels with gzip content coding on top.
    THTTPDataProvider probe;
    probe.URL.SetURL(base + "bin/lang/de.ini.gz");
    std::string ignored;
    probe.GetString(ignored);
    EXPECT_EQ(probe.HTTP_Client.Response.Header("Content-Encoding"), "gzip");

    auto root = xml::LoadXMLNodeFromFile(published / "index.xml");
    fs::path dir = RunUpdate(root, AppDir, OldDir, base);

    EXPECT_EQ(TreeListing(dir, FromArchive), TreeListing(published, NotInstalledAsPublished));
    EXPECT_EQ(ReadBytes(dir / "bin" / "lang" / "de.ini"), TextBytes(50000));
    EXPECT_FALSE(fs::exists(dir / "bin" / "lang" / "de.ini.gz"));
    EXPECT_EQ(ReadBytes(dir / "res" / "readme.txt"), "packed");
    EXPECT_EQ(GetTime(dir / "bin" / "client.exe"), (TIndexTime{2024, 1, 31, 12, 0, 2})); // 2-second rounding
    EXPECT_EQ(Views.Progress.LoginWindowVisible, (std::vector<bool>{false, true}));
    EXPECT_EQ(Views.Views.ModalWait.Closed, (std::vector<TWaitWindow>{TWaitWindow::wwUpdater}));
    ASSERT_FALSE(Views.Progress.TotalPositions.empty());
    EXPECT_EQ(Views.Progress.TotalPositions.back(), 100);
    ExpectNoTemporaryFiles(dir);

    SetLocalFileTime(dir, {2020, 1, 1, 0, 0, 0});
    auto again = xml::LoadXMLNodeFromFile(published / "index.xml");
    bool isNew = true;
    CheckUpdateCache(again, isNew, AppDir, OldDir);
    EXPECT_FALSE(isNew);
    EXPECT_EQ(again->Attributes("local_name"), (dir / "").string());
    EXPECT_EQ(again->Attributes("total_update_size"), "0");
    EXPECT_GE(GetTime(dir).Year, 2025);
}

TEST_F(UpdateThread, ANewIndexDownloadsOnlyWhatChanged)
{
    TNginxServer nginx;
    fs::path published = nginx.Root() / "client";
    MakeClientTree(published);
    Publish(published);
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/client/";
    fs::path first = RunUpdate(xml::LoadXMLNodeFromFile(published / "index.xml"), AppDir, OldDir, base);

    WriteBytes(published / "bin" / "exact.dat", RandomBytes(2000, 9));
    Publish(published);
    auto root = xml::LoadXMLNodeFromFile(published / "index.xml");
    Views.Progress.Files.clear();
    fs::path second = RunUpdate(root, AppDir, OldDir, base);

    EXPECT_NE(first, second);
    EXPECT_EQ(root->Attributes("total_update_size"), "2000");
    EXPECT_EQ(Views.Progress.Files.front(), "bin\\exact.dat");
    EXPECT_EQ(TreeListing(second, FromArchive), TreeListing(published, NotInstalledAsPublished));
}

TEST_F(UpdateThread, PrivateFilesComeFromThePrivateBaseAndGzNamesAreUnpackedIgnoringCase)
{
    TNginxServer nginx;
    WriteBytes(nginx.Root() / "public" / "bin" / "pub.dll", "public file");
    WriteBytes(nginx.Root() / "private" / "acct" / "bin" / "x.dll", "private file");
    TempDir gz;
    WriteBytes(gz / "data", "unpacked data");
    RunIn(gz.Path(), "gzip -n data && mv data.gz '" + (nginx.Root() / "public" / "data.GZ").string() + "'");
    RunIn(nginx.Root(), "chmod -R a+rX .");
    std::string port = std::to_string(nginx.HttpPort());
    fs::path dir = Temp / "install";
    auto root =
        WorkerIndex(dir, "<directory name=\"bin\">" + Entry("pub.dll", "11") +
                             Entry("x.dll", "12", " private=\"true\"") + "</directory>" + Entry("data.GZ", "33"));

    TUpdateRunner runner;
    runner.UpdateComponents(root, "http://127.0.0.1:" + port + "/public/",
                            "http://127.0.0.1:" + port + "/private/acct/");

    EXPECT_EQ(ReadBytes(dir / "bin" / "pub.dll"), "public file");
    EXPECT_EQ(ReadBytes(dir / "bin" / "x.dll"), "private file");
    EXPECT_EQ(ReadBytes(dir / "data"), "unpacked data");
    EXPECT_FALSE(fs::exists(dir / "data.GZ"));
    EXPECT_EQ(GetTime(dir / "data"), (TIndexTime{2024, 1, 31, 12, 0, 2}));
}

TEST_F(UpdateThread, ContentCodedDownloadsArriveByteExactAndGzFilesAreUnpackedAfterTheCoding)
{
    TFixtureServer server;
    const std::string binary = RandomBytes(700000, 11);
    const std::string text = TextBytes(900000);
    struct TCase
    {
        std::string Name, Local;
        nlohmann::json Answer;
        std::string Expected;
    };
    const TCase cases[] = {
        {"gzip.bin", "gzip.bin", {{"body", Latin1(binary)}, {"encode", "gzip"}}, binary},
        {"deflate.bin", "deflate.bin", {{"body", Latin1(binary)}, {"encode", "deflate"}}, binary},
        {"text.ini", "text.ini", {{"body", Latin1(text)}, {"encode", "gzip"}, {"content_encoding", "GZIP"}}, text},
        {"plain.bin", "plain.bin", {{"body", Latin1(binary)}}, binary},
        // A ".gz" file with gzip content coding on top is decoded twice.
        {"twice.ini.gz", "twice.ini", {{"body", Latin1(GzipBytes(text))}, {"encode", "gzip"}}, text},
        {"twice.bin.gz", "twice.bin", {{"body", Latin1(GzipBytes(binary))}, {"encode", "deflate"}}, binary},
    };
    std::string entries;
    for (const auto& c : cases)
    {
        server.Answer("/b/" + c.Name, c.Answer);
        // The size as served: after the content coding, before a ".gz" file is unpacked.
        size_t served = c.Name.ends_with(".gz") ? GzipBytes(c.Expected).size() : c.Expected.size();
        entries += Entry(c.Name, std::to_string(served));
    }
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, entries, "100000000");
    for (const auto& c : cases)
        WriteBytes(dir / c.Local, "previous version");
    TUpdateRunner runner;
    runner.ProgressInterval = std::chrono::milliseconds(0);
    runner.UpdateComponents(root, server.URL("/b/"), "");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        std::string got = ReadBytes(dir / c.Local);
        EXPECT_EQ(got.size(), c.Expected.size());
        EXPECT_TRUE(got == c.Expected);
        EXPECT_EQ(GetTime(dir / c.Local), (TIndexTime{2024, 1, 31, 12, 0, 2}));
    }
    EXPECT_FALSE(fs::exists(dir / "twice.ini.gz"));
    ExpectNoTemporaryFiles(dir);
}

TEST_F(UpdateThread, StatusErrorIsReportedWithHeadersBodyAndAddress)
{
    TFixtureServer server;
    server.Answer("/base/bin/a.bin", nlohmann::json{{"status", 403},
                                                    {"reason", "Forbidden"},
                                                    {"headers", {{"X-Reason", "closed"}}},
                                                    {"body", "no access for you"}});
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, "<directory name=\"bin\">" + Entry("a.bin") + "</directory>");
    TUpdateRunner runner;
    try
    {
        runner.UpdateComponents(root, server.URL("/base/"), "");
        FAIL() << "no error";
    }
    catch (const ESmartException& e)
    {
        EXPECT_EQ(e.Sender, "TApplication");
        EXPECT_NE(e.Message.find("403"), std::string::npos) << e.Message;
        EXPECT_NE(e.Details.find("X-Reason: closed\r\n"), std::string::npos) << e.Details;
        EXPECT_NE(e.Details.find("\r\nno access for you\r\n\r\nURL: " + server.URL("/base/bin/a.bin")),
                  std::string::npos)
            << e.Details;
        EXPECT_TRUE(e.ParentException);
        // The report shows where the status error was raised in the worker, not where it was wrapped.
        EXPECT_EQ(SmartExceptionReport().SavedCallStack().rfind("HTTPDataProvider.cpp => ", 0), 0u)
            << SmartExceptionReport().SavedCallStack();
    }
    EXPECT_FALSE(fs::exists(dir / "bin" / "a.bin"));
    EXPECT_EQ(Views.Progress.LoginWindowVisible, (std::vector<bool>{false, true}));
}

TEST_F(UpdateThread, FailuresPassThroughAndLeaveThePreviousTargetUntouched)
{
    TFixtureServer server;
    std::string big(200000, 'b');
    server.Answer("/b/missing.bin", nlohmann::json{{"status", 404}});
    server.Answer("/b/dropped.bin", nlohmann::json{{"body", big}, {"drop_after", 5000}});
    server.Answer("/b/bad.txt.gz", nlohmann::json{{"body", "this is not gzip data"}});
    server.Answer("/b/cut.txt.gz",
                  nlohmann::json{{"body", Latin1(std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10))}});
    // A content-coded body whose stream stops early, though the transfer itself is complete.
    std::string coded = GzipBytes(RandomBytes(200000, 5));
    server.Answer("/b/cutcoded.bin",
                  nlohmann::json{{"body", Latin1(coded.substr(0, coded.size() - 1000))}, {"content_encoding", "gzip"}});
    server.Answer("/b/droppedcoded.bin", nlohmann::json{{"body", big}, {"encode", "deflate"}, {"drop_after", 100}});
    struct TCase
    {
        std::string Name, Local, Size;
        std::function<void(const std::exception_ptr&)> Check;
    };
    const TCase cases[] = {
        {"missing.bin", "missing.bin", "10",
         [](const std::exception_ptr& e) {
             try
             {
                 std::rethrow_exception(e);
             }
             catch (const EHTTPDataProvider& error)
             {
                 EXPECT_EQ(error.ErrorCode, httpNotFound);
             }
         }},
        {"dropped.bin", "dropped.bin", "200000", [](const std::exception_ptr& e) { EXPECT_TRUE(e); }},
        {"bad.txt.gz", "bad.txt", "21",
         [](const std::exception_ptr& e) { EXPECT_THROW(std::rethrow_exception(e), EDecompressionError); }},
        {"cut.txt.gz", "cut.txt", "10",
         [](const std::exception_ptr& e) { EXPECT_THROW(std::rethrow_exception(e), EDecompressionError); }},
        {"cutcoded.bin", "cutcoded.bin", "200000",
         [](const std::exception_ptr& e) { EXPECT_THROW(std::rethrow_exception(e), EDecompressionError); }},
        // A dropped connection is tried again; after the last attempt the failure names every attempt.
        {"droppedcoded.bin", "droppedcoded.bin", "200000",
         [](const std::exception_ptr& e) {
             try
             {
                 std::rethrow_exception(e);
             }
             catch (const ESmartException& error)
             {
                 EXPECT_THROW(std::rethrow_exception(error.ParentException), EConnectionClosed);
                 EXPECT_NE(error.Details.find("Attempt 3: "), std::string::npos) << error.Details;
             }
         }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        fs::path dir = Temp / ("install-" + c.Name);
        auto root = WorkerIndex(dir, Entry(c.Name, c.Size));
        WriteBytes(dir / c.Local, "previous version");
        std::exception_ptr error;
        try
        {
            TUpdateRunner runner;
            runner.RetryDelay = std::chrono::milliseconds(1);
            runner.UpdateComponents(root, server.URL("/b/"), "");
        }
        catch (...)
        {
            error = std::current_exception();
        }
        ASSERT_TRUE(error);
        c.Check(error);
        EXPECT_EQ(ReadBytes(dir / c.Local), "previous version");
        ExpectNoTemporaryFiles(dir);
    }
}

TEST_F(UpdateThread, MalformedEntriesEndTheUpdateWithTheirMessages)
{
    struct TCase
    {
        std::string Body, Message;
    };
    const TCase cases[] = {
        {Entry("a.bin", "0"), "File size of \"a.bin\" is 0"},
        {"<directory name=\"d\">" + Entry("a.bin", "-5") + "</directory>", "File size of \"d\\a.bin\" is -5"},
        {Entry("a.bin", "x"), "Wrong value for field \"size\" : \"x\""},
        {"<file name=\"a\" size=\"1\" modified=\"2024\" need_for_update=\"true\"/>", "Wrong date: \"2024\""},
        {"<link name=\"a\"/>", "UpdateDirectory: Unknown node name: link"},
        {Entry(".."), "Unsafe name in the update index: \"..\""},
        {Entry("..GZ"), "Unsafe name in the update index: \"..GZ\""},
        {"<directory name=\"..\">" + Entry("a") + "</directory>", "Unsafe name in the update index: \"..\""},
        {Entry("a/../../b"), "Unsafe name in the update index: \"a/../../b\""},
    };
    for (const auto& c : cases)
    {
        fs::path dir = Temp / "install" / "inner";
        auto root = WorkerIndex(dir, c.Body);
        try
        {
            TUpdateRunner().UpdateComponents(root, "http://127.0.0.1:9/", "");
            ADD_FAILURE() << "no error for " << c.Body;
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.Message, c.Message) << c.Body;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(Temp / "install"), fs::directory_iterator()), 1) << c.Body;
    }
}

TEST_F(UpdateThread, CancelDuringADownloadRaisesTheCancellationAndKeepsThePreviousFile)
{
    TFixtureServer server;
    server.Answer("/b/slow.bin",
                  nlohmann::json{{"body", std::string(100000, 's')}, {"stall_after", 5000}, {"stall", 30}});
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, Entry("slow.bin", "100000") + Entry("next.bin"));
    WriteBytes(dir / "slow.bin", "previous version");
    TUpdateRunner runner;
    runner.ProgressInterval = std::chrono::milliseconds(0);
    bool cancelled = false;
    Views.Progress.OnReport = [&] {
        if (!cancelled && Views.Progress.FileTexts.back() != "0 of 98 KB")
        {
            cancelled = true;
            EXPECT_FALSE(runner.FormCloseQuery()); // the window refuses to close while the worker runs
            runner.Button_CancelClick();
        }
    };
    try
    {
        runner.UpdateComponents(root, server.URL("/b/"), "");
        FAIL() << "no error";
    }
    catch (const EHTTPDataProvider& e)
    {
        EXPECT_EQ(e.ErrorCode, httpAborted);
        EXPECT_EQ(e.Message, RequestAbortedMessage());
    }
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(runner.FormCloseQuery());
    EXPECT_EQ(ReadBytes(dir / "slow.bin"), "previous version");
    EXPECT_FALSE(fs::exists(dir / "next.bin"));
    ExpectNoTemporaryFiles(dir);
    EXPECT_EQ(Views.Progress.LoginWindowVisible, (std::vector<bool>{false, true}));
}

TEST_F(UpdateThread, CancelBetweenTwoDownloadsRaisesTheCancellationToo)
{
    TFixtureServer server;
    server.Answer("/b/one.bin", nlohmann::json{{"body", "0123456789"}});
    server.Answer("/b/two.bin", nlohmann::json{{"body", "0123456789"}});
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, Entry("one.bin") + Entry("two.bin"), "20");
    TUpdateRunner runner;
    runner.Connections = 1; // one file after another, so that there is a moment between two downloads
    // The report at the end of the first file comes when no request is running.
    Views.Progress.OnReport = [&] {
        if (Views.Progress.TotalTexts.back() == "0 of 1 KB" && Views.Progress.FilePositions.back() == 100)
            runner.Button_CancelClick();
    };
    try
    {
        runner.UpdateComponents(root, server.URL("/b/"), "");
        FAIL() << "no error";
    }
    catch (const EHTTPDataProvider& e)
    {
        EXPECT_EQ(e.ErrorCode, httpAborted);
    }
    EXPECT_EQ(ReadBytes(dir / "one.bin"), "0123456789");
    EXPECT_FALSE(fs::exists(dir / "two.bin"));
}

TEST_F(UpdateThread, ProgressReachesTheWindowAtTheStartAndEndOfEachFileWhenThrottled)
{
    TFixtureServer server;
    server.Answer("/b/k.bin", nlohmann::json{{"body", std::string(1024, 'k')}});
    server.Answer("/b/big.bin", nlohmann::json{{"body", std::string(3000000, 'g')}});
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, Entry("k.bin", "1024") + Entry("big.bin", "3000000"), "3001024");
    TUpdateRunner runner;
    runner.ProgressInterval = std::chrono::hours(1);
    runner.Connections = 1; // one file after another: the reports of each file in turn
    runner.UpdateComponents(root, server.URL("/b/"), "");

    const auto& p = Views.Progress;
    EXPECT_EQ(p.Files, (std::vector<std::string>{"k.bin", "k.bin", "big.bin", "big.bin"}));
    EXPECT_EQ(p.FileTexts, (std::vector<std::string>{"0 of 2 KB", "1 of 2 KB", "0 of 2930 KB", "2929 of 2930 KB"}));
    EXPECT_EQ(p.FilePositions, (std::vector<int>{0, 100, 0, 100}));
    EXPECT_EQ(p.TotalTexts,
              (std::vector<std::string>{"0 of 2931 KB", "1 of 2931 KB", "1 of 2931 KB", "2930 of 2931 KB"}));
    EXPECT_EQ(p.TotalPositions, (std::vector<int>{0, 0, 0, 100}));
    EXPECT_EQ(ReadBytes(dir / "big.bin").size(), 3000000u);
}

TEST_F(UpdateThread, ProxySettingsAreTakenOnlyWhenEnabled)
{
    TProxySettings proxy{.Enabled = true, .Server = "proxy.local", .Port = 0, .Login = "u", .Password = "p"};
    TUpdateThread on(proxy);
    EXPECT_EQ(on.HTTP.HTTP_Client.ProxyServer, "proxy.local");
    EXPECT_EQ(on.HTTP.HTTP_Client.ProxyPort, 0);
    EXPECT_EQ(on.HTTP.HTTP_Client.ProxyUsername, "u");
    EXPECT_EQ(on.HTTP.HTTP_Client.ProxyPassword, "p");
    EXPECT_TRUE(on.HTTP.Compression());
    proxy.Enabled = false;
    TUpdateThread off(proxy);
    EXPECT_EQ(off.HTTP.HTTP_Client.ProxyServer, "");
}

TEST_F(UpdateThread, AProcessKilledMidUpdateIsCompletedByTheNextRunToTheSameTreeAsACleanInstall)
{
    TNginxOptions options;
    options.ServerDirectives = "    limit_rate 2m;\n";
    TNginxServer nginx(options);
    fs::path published = nginx.Root() / "client";
    for (int i = 0; i < 12; ++i)
        WriteBytes(published / "data" / ("part" + std::to_string(i) + ".bin"), RandomBytes(400000, 100 + i));
    MakeClientTree(published);
    Publish(published, "--gzip '*.ini'");
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/client/";
    fs::path killedApp = Temp / "killed";
    fs::create_directories(killedApp);

    {
        TChildProcess child({UPDATE_CHILD, killedApp.string(), base}, Temp / "child.log");
        // Wait until the child is in the middle of a download, with some files already complete.
        bool midway = false;
        for (int i = 0; i < 3000 && !midway && child.Running(); ++i)
        {
            int complete = 0;
            bool partial = false;
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(killedApp, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            {
                std::string name = it->path().filename().string();
                if (name.find(TemporarySuffix) != std::string::npos)
                    partial = true;
                else if (name.rfind("part", 0) == 0)
                    ++complete;
            }
            midway = partial && complete >= 3;
            if (!midway)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(midway) << "the child finished or failed before it could be stopped: "
                            << ReadBytes(Temp / "child.log");
        child.Stop();
    }
    fs::path installation;
    for (auto& e : fs::directory_iterator(killedApp))
        if (e.is_directory())
            installation = e.path();
    EXPECT_FALSE(fs::exists(installation / "index.xml")); // not marked complete

    TChildProcess rerun({UPDATE_CHILD, killedApp.string(), base}, Temp / "rerun.log");
    std::string line;
    ASSERT_TRUE(rerun.ReadLine(line, 60000)) << ReadBytes(Temp / "rerun.log");
    EXPECT_EQ(line, "DONE " + installation.string() + "/");
    EXPECT_EQ(rerun.Wait(), 0);

    fs::path clean = RunUpdate(xml::LoadXMLNodeFromFile(published / "index.xml"), AppDir, OldDir, base);
    EXPECT_EQ(TreeListing(installation), TreeListing(clean));
    ExpectNoTemporaryFiles(installation);
    EXPECT_TRUE(fs::exists(installation / "index.xml"));
}
