#include "net/CurlTransfer.h"
#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace orb
{
namespace
{

/// Providers whose requests run side by side on one multi handle until each has ended.
struct TSideBySide
{
    TCurlMulti Multi;
    std::vector<std::unique_ptr<THTTPDataProvider>> Providers;
    /// Per provider: the body, or the failure's message.
    std::map<THTTPDataProvider*, std::string> Results;

    THTTPDataProvider& Start(const std::string& Address, int ReadTimeout = 180000)
    {
        Providers.push_back(std::make_unique<THTTPDataProvider>());
        THTTPDataProvider& http = *Providers.back();
        http.HTTP_Client.ReadTimeout = ReadTimeout;
        http.URL.SetURL(Address);
        http.StartRequest(Multi);
        return http;
    }

    void RunAll()
    {
        while (Results.size() < Providers.size())
        {
            for (auto& done : Multi.Run(1000))
            {
                for (auto& http : Providers)
                {
                    if (&http->Transfer() != done.Transfer)
                        continue;
                    try
                    {
                        std::string data;
                        if (http->FinishRequest(done.Outcome, data))
                            Results[http.get()] = data;
                    }
                    catch (const std::exception& e)
                    {
                        Results[http.get()] = std::string("failed: ") + e.what();
                    }
                }
            }
        }
    }
};

TEST(CurlMulti, RequestsRunSideBySideAndAnAbortOrAStallEndsOnlyItsOwn)
{
    test::TFixtureServer server;
    server.Answer("/a", nlohmann::json{{"body", "first"}, {"delay", 0.3}});
    server.Answer("/b", nlohmann::json{{"body", "second"}, {"encode", "gzip"}});
    server.Answer("/stalled", nlohmann::json{{"body", std::string(10000, 's')}, {"stall_after", 10}, {"stall", 30}});
    server.Answer("/aborted", nlohmann::json{{"body", std::string(10000, 'x')}, {"stall_after", 10}, {"stall", 30}});
    TSideBySide run;
    THTTPDataProvider& a = run.Start(server.URL("/a"));
    THTTPDataProvider& b = run.Start(server.URL("/b"));
    THTTPDataProvider& stalled = run.Start(server.URL("/stalled"), 300);
    THTTPDataProvider& aborted = run.Start(server.URL("/aborted"));
    THTTPDataProvider& missing = run.Start(server.URL("/missing"));
    std::thread canceller([&] {
        // From another thread, while the multi handle waits.
        while (server.Requests().size() < 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        aborted.Abort();
    });
    run.RunAll();
    canceller.join();
    EXPECT_EQ(run.Results[&a], "first");
    EXPECT_EQ(run.Results[&b], "second");
    EXPECT_EQ(run.Results[&stalled], "failed: Read timed out.");
    EXPECT_EQ(run.Results[&aborted], "failed: " + RequestAbortedMessage());
    EXPECT_EQ(run.Results[&missing], "failed: URL: " + server.URL("/missing") + " not found");
}

TEST(CurlMulti, ConnectionsAreReusedAcrossTheRequestsOfAllProviders)
{
    test::TFixtureServer server;
    server.Answer("/f", nlohmann::json{{"body", "data"}});
    TSideBySide run;
    for (int i = 0; i < 3; ++i)
        run.Start(server.URL("/f"));
    run.RunAll();
    // Further requests of the same providers find the connections in the multi handle's cache.
    for (int round = 0; round < 3; ++round)
    {
        run.Results.clear();
        for (auto& http : run.Providers)
            http->StartRequest(run.Multi);
        run.RunAll();
        for (const auto& [http, result] : run.Results)
            EXPECT_EQ(result, "data");
    }
    std::set<int> ports;
    for (const auto& r : server.Requests())
        ports.insert(r["client_port"].get<int>());
    EXPECT_EQ(server.Requests().size(), 12u);
    EXPECT_LE(ports.size(), 3u);
}

TEST(CurlMulti, WakeupEndsAWaitWithoutTransfers)
{
    TCurlMulti multi;
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        multi.Wakeup();
    });
    // Without the wake-up this would wait ten minutes.
    EXPECT_TRUE(multi.Run(600000).empty());
    waker.join();
    EXPECT_EQ(multi.Running(), 0u);
}

} // namespace
} // namespace orb
