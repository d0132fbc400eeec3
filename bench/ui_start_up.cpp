// Start-up of the real window (offscreen, with the default character) from a settings file holding 0, 1,000,
// 10,000 and 100,000 items: the time from building the window to its first paint with the list laid out, and
// the peak memory of that start-up above the process before it, beside the size of the settings file and the
// time of reading that file alone, which tells the window's share from the store's.
#include "side_by_side.h"
#include "window_main.h"

#include "store/check_item.h"
#include "store/store_file.h"
#include "ui/item_list.h"
#include "ui/main_window.h"

#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <map>
#include <string>

namespace {

using bench::TRound;
using bench::TStopwatch;

struct TFigures
{
    TRound shown;
    TRound read;
    double fileMiB = 0;
    double peakMiB = -1;
};
std::map<int, TFigures> g_figures;

void writeSettings(const std::string& path, int count)
{
    TConfig config;
    config.items.reserve(static_cast<size_t>(count));
    // As bench_store_file's list: every tenth item keeps a 4 KiB page as its content.
    const std::string page(4096, 'p');
    for (int i = 0; i < count; ++i) {
        TCheckItem item = newItemTemplate();
        item.title() = "Page " + std::to_string(i);
        item.checkUri() = "http://127.0.0.1/pages/" + std::to_string(i) + ".html";
        item.lastCheck() = "Tue, 08 Dec 2026 20:00:00";
        item.lastModified() = "Sun, 06 Nov 1994 08:49:37 GMT";
        item.response() = "200 OK";
        item.status = static_cast<ItemStatus>(i % 4);
        if (i % 10 == 0)
            item.content = TMemory(std::string_view(page));
        config.items.append(std::move(item));
    }
    writeSettingsFile(config, path);
}

// A line of /proc/self/status in KiB, or -1.
long statusKiB(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

// The memory that earlier rounds freed goes back to the system, so that every round starts as a fresh
// process would, touching new pages, and the earlier rounds' memory does not hide this one's need.
void freshHeap()
{
    malloc_trim(0);
}

// Sets the peak resident size back to the present one, so that the next peak is this start-up's own.
bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// A settings folder with the default character and `count` items in its settings.
void prepareFolder(const test::TempDir& folder, int count)
{
    test::writeFile(folder.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
    writeSettings(folder.file("vantrel.cfg"), count);
}

// What the first window of a process loads once (fonts, plugins, the character's sound) is no part of any size.
void warmUp()
{
    test::TempDir folder;
    prepareFolder(folder, 0);
    TImgForm form;
    if (form.startUp(folder.path(), folder.path())) {
        form.showMain();
        if (QTest::qWaitForWindowExposed(&form))
            QApplication::processEvents();
    }
}

void windowStartUp(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    test::TempDir folder;
    prepareFolder(folder, count);
    TFigures& figures = g_figures[count];
    figures.fileMiB = static_cast<double>(test::readFile(folder.file("vantrel.cfg")).size()) / (1024.0 * 1024.0);

    bool first = true;
    for (auto _ : state) {
        state.PauseTiming();
        freshHeap();
        const bool peakReset = first && resetPeak();
        const long before = statusKiB("VmRSS");
        state.ResumeTiming();
        const TStopwatch stopwatch;
        auto form = std::make_unique<TImgForm>();
        if (!form->startUp(folder.path(), folder.path())) {
            state.SkipWithError("the window did not start");
            return;
        }
        form->showMain();
        if (!QTest::qWaitForWindowExposed(form.get())) {
            state.SkipWithError("the window was not shown");
            return;
        }
        QApplication::processEvents();
        // Asks the list for a row where it shows one, which needs its rows laid out.
        benchmark::DoNotOptimize(form->itemList()->view()->indexAt(QPoint(1, 1)));
        figures.shown.keepBest(stopwatch.elapsed());
        state.PauseTiming();
        if (first && peakReset && before >= 0)
            figures.peakMiB = static_cast<double>(statusKiB("VmHWM") - before) / 1024.0;
        first = false;
        // The settings written at the end of the program are no part of the start-up.
        form.reset();
        state.ResumeTiming();
    }
    state.counters["file_MiB"] = figures.fileMiB;
    state.counters["peak_MiB"] = figures.peakMiB;
}

void settingsRead(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    test::TempDir folder;
    writeSettings(folder.file("vantrel.cfg"), count);
    TFigures& figures = g_figures[count];
    for (auto _ : state) {
        state.PauseTiming();
        freshHeap();
        state.ResumeTiming();
        const TStopwatch stopwatch;
        TConfig config;
        readSettingsFile(config, folder.file("vantrel.cfg"));
        figures.read.keepBest(stopwatch.elapsed());
        if (config.items.count() != static_cast<size_t>(count))
            state.SkipWithError("the settings were not read");
    }
}

} // namespace

// The same few rounds for every size, each from a fresh heap; the figures printed at the end are the best round.
BENCHMARK(windowStartUp)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(settingsRead)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    bench::runWindowBenchmarks(argc, argv, warmUp);
    const auto empty = g_figures.find(0);
    const auto tenThousand = g_figures.find(10000);
    std::printf("best round of each (wall-clock s / CPU s):\n");
    for (const auto& [count, figures] : g_figures) {
        std::printf("%6d items: shown %.3f / %.3f, reading the settings alone %.3f / %.3f; file %.1f MiB, "
                    "start-up peak %.1f MiB",
            count, figures.shown.wall, figures.shown.cpu, figures.read.wall, figures.read.cpu, figures.fileMiB,
            figures.peakMiB);
        if (empty != g_figures.end() && count > 0 && figures.peakMiB >= 0 && empty->second.peakMiB >= 0)
            std::printf(" (%.1f MiB above the empty list)", figures.peakMiB - empty->second.peakMiB);
        std::printf("\n");
    }
    const auto hundredThousand = g_figures.find(100000);
    if (tenThousand != g_figures.end() && hundredThousand != g_figures.end() && tenThousand->second.shown.wall > 0)
        std::printf("shown, 100,000 items / 10,000 items: x%.1f wall-clock, x%.1f CPU\n",
            hundredThousand->second.shown.wall / tenThousand->second.shown.wall,
            hundredThousand->second.shown.cpu / tenThousand->second.shown.cpu);
    return 0;
}
