#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <chrono>
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

    // Four clients at once, each sending its requests one after another on its one kept-alive connection.
    const int clients = 4;
    std::vector<std::vector<std::string>> received(clients);
    std::vector<std::string> failures(clients);
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

TEST(LatencyProxy, AServerThatClosesTheConnectionEndsTheClientsToo)
{
    // nginx closes each connection after its first answer ("Connection: close"): the client must see the end
    // rather than wait on a relay that still holds its side open.
    test::TNginxOptions options;
    options.ServerDirectives = "    keepalive_requests 1;\n";
    TNginxServer nginx(options);
    const std::string body = RandomBytes(100 * 1024, 9);
    nginx.WriteFile("a.bin", body);
    TLatencyProxy proxy(nginx.HttpPort(), 5);
    THTTPDataProvider provider;
    for (int i = 0; i < 3; ++i)
    {
        provider.URL.SetURL("http://127.0.0.1:" + std::to_string(proxy.Port()) + "/a.bin");
        std::string data;
        provider.GetString(data);
        EXPECT_EQ(data, body) << "request " << i;
    }
    EXPECT_EQ(proxy.Connections(), 3);
}

} // namespace
} // namespace orb
