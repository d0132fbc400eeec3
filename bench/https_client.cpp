// Sequential HEAD requests over TLS to a loopback server through the program's client, against the same URLs
// fetched by one curl process, in the same run. Each request is a new connection; both clients resume the TLS
// session of the one before, as the server keeps one context for its life.
#include "check/http_client.h"

#include "support/temp_dir.h"
#include "support/tls_server.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int Requests = 500;
const std::string Answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1234\r\n"
                           "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";
double g_ours = 0;
double g_curl = 0;

struct Setup
{
    test::TempDir dir;
    test::TlsAuthority authority;
    std::string trustFile = dir.file("trust.pem");
    test::TlsServer server { authority.issue("localhost") };

    Setup()
    {
        authority.writeTrustFile(trustFile);
        server.script({ Answer });
    }
    std::string url(int i) const { return server.url("/page" + std::to_string(i) + ".html", "localhost"); }
};

void ourClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Setup setup;
        test::TrustOnly trust(setup.trustFile);
        TNMHTTP client;
        client.TimeOut = 60000;
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < Requests; ++i)
            client.Head(setup.url(i));
        g_ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (client.StatusCode() != 200 || setup.server.connections() != Requests)
            state.SkipWithError("unexpected answer");
        state.counters["resumed"] = setup.server.resumedConnections();
    }
    state.SetItemsProcessed(state.iterations() * Requests);
}

void curlClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Setup setup;
        std::string command = "curl --http1.0 -s -I --cacert " + setup.trustFile;
        for (int i = 0; i < Requests; ++i)
            command += " " + setup.url(i);
        command += " > /dev/null";
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        int result = std::system(command.c_str());
        g_curl = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != 0 || setup.server.connections() != Requests)
            state.SkipWithError("curl did not fetch every URL");
        state.counters["resumed"] = setup.server.resumedConnections();
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
    if (g_ours > 0 && g_curl > 0)
        std::printf("%d HEAD requests over TLS: ours %.3f s, curl %.3f s, ours/curl %.2f\n", Requests, g_ours, g_curl,
            g_ours / g_curl);
    return 0;
}
