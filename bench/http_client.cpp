// 2,000 sequential HEAD requests to a loopback server through the program's client, against the same 2,000 URLs
// fetched by one curl process (HTTP/1.0, one connection per request for both), in the same run.
#include "side_by_side.h"

#include "check/http_client.h"

#include "support/http_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Requests = 2000;
const std::string Answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1234\r\n"
                           "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";
bench::TRound g_ours;
bench::TRound g_curl;

std::vector<test::Reply> script()
{
    return std::vector<test::Reply>(Requests, test::Reply::bytes(Answer));
}

void ourClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        test::HttpServer server(script());
        TNMHTTP client;
        client.TimeOut = 60000;
        state.ResumeTiming();
        const bench::TStopwatch stopwatch;
        for (int i = 0; i < Requests; ++i)
            client.Head(server.url("/page" + std::to_string(i) + ".html"));
        g_ours = stopwatch.elapsed();
        if (client.StatusCode() != 200)
            state.SkipWithError("unexpected answer");
    }
    state.SetItemsProcessed(state.iterations() * Requests);
}

void curlClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        test::HttpServer server(script());
        std::vector<std::string> urls;
        for (int i = 0; i < Requests; ++i)
            urls.push_back(server.url("/page" + std::to_string(i) + ".html"));
        state.ResumeTiming();
        g_curl = bench::curlRound("--http1.0 -s -I", urls);
        if (!g_curl.done() || server.connectionCount() != Requests)
            state.SkipWithError("curl did not fetch every URL");
    }
    state.SetItemsProcessed(state.iterations() * Requests);
}

} // namespace

BENCHMARK(ourClient)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(curlClient)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_ours.done() && g_curl.done())
        std::printf("%d HEAD requests: ours %.3f s, curl %.3f s, ours/curl %.2f\n", Requests, g_ours.wall, g_curl.wall,
            g_ours.wall / g_curl.wall);
    return 0;
}
