// Run: build/release/bench/net_bench
// Reports, in one run, the provider's time for 1,000 GETs beside libcurl with one reused easy handle (ratio),
// and the time from Abort to the raised cancellation while a transfer is stalled (median).
#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;
constexpr int RequestsPerRound = 1000;

void UseSourceDir()
{
    // The fixture server's script is found through the source folder.
    setenv("ORB_SOURCE_DIR", ORB_SOURCE_DIR_DEFAULT, 0);
}

size_t Collect(char* Data, size_t Size, size_t Count, void* User)
{
    static_cast<std::string*>(User)->append(Data, Size * Count);
    return Size * Count;
}

void BM_ThousandGetsProviderVsBareCurl(benchmark::State& State)
{
    orb::test::TNginxServer server;
    server.WriteFile("small.txt", std::string(512, 's'));
    const std::string address = "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/small.txt";

    orb::THTTPDataProvider provider;
    provider.URL.SetURL(address);
    CURL* curl = curl_easy_init();
    std::string sink;
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

    double providerSeconds = 0;
    double curlSeconds = 0;
    // Blocks of 100 requests alternate between the two clients, so that the machine's drift hits both alike.
    constexpr int Block = 100;
    for (auto _ : State)
    {
        std::string data;
        for (int done = 0; done < RequestsPerRound; done += Block)
        {
            auto start = Clock::now();
            for (int i = 0; i < Block; ++i)
            {
                sink.clear();
                if (curl_easy_perform(curl) != CURLE_OK || sink.size() != 512)
                    State.SkipWithError("bare libcurl request failed");
            }
            curlSeconds += std::chrono::duration<double>(Clock::now() - start).count();

            start = Clock::now();
            for (int i = 0; i < Block; ++i)
            {
                provider.GetString(data);
                benchmark::DoNotOptimize(data);
            }
            providerSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
    }
    curl_easy_cleanup(curl);
    const double rounds = static_cast<double>(State.iterations());
    State.counters["provider_ms"] = providerSeconds / rounds * 1000;
    State.counters["bare_curl_ms"] = curlSeconds / rounds * 1000;
    State.counters["ratio"] = providerSeconds / curlSeconds;
}
BENCHMARK(BM_ThousandGetsProviderVsBareCurl)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AbortLatencyWhileStalled(benchmark::State& State)
{
    orb::test::TFixtureServer server;
    server.Answer("/stall", nlohmann::json{{"body", std::string(10000, 'a')}, {"stall_after", 100}, {"stall", 30}});
    std::vector<double> latencies;
    for (auto _ : State)
    {
        orb::THTTPDataProvider provider;
        provider.URL.SetURL(server.URL("/stall"));
        std::atomic<bool> receiving{false};
        provider.HTTP_Client.OnWork = [&](std::int64_t) { receiving = true; };
        Clock::time_point raised;
        bool cancelled = false;
        std::thread worker([&] {
            std::string data;
            try
            {
                provider.GetString(data);
            }
            catch (const orb::EHTTPDataProvider& error)
            {
                raised = Clock::now();
                cancelled = error.ErrorCode == orb::httpAborted;
            }
        });
        while (!receiving)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Let the transfer settle into its stall before cancelling it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto aborted = Clock::now();
        provider.Abort();
        worker.join();
        if (!cancelled)
            State.SkipWithError("the stalled request did not end as a cancellation");
        latencies.push_back(std::chrono::duration<double, std::milli>(raised - aborted).count());
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    State.counters["median_abort_ms"] = median;
    State.counters["ratio_to_100ms"] = median / 100.0;
}
BENCHMARK(BM_AbortLatencyWhileStalled)->Unit(benchmark::kMillisecond)->Iterations(21);

} // namespace

int main(int argc, char** argv)
{
    UseSourceDir();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
