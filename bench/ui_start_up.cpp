// Start-up of the real window (offscreen, with the default character) from a settings file holding 0, 1,000,
// 10,000 and 100,000 items: the time from building the window to its first paint with the list laid out, and
// the peak memory of that start-up above the process before it, beside the size of the settings file.
#include "store/check_item.h"
#include "store/store_file.h"
#include "ui/main_window.h"

#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <map>
#include <string>

namespace {

struct TFigures
{
    double seconds = 0;
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

// Sets the peak resident size back to the present one, so that the next peak is this start-up's own; the
// memory that earlier windows freed goes back to the system first, so that it does not hide the need.
bool resetPeak()
{
    malloc_trim(0);
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

void windowStartUp(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    test::TempDir folder;
    test::writeFile(folder.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
    writeSettings(folder.file("vantrel.cfg"), count);
    TFigures& figures = g_figures[count];
    figures.fileMiB = static_cast<double>(test::readFile(folder.file("vantrel.cfg")).size()) / (1024.0 * 1024.0);

    bool first = true;
    for (auto _ : state) {
        state.PauseTiming();
        const bool peakReset = first && resetPeak();
        const long before = statusKiB("VmRSS");
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
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
        benchmark::DoNotOptimize(form->list()->indexAt(QPoint(1, 1)));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (first) {
            figures.seconds = seconds;
            if (peakReset && before >= 0)
                figures.peakMiB = static_cast<double>(statusKiB("VmHWM") - before) / 1024.0;
        } else {
            figures.seconds = std::min(figures.seconds, seconds);
        }
        first = false;
        // The settings written at the end of the program are no part of the start-up.
        form.reset();
        state.ResumeTiming();
    }
    state.counters["file_MiB"] = figures.fileMiB;
    state.counters["peak_MiB"] = figures.peakMiB;
}

} // namespace

BENCHMARK(windowStartUp)->Arg(0)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto empty = g_figures.find(0);
    const auto tenThousand = g_figures.find(10000);
    for (const auto& [count, figures] : g_figures) {
        std::printf("%6d items: shown in %.3f s (best), settings file %.1f MiB, start-up peak %.1f MiB", count,
            figures.seconds, figures.fileMiB, figures.peakMiB);
        if (empty != g_figures.end() && count > 0 && figures.peakMiB >= 0 && empty->second.peakMiB >= 0)
            std::printf(", %.1f MiB above the empty list", figures.peakMiB - empty->second.peakMiB);
        std::printf("\n");
    }
    const auto hundredThousand = g_figures.find(100000);
    if (tenThousand != g_figures.end() && hundredThousand != g_figures.end() && tenThousand->second.seconds > 0)
        std::printf("100,000 items / 10,000 items: x%.1f\n",
            hundredThousand->second.seconds / tenThousand->second.seconds);
    return 0;
}
