// A check run of 1,000 ticked items through the real window (offscreen, the character playing, the client's pump
// processing the window's events), each beside one curl process over the same URLs in the same run (HTTP/1.0,
// one connection per request for both):
//   K=1: one loopback server, one check at a time, beside `curl --http1.0 -s -I`;
//   K=8: 50 loopback servers, 8 checks at once, beside `curl --parallel --parallel-max 8`.
// The servers answer at once and serve any number of connections together. The same checks without the window
// (K=1) tell the window's share from the client's.
#include "window_run.h"

#include "check/http_checker.h"

#include "support/holding_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Items = 1000;
// The machine may be shared: several rounds, and the median of each figure.
constexpr int Rounds = 5;
constexpr auto NoHold = std::chrono::milliseconds(0);
const std::string LastModified = "Mon, 01 Jan 2024 00:00:00 GMT"; // as the servers' answer has it

int serversFor(int concurrent)
{
    return concurrent == 1 ? 1 : 50;
}

std::string curlOptions(int concurrent)
{
    return concurrent == 1 ? "--http1.0 -s -I"
                           : "--parallel --parallel-max " + std::to_string(concurrent) + " --http1.0 -s -I";
}

// Each round runs the window and then curl over the same URLs, so that both meet the machine in the same state.
struct TSideBySide
{
    std::vector<bench::TRound> window;
    std::vector<bench::TRound> curl;
};
std::map<int, TSideBySide> g_rounds;
bench::TRound g_checks;

void windowBesideCurl(benchmark::State& state)
{
    const int concurrent = static_cast<int>(state.range(0));
    TSideBySide& rounds = g_rounds[concurrent];
    for (auto _ : state) {
        state.PauseTiming();
        {
            bench::TServers servers(serversFor(concurrent), Items, NoHold);
            bench::TWindowRun window(servers.urls, concurrent, LastModified, "0");
            if (!window.started()) {
                state.SkipWithError("the window did not start");
                return;
            }
            state.ResumeTiming();
            rounds.window.push_back(window.run());
            state.PauseTiming();
            if (servers.requests() != Items || window.itemsWith(ItemStatus::Normal) != Items) {
                state.SkipWithError("the run did not check every item");
                return;
            }
        }
        bench::TServers servers(serversFor(concurrent), Items, NoHold);
        rounds.curl.push_back(bench::curlRound(curlOptions(concurrent), servers.urls));
        if (!rounds.curl.back().done() || servers.requests() != Items) {
            state.SkipWithError("curl did not fetch every URL");
            return;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The same item checks one at a time without the window.
void itemChecks(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        bench::TServers servers(1, Items, NoHold);
        THTTPChecker checker;
        const TCheckItem defaultItem = newItemTemplate();
        std::vector<TCheckItem> items;
        for (const std::string& url : servers.urls) {
            TCheckItem item = newItemTemplate();
            item.checkUri() = url;
            items.push_back(std::move(item));
        }
        state.ResumeTiming();
        const bench::TStopwatch stopwatch;
        for (TCheckItem& item : items)
            checkItem(checker, item, defaultItem);
        g_checks = stopwatch.elapsed();
        if (servers.requests() != Items)
            state.SkipWithError("not every item was checked");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

// What the first window of a process loads once (fonts, plugins, the character) is no part of any round.
void warmUp()
{
    test::HoldingServer server(NoHold);
    bench::TWindowRun window({ server.url("/") }, 1, LastModified, "0");
    if (window.started())
        window.run();
}

} // namespace

// The time Google Benchmark shows is the window's; the figures printed at the end set it beside curl's.
BENCHMARK(windowBesideCurl)->Arg(1)->Arg(8)->Iterations(Rounds)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(itemChecks)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    bench::runWindowBenchmarks(argc, argv, warmUp);
    for (const auto& [k, rounds] : g_rounds) {
        std::printf("K=%d, %d items over %d server(s), window beside curl in %zu rounds:\n", k, Items, serversFor(k),
            rounds.curl.size());
        std::vector<double> ratios;
        std::vector<double> windowWall;
        std::vector<double> curlWall;
        for (size_t r = 0; r < rounds.curl.size(); ++r) {
            const bench::TRound& window = rounds.window[r];
            const bench::TRound& curl = rounds.curl[r];
            ratios.push_back(window.wall / curl.wall);
            windowWall.push_back(window.wall);
            curlWall.push_back(curl.wall);
            std::printf("  window %.3f s (CPU %.3f s), curl %.3f s, window/curl %.2f\n", window.wall, window.cpu,
                curl.wall, ratios.back());
        }
        if (!ratios.empty())
            std::printf("  median: window %.3f s, curl %.3f s, window/curl %.2f (best round %.2f)\n",
                median(windowWall), median(curlWall), median(ratios), *std::min_element(ratios.begin(), ratios.end()));
    }
    if (g_checks.done())
        std::printf("the same item checks one at a time without the window: %.3f s (CPU %.3f s)\n", g_checks.wall,
            g_checks.cpu);
    return 0;
}
