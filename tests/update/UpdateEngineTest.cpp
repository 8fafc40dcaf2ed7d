#include "UpdateFlow.h"
#include "UpdateTestUtil.h"
#include "exception_dialog/SmartException.h"
#include "net/HTTPDataProvider.h"
#include "support/Servers.h"
#include "support/TestData.h"
#include "update/DirectoryUtils.h"
#include "update/DownloadWriter.h"
#include "update/UpdateCache.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;

namespace
{

/// Printable bytes (the fixture server sends its body text as Latin-1), different for every Seed.
std::string Content(size_t Size, unsigned Seed)
{
    std::mt19937 gen(Seed);
    std::string out(Size, '\0');
    for (auto& c : out)
        c = static_cast<char>('a' + gen() % 26);
    return out;
}

std::string RandomBytes(size_t Size, unsigned Seed)
{
    std::mt19937 gen(Seed);
    std::string out(Size, '\0');
    for (auto& c : out)
        c = static_cast<char>(gen());
    return out;
}

std::string Entry(const std::string& Name, size_t Size, const std::string& Extra = "")
{
    return "<file name=\"" + Name + "\" size=\"" + std::to_string(Size) +
           "\" modified=\"20240131120002\" need_for_update=\"true\"" + Extra + "/>";
}

std::string Sha(const std::string& Bytes)
{
    return " sha256=\"" + Sha256Hex(Bytes) + "\"";
}

/// The requests the server received for Path, oldest first.
std::vector<nlohmann::json> RequestsFor(const TFixtureServer& Server, const std::string& Path)
{
    std::vector<nlohmann::json> out;
    for (const auto& r : Server.Requests())
        if (r["path"] == Path)
            out.push_back(r);
    return out;
}

bool HasTemporaryFiles(const fs::path& Dir)
{
    for (auto& e : fs::recursive_directory_iterator(Dir))
        if (e.path().string().find(TemporarySuffix) != std::string::npos)
            return true;
    return false;
}

/// The message of a failure, and the details when it is an ESmartException.
std::pair<std::string, std::string> Failure(const std::exception_ptr& E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const ESmartException& e)
    {
        return {e.Message, e.Details};
    }
    catch (const std::exception& e)
    {
        return {e.what(), ""};
    }
}

struct UpdateEngine : ::testing::Test
{
    TUpdateViews Views;
    TempDir Temp;
    TUpdateRunner Runner;

    void SetUp() override
    {
        Runner.ProgressInterval = std::chrono::milliseconds(0);
        Runner.RetryDelay = std::chrono::milliseconds(1);
    }

    xml::IXMLNodePtr WorkerIndex(const fs::path& Dir, const std::string& Body, int64_t Total)
    {
        fs::create_directories(Dir);
        auto root = xml::LoadXMLNodeFromString("<update>" + Body + "</update>");
        root->SetAttribute("local_name", (Dir / "").string());
        root->SetAttribute("total_update_size", std::to_string(Total));
        return root;
    }

    /// Runs the update of Root from Base; the failure, or null.
    std::exception_ptr Run(const xml::IXMLNodePtr& Root, const std::string& Base)
    {
        try
        {
            Runner.UpdateComponents(Root, Base, "");
            return nullptr;
        }
        catch (...)
        {
            return std::current_exception();
        }
    }
};

} // namespace

