// A latency-bound check run: 300 items over 50 loopback servers that each answer 100 ms after the request, through
// the real window (offscreen, the character playing), with 8 checks at once and with one, beside one curl process
// fetching the same URLs 8 at a time (HTTP/1.0, one connection per request for both), in the same run.
#include "store/check_item.h"
#include "store/store_file.h"
#include "ui/main_window.h"

#include "support/holding_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Items = 300;
constexpr int Servers = 50;
constexpr auto Hold = std::chrono::milliseconds(100);
double g_window[17] = {};
double g_curl = 0;

std::vector<std::unique_ptr<test::HoldingServer>> startServers()
{
    std::vector<std::unique_ptr<test::HoldingServer>> servers;
    for (int s = 0; s < Servers; ++s)
        servers.push_back(std::make_unique<test::HoldingServer>(Hold));
    return servers;
}

std::string pageUrl(const std::vector<std::unique_ptr<test::HoldingServer>>& servers, int i)
{
    return servers[static_cast<size_t>(i % Servers)]->url("/page" + std::to_string(i) + ".html");
}

size_t requestCount(const std::vector<std::unique_ptr<test::HoldingServer>>& servers)
{
    size_t total = 0;
    for (const auto& server : servers)
        total += server->paths().size();
    return total;
}

void windowRun(benchmark::State& state)
{
    const int concurrent = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto servers = startServers();
        test::TempDir folder;
        test::writeFile(folder.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
        test::writeFile(folder.file("vantrel.ini"), "[General]\nConcurrentChecks=" + std::to_string(concurrent) + "\n");
        TConfig config;
        config.reportMode = 0;
        for (int i = 0; i < Items; ++i) {
            TCheckItem item = newItemTemplate();
            item.title() = "page " + std::to_string(i);
            item.checkUri() = pageUrl(servers, i);
            item.status = ItemStatus::Normal;
            item.lastModified() = "Mon, 01 Jan 2024 00:00:00 GMT";
            item.contentLength() = "0";
            config.items.append(std::move(item));
        }
        writeSettingsFile(config, folder.file("vantrel.cfg"));
        TImgForm form;
        if (!form.startUp(folder.path(), folder.path())) {
            state.SkipWithError("the window did not start");
            return;
        }
        form.showMain();
        QApplication::processEvents();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        form.runChecks();
        g_window[concurrent] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        size_t normal = 0;
        for (const TCheckItem& item : form.settings().items)
            normal += item.status == ItemStatus::Normal;
        if (requestCount(servers) != Items || normal != Items)
            state.SkipWithError("the run did not check every item");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

void curlClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto servers = startServers();
        std::string command = "curl --parallel --parallel-max 8 --http1.0 -s -I";
        for (int i = 0; i < Items; ++i)
            command += " " + pageUrl(servers, i);
        command += " > /dev/null 2>&1"; // with --parallel, -s still leaves the progress meter
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const int result = std::system(command.c_str());
        g_curl = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != 0 || requestCount(servers) != Items)
            state.SkipWithError("curl did not fetch every URL");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

} // namespace

BENCHMARK(windowRun)->Arg(8)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(curlClient)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_window[8] > 0 && g_curl > 0)
        std::printf("%d items over %d servers answering after %lld ms: window with 8 at once %.3f s, curl with 8 at "
                    "once %.3f s, window/curl %.2f\n",
            Items, Servers, static_cast<long long>(Hold.count()), g_window[8], g_curl, g_window[8] / g_curl);
    if (g_window[1] > 0)
        std::printf("the same run one at a time: %.3f s\n", g_window[1]);
    return 0;
}
