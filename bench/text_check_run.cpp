// A second check run of 1,000 pages on loopback (real documentation pages of this machine), 8 checks at once:
// deciding by the text a reader sees (compareText, its history kept) beside deciding by the raw body
// (compareContent), and beside urlwatch with its html2text filter over the same pages, when it is installed.
// Each side runs once to record, then the timed run finds nothing changed.
#include "side_by_side.h"

#include "check/check_run.h"
#include "history/history_texts.h"
#include "store/item_extension.h"

#include "support/holding_server.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int Items = 1000;
constexpr size_t Concurrent = 8;

class TQuietObserver : public TCheckRunObserver
{
public:
    void runStarted(size_t) override { }
    void itemStarted(size_t, const TCheckItem&) override { }
    void itemDone(size_t, const TCheckItem& item, const TItemDone&) override
    {
        if (item.status == ItemStatus::Error)
            ++errors;
    }
    void runEnded(const TRunSummary&) override { }
    size_t errors = 0;
};

// Documentation pages of this machine, each made distinct by its number.
std::map<std::string, std::string> pages()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("/usr/share/doc")) {
        if (entry.is_regular_file() && entry.path().extension() == ".html")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, std::string> answers;
    if (files.empty())
        return answers;
    for (int i = 0; i < Items; ++i) {
        std::ifstream in(files[static_cast<size_t>(i) % files.size()], std::ios::binary);
        std::stringstream page;
        page << in.rdbuf() << "<p>page " << i << "</p>";
        const std::string body = page.str();
        answers["/p" + std::to_string(i)] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
            + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    return answers;
}

std::map<std::string, bench::TRound> g_rounds;
double g_pageBytes = 0;

void ourRun(benchmark::State& state, bool byText)
{
    const auto answers = pages();
    if (answers.empty()) {
        state.SkipWithError("no HTML pages under /usr/share/doc");
        return;
    }
    g_pageBytes = 0;
    for (const auto& [path, answer] : answers)
        g_pageBytes += static_cast<double>(answer.size());
    test::HoldingServer server(std::chrono::milliseconds(0), answers);
    test::TempDir folder;
    THistoryTexts history(folder.path(), 50);
    TCheckItems items;
    for (int i = 0; i < Items; ++i) {
        TCheckItem item;
        item.compareLastModified = 0;
        item.compareContentLength = 0;
        item.checkUri() = server.url("/p" + std::to_string(i));
        if (byText) {
            item.setExtension(ExtKey::CompareText, "1");
        } else {
            item.useGet = 1;
            item.compareContent = 1;
        }
        items.append(std::move(item));
    }
    THTTPChecker checker;
    checker.pageTexts = &history;
    TCheckRun run(checker);
    run.setConcurrent(Concurrent);
    TQuietObserver observer;
    run.run(items, TCheckItem(), observer);
    for (auto _ : state) {
        const bench::TStopwatch stopwatch;
        run.run(items, TCheckItem(), observer);
        g_rounds[byText ? "compareText" : "compareContent"].keepBest(stopwatch.elapsed());
    }
    if (observer.errors != 0)
        state.SkipWithError("some checks failed");
}

void compareText(benchmark::State& state)
{
    ourRun(state, true);
}

void compareContent(benchmark::State& state)
{
    ourRun(state, false);
}

void urlwatch(benchmark::State& state)
{
    if (std::system("command -v urlwatch > /dev/null 2>&1") != 0) {
        state.SkipWithError("urlwatch is not installed");
        return;
    }
    test::HoldingServer server(std::chrono::milliseconds(0), pages());
    test::TempDir folder;
    {
        std::ofstream jobs(folder.file("urls.yaml"));
        for (int i = 0; i < Items; ++i) {
            jobs << (i ? "---\n" : "") << "name: p" << i << "\nurl: " << server.url("/p" + std::to_string(i))
                 << "\nfilter:\n  - html2text\n";
        }
        std::ofstream config(folder.file("urlwatch.yaml"));
        config << "report:\n  stdout:\n    enabled: false\n  text:\n    details: true\n";
    }
    const std::string command = "urlwatch --urls " + folder.file("urls.yaml") + " --config "
        + folder.file("urlwatch.yaml") + " --cache " + folder.file("cache.db") + " > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        state.SkipWithError("urlwatch failed");
        return;
    }
    for (auto _ : state) {
        const bench::TStopwatch stopwatch;
        const int result = std::system(command.c_str());
        bench::TRound round = stopwatch.elapsed();
        if (result != 0) {
            state.SkipWithError("urlwatch failed");
            return;
        }
        g_rounds["urlwatch"].keepBest(round);
    }
}

} // namespace

BENCHMARK(compareText)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(compareContent)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(urlwatch)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto& text = g_rounds["compareText"];
    const auto& content = g_rounds["compareContent"];
    const auto& peer = g_rounds["urlwatch"];
    std::printf("\nSecond run of %d pages (%.1f MB each run), best wall-clock seconds:\n", Items,
        g_pageBytes / 1e6);
    std::printf("  compareText    %.3f s\n  compareContent %.3f s\n", text.wall, content.wall);
    if (peer.done())
        std::printf("  urlwatch       %.3f s\n", peer.wall);
    if (text.done() && content.done())
        std::printf("compareText / compareContent = %.2f (goal: at most 2.5)\n", text.wall / content.wall);
    if (text.done() && peer.done())
        std::printf("compareText / urlwatch       = %.3f (goal: at most 0.25)\n", text.wall / peer.wall);
    return 0;
}
