#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace orb
{
namespace
{

using test::TLatencyProxy;
using test::TNginxServer;

std::string RandomBytes(size_t Size, unsigned Seed)
{
    std::mt19937 gen(Seed);
    std::string bytes(Size, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(gen());
    return bytes;
}

/// Waits (up to 10 s) until nginx has logged Expected body bytes: it logs a request just after its last byte left.
long long WaitForBodyBytes(const TNginxServer& Server, long long Expected)
{
    long long sent = Server.BodyBytesSent();
    for (int i = 0; i < 500 && sent < Expected; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sent = Server.BodyBytesSent();
    }
    return sent;
}

TEST(LatencyProxy, RelaysConcurrentKeptAliveConnectionsIntact)
{
    // Sizes around the relay's buffers and a large one that takes many reads; one byte and an empty file.
    const std::vector<size_t> sizes{0, 1, 64 * 1024, 256 * 1024 + 7, 3 * 1024 * 1024};
    TNginxServer nginx;
    std::vector<std::string> files;
    long long perClient = 0;
    for (size_t i = 0; i < sizes.size(); ++i)
    {
        files.push_back(RandomBytes(sizes[i], static_cast<unsigned>(i)));
        nginx.WriteFile("f" + std::to_string(i) + ".bin", files.back());
        perClient += static_cast<long long>(sizes[i]);
    }
    TLatencyProxy proxy(nginx.HttpPort(), 20);
    const std::string base = "http://127.0.0.1:" + std::to_string(proxy.Port()) + "/";

    // Four clients at once, each sending its requests one after another on its one kept-alive connection. After
    // its first answer each waits until every client has had its first: a relay that served one connection after
    // another would leave them waiting.
    const int clients = 4;
    std::vector<std::vector<std::string>> received(clients);
    std::vector<std::string> failures(clients);
    std::mutex lock;
    std::condition_variable changed;
    int answered = 0;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
    {
        threads.emplace_back([&, c] {
            try
            {
                THTTPDataProvider provider;
                for (size_t i = 0; i < files.size(); ++i)
                {
                    // Each client in its own order, so that different answers cross the relay at the same time.
                    const size_t file = (i + static_cast<size_t>(c)) % files.size();
                    provider.URL.SetURL(base + "f" + std::to_string(file) + ".bin");
                    std::string data;
                    provider.GetString(data);
                    received[c].push_back(data == files[file] ? "intact" : "damaged f" + std::to_string(file));
                    if (i == 0)
                    {
                        std::unique_lock guard(lock);
                        ++answered;
                        changed.notify_all();
                        if (!changed.wait_for(guard, std::chrono::seconds(60), [&] { return answered == clients; }))
                            received[c].push_back("the other clients were not answered meanwhile");
                    }
                }
            }
            catch (const std::exception& e)
            {
                failures[c] = e.what();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    for (int c = 0; c < clients; ++c)
    {
        EXPECT_EQ(failures[c], "") << "client " << c;
        EXPECT_EQ(received[c], std::vector<std::string>(files.size(), "intact")) << "client " << c;
    }
    EXPECT_EQ(proxy.Connections(), clients) << "each client kept its one connection through the relay";
    EXPECT_EQ(WaitForBodyBytes(nginx, clients * perClient), clients * perClient);
}

TEST(LatencyProxy, AnAnswerEndedByClosingTheConnectionEndsForTheClientToo)
{
    // No Content-Length: the body ends where the server closes, and the relay must pass that end on.
    test::TFixtureServer server;
    const std::string body(100 * 1024, 'b');
    server.Answer("/closed", nlohmann::json{{"raw", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body}});
    TLatencyProxy proxy(server.Port(), 5);
    THTTPDataProvider provider;
    provider.HTTP_Client.ReadTimeout = 60000;
    for (int i = 0; i < 2; ++i)
    {
        provider.URL.SetURL("http://127.0.0.1:" + std::to_string(proxy.Port()) + "/closed");
        std::string data;
        provider.GetString(data);
        EXPECT_EQ(data, body) << "request " << i;
    }
    EXPECT_EQ(proxy.Connections(), 2);
}

} // namespace
} // namespace orb
