// A latency-bound check run: 300 items over 50 loopback servers that each answer 100 ms after the request, through
// the real window (offscreen, the character playing), with 8 checks at once and with one, beside one curl process
// fetching the same URLs 8 at a time (HTTP/1.0, one connection per request for both), in the same run.
#include "window_run.h"

#include "support/holding_server.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Items = 300;
constexpr int Servers = 50;
constexpr auto Hold = std::chrono::milliseconds(100);
std::map<int, bench::TRound> g_window;
bench::TRound g_curl;

void windowRun(benchmark::State& state)
{
    const int concurrent = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        bench::TServers servers(Servers, Items, Hold);
        bench::TWindowRun window(servers.urls, concurrent, "Mon, 01 Jan 2024 00:00:00 GMT", "0");
        if (!window.started()) {
            state.SkipWithError("the window did not start");
            return;
        }
        state.ResumeTiming();
        g_window[concurrent] = window.run();
        if (servers.requests() != Items || window.itemsWith(ItemStatus::Normal) != Items)
            state.SkipWithError("the run did not check every item");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

void curlClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        bench::TServers servers(Servers, Items, Hold);
        state.ResumeTiming();
        g_curl = bench::curlRound("--parallel --parallel-max 8 --http1.0 -s -I", servers.urls);
        if (!g_curl.done() || servers.requests() != Items)
            state.SkipWithError("curl did not fetch every URL");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

} // namespace

BENCHMARK(windowRun)->Arg(8)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(curlClient)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    bench::runWindowBenchmarks(argc, argv);
    if (g_window[8].done() && g_curl.done())
        std::printf("%d items over %d servers answering after %lld ms: window with 8 at once %.3f s, curl with 8 at "
                    "once %.3f s, window/curl %.2f\n",
            Items, Servers, static_cast<long long>(Hold.count()), g_window[8].wall, g_curl.wall,
            g_window[8].wall / g_curl.wall);
    if (g_window[1].done())
        std::printf("the same run one at a time: %.3f s\n", g_window[1].wall);
    return 0;
}