TEST_F(UpdateEngine, ManyFilesTravelOverAtMostTheConnectionsAskedForAndReuseThem)
{
    TFixtureServer server;
    std::string entries;
    std::vector<std::string> bodies;
    int64_t total = 0;
    for (int i = 0; i < 24; ++i)
    {
        bodies.push_back(Content(3000 + static_cast<size_t>(i) * 100, static_cast<unsigned>(i)));
        server.Answer("/b/f" + std::to_string(i), nlohmann::json{{"body", bodies.back()}});
        entries += Entry("f" + std::to_string(i), bodies.back().size());
        total += static_cast<int64_t>(bodies.back().size());
    }
    for (int connections : {1, 3})
    {
        SCOPED_TRACE(connections);
        const size_t before = server.Requests().size();
        fs::path dir = Temp / ("install" + std::to_string(connections));
        Runner.Connections = connections;
        Views.Progress = {};
        ASSERT_FALSE(Run(WorkerIndex(dir, entries, total), server.URL("/b/")));
        for (size_t i = 0; i < bodies.size(); ++i)
            EXPECT_EQ(ReadBytes(dir / ("f" + std::to_string(i))), bodies[i]);
        std::set<int> ports;
        const auto requests = server.Requests();
        for (size_t i = before; i < requests.size(); ++i)
            ports.insert(requests[i]["client_port"].get<int>());
        EXPECT_EQ(requests.size() - before, bodies.size());
        EXPECT_LE(ports.size(), static_cast<size_t>(connections));
        // The total bar counts every byte once and ends full.
        const auto& positions = Views.Progress.TotalPositions;
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.back(), 100);
        EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), 100);
        EXPECT_FALSE(HasTemporaryFiles(dir));
    }
}

TEST_F(UpdateEngine, AServerClosingKeptConnectionsAfterFiveRequestsIsReconnectedTransparently)
{
    TNginxOptions options;
    options.ServerDirectives = "    keepalive_requests 5;\n";
    options.LogFormat = "$connection $connection_requests $status";
    TNginxServer nginx(options);
    std::string entries;
    int64_t total = 0;
    for (int i = 0; i < 30; ++i)
    {
        const std::string body = RandomBytes(20000 + static_cast<size_t>(i), static_cast<unsigned>(i));
        nginx.WriteFile("u/d" + std::to_string(i) + ".bin", body);
        entries += Entry("d" + std::to_string(i) + ".bin", body.size(), Sha(body));
        total += static_cast<int64_t>(body.size());
    }
    RunIn(nginx.Root(), "chmod -R a+rX .");
    fs::path dir = Temp / "install";
    Runner.Connections = 2;
    ASSERT_FALSE(Run(WorkerIndex(dir, entries, total), "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/u/"));
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(ReadBytes(dir / ("d" + std::to_string(i) + ".bin")),
                  RandomBytes(20000 + static_cast<size_t>(i), static_cast<unsigned>(i)));
    // Every connection served up to five requests: six or more connections, each reused.
    std::ifstream log(nginx.AccessLog());
    std::map<std::string, int> perConnection;
    std::string line;
    while (std::getline(log, line))
    {
        std::istringstream fields(line);
        std::string connection, requests, status;
        fields >> connection >> requests >> status;
        EXPECT_EQ(status, "200") << line;
        ++perConnection[connection];
    }
    EXPECT_GE(perConnection.size(), 6u);
    for (const auto& [connection, count] : perConnection)
        EXPECT_LE(count, 5) << connection;
}

