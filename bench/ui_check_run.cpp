// A check run of 1,000 ticked items through the real window (offscreen, with the character playing and the
// client's pump processing the window's events), against the same 1,000 URLs fetched by one curl process
// (HTTP/1.0, one connection per request for both), in the same run.
#include "check/http_checker.h"
#include "store/check_item.h"
#include "store/store_file.h"
#include "ui/main_window.h"

#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QApplication>
#include <QLabel>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Items = 1000;
const std::string Answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1234\r\n"
                           "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";
double g_window = 0;
double g_checks = 0;
double g_curl = 0;

std::vector<test::Reply> script()
{
    return std::vector<test::Reply>(Items, test::Reply::bytes(Answer));
}

std::string pageUrl(const test::HttpServer& server, int i)
{
    return server.url("/page" + std::to_string(i) + ".html");
}

void windowRun(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        test::HttpServer server(script());
        test::TempDir folder;
        test::writeFile(folder.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
        TConfig config;
        config.reportMode = 0;
        for (int i = 0; i < Items; ++i) {
            TCheckItem item = newItemTemplate();
            item.title() = "page " + std::to_string(i);
            item.checkUri() = pageUrl(server, i);
            item.status = ItemStatus::Normal;
            item.lastModified() = "Sun, 06 Nov 1994 08:49:37 GMT";
            item.contentLength() = "1234";
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
        auto start = std::chrono::steady_clock::now();
        form.runChecks();
        g_window = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (server.connectionCount() != Items || form.settings().items[Items - 1].status != ItemStatus::Normal)
        {
            int errors = 0;
            for (int i = 0; i < Items; ++i)
                errors += form.settings().items[i].status == ItemStatus::Error;
            std::fprintf(stderr, "connections %zu errors %d first response %s\n", server.connectionCount(), errors,
                form.settings().items[0].response().c_str());
            state.SkipWithError("the run did not check every item");
        }
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

// The same item checks without the window, to tell the window's share from the client's.
void itemChecks(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        test::HttpServer server(script());
        THTTPChecker checker;
        TCheckItem defaultItem = newItemTemplate();
        std::vector<TCheckItem> items;
        for (int i = 0; i < Items; ++i) {
            TCheckItem item = newItemTemplate();
            item.checkUri() = pageUrl(server, i);
            items.push_back(std::move(item));
        }
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        for (TCheckItem& item : items)
            checkItem(checker, item, defaultItem);
        g_checks = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (server.connectionCount() != Items)
            state.SkipWithError("not every item was checked");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

void curlClient(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        test::HttpServer server(script());
        std::string command = "curl --http1.0 -s -I";
        for (int i = 0; i < Items; ++i)
            command += " " + pageUrl(server, i);
        command += " > /dev/null";
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        int result = std::system(command.c_str());
        g_curl = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != 0 || server.connectionCount() != Items)
            state.SkipWithError("curl did not fetch every URL");
    }
    state.SetItemsProcessed(state.iterations() * Items);
}

} // namespace

BENCHMARK(windowRun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(itemChecks)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(curlClient)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_window > 0 && g_curl > 0)
        std::printf("check run of %d items: window %.3f s, curl %.3f s, window/curl %.2f\n", Items, g_window, g_curl,
            g_window / g_curl);
    if (g_checks > 0)
        std::printf("the same item checks without the window: %.3f s\n", g_checks);
    return 0;
}