TEST_F(UpdateEngine, TransientFailuresAreTriedAgainAndPermanentOnesEndTheUpdateAtOnce)
{
    TFixtureServer server;
    const std::string body = Content(40000, 7);
    const nlohmann::json ok{{"body", body}};
    struct TCase
    {
        std::string Name;
        nlohmann::json First;
        size_t Requests;
        std::string Message; ///< "" when the update succeeds
    };
    const TCase cases[] = {
        {"drop", {{"body", body}, {"drop_after", 10000}}, 2, ""},
        {"reset", {{"body", body}, {"reset_after", 10000}}, 2, ""},
        {"502", {{"status", 502}, {"body", "bad gateway"}}, 2, ""},
        {"504", {{"status", 504}, {"body", "gateway time-out"}}, 2, ""},
        {"404", {{"status", 404}}, 1, "URL: " + server.URL("/t/404/f.bin") + " not found"},
        {"403", {{"status", 403}, {"reason", "Forbidden"}}, 1, "HTTP/1.1 403 Forbidden"},
        {"500",
         {{"status", 500}, {"reason", "Internal Server Error"}},
         1,
         "HTTP/1.1 500 Internal Server Error\r\nPlease restart your application. If the problem persists please "
         "contact Tech Support."},
        {"503",
         {{"status", 503}, {"headers", {{"Content-Type", "text/plain"}}}, {"body", "Schema Unavailable"}},
         1,
         "We are currently performing scheduled maintenance. We will be back soon!"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        const std::string path = "/t/" + c.Name + "/f.bin";
        server.Answer(path, std::vector<nlohmann::json>{c.First, ok});
        fs::path dir = Temp / c.Name;
        const auto error = Run(WorkerIndex(dir, Entry("f.bin", body.size()), 40000), server.URL("/t/" + c.Name + "/"));
        EXPECT_EQ(RequestsFor(server, path).size(), c.Requests);
        if (c.Message.empty())
        {
            EXPECT_FALSE(error) << Failure(error).first;
            EXPECT_EQ(ReadBytes(dir / "f.bin"), body);
        }
        else
        {
            ASSERT_TRUE(error);
            EXPECT_EQ(Failure(error).first, c.Message);
            EXPECT_FALSE(fs::exists(dir / "f.bin"));
        }
        EXPECT_FALSE(HasTemporaryFiles(dir));
    }
}

TEST_F(UpdateEngine, AFileFailingEveryAttemptNamesEachAttemptInTheDetails)
{
    TFixtureServer server;
    struct TCase
    {
        std::string Name;
        nlohmann::json Answer;
        std::string Failure; ///< what each attempt line ends with
    };
    const TCase cases[] = {
        {"gateway", {{"status", 502}, {"reason", "Bad Gateway"}}, "HTTP/1.1 502 Bad Gateway"},
        {"dropped", {{"body", Content(5000, 1)}, {"drop_after", 100}}, "Connection closed: "},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        server.Answer("/" + c.Name + "/f.bin", c.Answer);
        fs::path dir = Temp / c.Name;
        const auto error = Run(WorkerIndex(dir, Entry("f.bin", 5000), 5000), server.URL("/" + c.Name + "/"));
        ASSERT_TRUE(error);
        const auto [message, details] = Failure(error);
        EXPECT_EQ(RequestsFor(server, "/" + c.Name + "/f.bin").size(), 3u);
        for (int attempt = 1; attempt <= 3; ++attempt)
        {
            const std::string line =
                "Attempt " + std::to_string(attempt) + ": " + server.URL("/" + c.Name + "/f.bin") + ": " + c.Failure;
            EXPECT_NE(details.find(line), std::string::npos) << details;
        }
        EXPECT_EQ(details.find("Attempt 4"), std::string::npos) << details;
        EXPECT_FALSE(fs::exists(dir / "f.bin"));
    }
}

TEST_F(UpdateEngine, AnInterruptedDownloadContinuesOnlyWhereTheSameVersionCanBeContinued)
{
    TFixtureServer server;
    const std::string v1 = Content(60000, 1);
    const std::string v2 = Content(60000, 2);
    const nlohmann::json etag1 = {{"ETag", "\"v1\""}};
    const nlohmann::json etag2 = {{"ETag", "\"v2\""}};
    const std::string lastModified = "Wed, 31 Jan 2024 12:00:02 GMT";
    struct TCase
    {
        std::string Name;
        std::vector<nlohmann::json> Answers;
        std::string Sha256;                ///< the index's sha256 attribute, or ""
        std::vector<std::string> Ranges;   ///< the Range header of each request ("" for none)
        std::vector<std::string> IfRanges; ///< the If-Range header of each request
        std::string Expected;
    };
    const TCase cases[] = {
        {"continued",
         {{{"body", v1}, {"headers", etag1}, {"ranges", true}, {"drop_after", 25000}},
          {{"body", v1}, {"headers", etag1}, {"ranges", true}}},
         "",
         {"", "bytes=25000-"},
         {"", "\"v1\""},
         v1},
        {"last-modified only",
         {{{"body", v1}, {"headers", {{"Last-Modified", lastModified}}}, {"ranges", true}, {"drop_after", 25000}},
          {{"body", v1}, {"headers", {{"Last-Modified", lastModified}}}, {"ranges", true}}},
         Sha256Hex(v1),
         {"", "bytes=25000-"},
         {"", lastModified},
         v1},
        {"server without ranges",
         {{{"body", v1}, {"headers", etag1}, {"drop_after", 25000}}, {{"body", v1}, {"headers", etag1}}},
         "",
         {"", "bytes=25000-"},
         {"", "\"v1\""},
         v1},
        {"changed between the parts",
         {{{"body", v1}, {"headers", etag1}, {"ranges", true}, {"drop_after", 25000}},
          {{"body", v2}, {"headers", etag2}, {"ranges", true}}},
         "",
         {"", "bytes=25000-"},
         {"", "\"v1\""},
         v2},
        // A server that keeps its validator for a changed file: the hash finds the splice, the file comes again whole.
        {"spliced by a lying server",
         {{{"body", v1}, {"headers", etag1}, {"ranges", true}, {"drop_after", 25000}},
          {{"body", v2}, {"headers", etag1}, {"ranges", true}}},
         Sha256Hex(v2),
         {"", "bytes=25000-", ""},
         {"", "\"v1\"", ""},
         v2},
        {"no validator",
         {{{"body", v1}, {"ranges", true}, {"drop_after", 25000}}, {{"body", v1}, {"ranges", true}}},
         "",
         {"", ""},
         {"", ""},
         v1},
        {"weak validator",
         {{{"body", v1}, {"headers", {{"ETag", "W/\"v1\""}}}, {"ranges", true}, {"drop_after", 25000}},
          {{"body", v1}, {"headers", {{"ETag", "W/\"v1\""}}}, {"ranges", true}}},
         "",
         {"", ""},
         {"", ""},
         v1},
        {"range refused",
         {{{"body", v1}, {"headers", etag1}, {"ranges", true}, {"drop_after", 25000}},
          {{"status", 416}, {"headers", etag1}},
          {{"body", v1}, {"headers", etag1}}},
         "",
         {"", "bytes=25000-", ""},
         {"", "\"v1\"", ""},
         v1},
        {"continuation from elsewhere",
         {{{"body", v1}, {"headers", etag1}, {"ranges", true}, {"drop_after", 25000}},
          {{"status", 206}, {"headers", {{"ETag", "\"v1\""}, {"Content-Range", "bytes 0-59999/60000"}}}, {"body", v1}},
          {{"body", v1}, {"headers", etag1}}},
         "",
         {"", "bytes=25000-", ""},
         {"", "\"v1\"", ""},
         v1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        const std::string base = "/r/" + std::to_string(&c - cases) + "/";
        server.Answer(base + "f.bin", c.Answers);
        fs::path dir = Temp / ("r" + std::to_string(&c - cases));
        const auto error =
            Run(WorkerIndex(dir, Entry("f.bin", 60000, c.Sha256.empty() ? "" : " sha256=\"" + c.Sha256 + "\""), 60000),
                server.URL(base));
        ASSERT_FALSE(error) << Failure(error).first;
        const std::string got = ReadBytes(dir / "f.bin");
        EXPECT_TRUE(got == c.Expected) << "not the expected version";
        const auto requests = RequestsFor(server, base + "f.bin");
        ASSERT_EQ(requests.size(), c.Ranges.size());
        for (size_t i = 0; i < requests.size(); ++i)
        {
            EXPECT_EQ(TFixtureServer::Header(requests[i], "Range"), c.Ranges[i]) << i;
            EXPECT_EQ(TFixtureServer::Header(requests[i], "If-Range"), c.IfRanges[i]) << i;
            // A continuation is asked for as the bytes are stored: without a content coding.
            if (!c.Ranges[i].empty())
            {
                EXPECT_EQ(TFixtureServer::Header(requests[i], "Accept-Encoding"), "") << i;
            }
        }
        EXPECT_FALSE(HasTemporaryFiles(dir));
    }
}

TEST_F(UpdateEngine, ContentCodedAndGunzippedFilesStartAgainFromZero)
{
    TFixtureServer server;
    const std::string text = Content(80000, 3);
    const std::string gz = Compress(text, true);
    const nlohmann::json etag = {{"ETag", "\"g\""}};
    server.Answer("/c/coded.bin", std::vector<nlohmann::json>{
                                      {{"body", text}, {"encode", "gzip"}, {"headers", etag}, {"drop_after", 1000}},
                                      {{"body", text}, {"encode", "gzip"}, {"headers", etag}}});
    std::string latin1;
    for (unsigned char ch : gz)
        latin1 += ch < 0x80 ? std::string(1, static_cast<char>(ch))
                            : std::string{static_cast<char>(0xC0 | (ch >> 6)), static_cast<char>(0x80 | (ch & 0x3F))};
    server.Answer("/c/text.ini.gz", std::vector<nlohmann::json>{
                                        {{"body", latin1}, {"headers", etag}, {"ranges", true}, {"drop_after", 1000}},
                                        {{"body", latin1}, {"headers", etag}, {"ranges", true}}});
    fs::path dir = Temp / "install";
    const auto error = Run(WorkerIndex(dir, Entry("coded.bin", text.size()) + Entry("text.ini.gz", gz.size()),
                                       static_cast<int64_t>(text.size() + gz.size())),
                           server.URL("/c/"));
    ASSERT_FALSE(error) << Failure(error).first;
    EXPECT_TRUE(ReadBytes(dir / "coded.bin") == text);
    EXPECT_TRUE(ReadBytes(dir / "text.ini") == text);
    for (const auto& path : {"/c/coded.bin", "/c/text.ini.gz"})
    {
        const auto requests = RequestsFor(server, path);
        ASSERT_EQ(requests.size(), 2u) << path;
        EXPECT_EQ(TFixtureServer::Header(requests[1], "Range"), "") << path;
    }
}

TEST_F(UpdateEngine, CancelWithFourTransfersInFlightAbortsAllAndKeepsOnlyPartsThatCanBeContinued)
{
    TFixtureServer server;
    const std::string body = Content(100000, 4);
    std::string entries;
    for (int i = 0; i < 4; ++i)
    {
        const std::string name = "s" + std::to_string(i) + ".bin";
        // Two of them name a validator, so their parts can be continued.
        nlohmann::json stall{{"body", body}, {"stall_after", 5000}, {"stall", 60}, {"ranges", true}};
        if (i % 2 == 0)
            stall["headers"] = {{"ETag", "\"s\""}};
        nlohmann::json rest = stall;
        rest.erase("stall_after");
        server.Answer("/s/" + name, std::vector<nlohmann::json>{stall, rest});
        entries += Entry(name, body.size());
    }
    fs::path dir = Temp / "install";
    Runner.Connections = 4;
    bool cancelled = false;
    Views.Progress.OnReport = [&] {
        // All four have started and sent what they send before they stall (4 x 5000 bytes).
        std::set<std::string> started(Views.Progress.Files.begin(), Views.Progress.Files.end());
        if (!cancelled && started.size() == 4 && std::stoi(Views.Progress.TotalTexts.back()) >= 19)
        {
            cancelled = true;
            Runner.Button_CancelClick();
        }
    };
    auto root = WorkerIndex(dir, entries, 400000);
    const auto error = Run(root, server.URL("/s/"));
    ASSERT_TRUE(cancelled);
    ASSERT_TRUE(error);
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EHTTPDataProvider& e)
    {
        EXPECT_EQ(e.ErrorCode, httpAborted);
    }
    for (int i = 0; i < 4; ++i)
    {
        const fs::path target = dir / ("s" + std::to_string(i) + ".bin");
        EXPECT_FALSE(fs::exists(target)) << target;
        EXPECT_EQ(fs::exists(TemporaryNameBeside(target)), i % 2 == 0) << target;
    }

    // The next update continues the kept parts and fetches the others whole.
    Views.Progress.OnReport = nullptr;
    auto again = WorkerIndex(dir, entries, 400000);
    ASSERT_FALSE(Run(again, server.URL("/s/")));
    for (int i = 0; i < 4; ++i)
    {
        const std::string name = "s" + std::to_string(i) + ".bin";
        EXPECT_TRUE(ReadBytes(dir / name) == body) << name;
        const auto requests = RequestsFor(server, "/s/" + name);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(TFixtureServer::Header(requests[1], "Range").empty(), i % 2 != 0) << name;
    }
    EXPECT_FALSE(HasTemporaryFiles(dir));
}

TEST_F(UpdateEngine, ALeftoverPartIsNeverTakenForTheFileNorWrittenThroughALink)
{
    TFixtureServer server;
    const std::string body = Content(30000, 5);
    server.Answer("/p/f.bin", nlohmann::json{{"body", body}, {"headers", {{"ETag", "\"p\""}}}, {"ranges", true}});
    fs::path dir = Temp / "install";
    fs::create_directories(dir);
    const fs::path target = dir / "f.bin";
    // A part whose side file names the same address and validator, but whose part is a link to a file elsewhere.
    WriteBytes(Temp / "elsewhere", body.substr(0, 1000));
    fs::create_symlink(Temp / "elsewhere", TemporaryNameBeside(target));
    WriteBytes(TemporaryNameBeside(TemporaryNameBeside(target)), server.URL("/p/f.bin") + "\n\"p\"\n");
    ASSERT_FALSE(Run(WorkerIndex(dir, Entry("f.bin", body.size()), 30000), server.URL("/p/")));
    EXPECT_TRUE(ReadBytes(target) == body);
    EXPECT_EQ(ReadBytes(Temp / "elsewhere"), body.substr(0, 1000));
    EXPECT_EQ(TFixtureServer::Header(RequestsFor(server, "/p/f.bin")[0], "Range"), "");
    EXPECT_FALSE(HasTemporaryFiles(dir));
}

TEST_F(UpdateEngine, AProcessKilledWithHalfTheBytesOnDiskIsContinuedByTheNextRunToTheTreeOfACleanInstall)
{
    TNginxOptions options;
    options.ServerDirectives = "    limit_rate 1m;\n";
    options.LogFormat = "$status [$http_range] $uri";
    TNginxServer nginx(options);
    fs::path published = nginx.Root() / "client";
    int64_t total = 0;
    for (int i = 0; i < 8; ++i)
    {
        const std::string body = RandomBytes(1000000 + static_cast<size_t>(i) * 1000, 200 + static_cast<unsigned>(i));
        WriteBytes(published / "data" / ("big" + std::to_string(i) + ".bin"), body);
        total += static_cast<int64_t>(body.size());
    }
    WriteBytes(published / "version.info", "4.7.0.15\n");
    RunIn(published, std::string("'") + ORB_MAKE_INDEX + "' --sha256 .");
    RunIn(published, "chmod -R a+rX .");
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/client/";
    fs::path killedApp = Temp / "killed";
    fs::create_directories(killedApp);

    // Bytes on disk below Dir, parts included; and how many parts there are.
    auto onDisk = [](const fs::path& Dir, int& Parts) {
        int64_t bytes = 0;
        Parts = 0;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(Dir, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
        {
            if (!it->is_regular_file(ec))
                continue;
            const std::string name = it->path().filename().string();
            if (name.ends_with(std::string(TemporarySuffix) + TemporarySuffix))
                continue; // a side file
            Parts += name.ends_with(TemporarySuffix) ? 1 : 0;
            bytes += static_cast<int64_t>(it->file_size(ec));
        }
        return bytes;
    };
    int parts = 0;
    {
        TChildProcess child({UPDATE_CHILD, killedApp.string(), base}, Temp / "child.log");
        bool half = false;
        for (int i = 0; i < 6000 && !half && child.Running(); ++i)
        {
            half = onDisk(killedApp, parts) >= total / 2;
            if (!half)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(half) << "the child ended before half of the bytes arrived: " << ReadBytes(Temp / "child.log");
        child.Kill();
    }
    onDisk(killedApp, parts);
    EXPECT_GE(parts, 1);
    fs::path installation;
    for (auto& e : fs::directory_iterator(killedApp))
        if (e.is_directory())
            installation = e.path();
    EXPECT_FALSE(fs::exists(installation / "index.xml"));

    TChildProcess rerun({UPDATE_CHILD, killedApp.string(), base}, Temp / "rerun.log");
    std::string line;
    ASSERT_TRUE(rerun.ReadLine(line, 120000)) << ReadBytes(Temp / "rerun.log");
    EXPECT_EQ(line, "DONE " + installation.string() + "/");
    EXPECT_EQ(rerun.Wait(), 0);

    fs::create_directories(Temp / "clean");
    fs::create_directories(Temp / "cwd");
    fs::path clean = RunUpdate(xml::LoadXMLNodeFromFile(published / "index.xml"), Temp / "clean", Temp / "cwd", base);
    EXPECT_EQ(TreeListing(installation), TreeListing(clean));
    EXPECT_FALSE(HasTemporaryFiles(installation));
    // The parts left by the killed run were continued, not fetched again.
    const std::string log = ReadBytes(nginx.AccessLog());
    EXPECT_NE(log.find("206 [bytes="), std::string::npos) << log;
}

TEST(WriteBehind, EachDownloadLandsInOrderAndOnlyItsOwnFailureReachesIt)
{
    TempDir dir;
    TWriteBehind writes;
    TDownloadWriter a(dir / "a.bin", false);
    TDownloadWriter b(dir / "b.bin", false);
    TDownloadWriter bad(dir / "bad.txt", true);
    std::string expectA, expectB;
    for (int i = 0; i < 300; ++i)
    {
        const std::string pieceA = Content(10000 + static_cast<size_t>(i), static_cast<unsigned>(i));
        const std::string pieceB = Content(7000, 1000 + static_cast<unsigned>(i));
        writes.Write(a, pieceA);
        writes.Write(b, pieceB);
        expectA += pieceA;
        expectB += pieceB;
    }
    writes.Write(bad, "this is not gzip data");
    EXPECT_THROW(writes.Drain(bad), EDecompressionError);
    writes.Drain(a);
    writes.Drain(b);
    a.Finish();
    b.Finish();
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == expectA);
    EXPECT_TRUE(ReadBytes(dir / "b.bin") == expectB);

    // A forgotten download's queued pieces are dropped; it may then go, and its temporary file with it.
    {
        TDownloadWriter dropped(dir / "dropped.bin", false);
        for (int i = 0; i < 20; ++i)
            writes.Write(dropped, Content(1 << 20, 7));
        writes.Forget(dropped);
    }
    writes.Forget(bad);
    EXPECT_FALSE(fs::exists(TemporaryNameBeside(dir / "dropped.bin")));
    EXPECT_FALSE(fs::exists(dir / "dropped.bin"));
}

TEST_F(UpdateEngine, CancelEndsTheWaitBeforeTheNextAttempt)
{
    TFixtureServer server;
    server.Answer("/w/f.bin", nlohmann::json{{"status", 502}});
    Runner.RetryDelay = std::chrono::minutes(10);
    fs::path dir = Temp / "install";
    auto root = WorkerIndex(dir, Entry("f.bin", 10), 10);
    std::thread user;
    // Started from the window's first report, while the update runs.
    Views.Progress.OnReport = [&] {
        if (user.joinable())
            return;
        user = std::thread([&] {
            // Once the first attempt has failed, the worker waits ten minutes for the second.
            while (RequestsFor(server, "/w/f.bin").empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Runner.Button_CancelClick();
        });
    };
    const auto error = Run(root, server.URL("/w/"));
    user.join();
    ASSERT_TRUE(error);
    EXPECT_EQ(Failure(error).first, RequestAbortedMessage());
    EXPECT_EQ(RequestsFor(server, "/w/f.bin").size(), 1u);
}
