// Opening the changes window (offscreen) on two kept versions of 1 MB each: one with a word changed every 200
// lines, and one that shares no line with the version before it (every line marked). Figures: the time to the
// window on the screen, the time to the compared text painted with its marks, and the longest the window's
// thread was kept from its events on the way (a window that stalls longer than about 100 ms feels stuck).
#include "side_by_side.h"
#include "window_main.h"

#include "history/history_store.h"
#include "store/item_extension.h"
#include "ui/changes_window.h"

#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace {

using bench::TRound;
using bench::TStopwatch;

constexpr size_t TextSize = 1'000'000;

struct TFigures
{
    TRound shown;
    TRound painted;
    double stallMs = -1;
};
std::map<int, TFigures> g_figures;

// About 1 MB of lines of mixed Japanese and ASCII words; `tag` makes every line differ from another text's.
std::string pageText(const std::string& tag, size_t changeEvery)
{
    std::string text;
    for (size_t i = 0; text.size() < TextSize; ++i) {
        const bool changed = changeEvery > 0 && i % changeEvery == changeEvery / 2;
        text += "第" + std::to_string(i) + "項 " + tag + (changed ? " 新しい語" : " 本文の語") + " of the page text "
            + std::to_string(i * 7919 % 1000) + "\n";
    }
    return text;
}

// The window's thread answers its events every few milliseconds unless something holds it; this keeps the
// longest gap between two answers.
class TStallMeter
{
public:
    TStallMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(
            &m_timer, &QTimer::timeout, &m_timer, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_timer.start();
    }
    double longestMs()
    {
        m_longest = std::max(m_longest, m_since.restart());
        return static_cast<double>(m_longest);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

void openChanges(benchmark::State& state)
{
    const bool allChanged = state.range(0) == 1;
    test::TempDir folder;
    const std::string id = newItemId();
    {
        THistoryStore store(folder.path());
        store.record(id, 1'796'000'000, pageText("a", 0));
        store.record(id, 1'796'086'400, allChanged ? pageText("b", 0) : pageText("a", 200));
    }
    TFigures& figures = g_figures[static_cast<int>(state.range(0))];
    for (auto _ : state) {
        TStallMeter stalls;
        const TStopwatch stopwatch;
        auto* window = new TChangesWindow({ id, QStringLiteral("1 MB"), QUrl() }, folder.path());
        window->show();
        if (!QTest::qWaitForWindowExposed(window)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        figures.shown.keepBest(stopwatch.elapsed());
        if (!QTest::qWaitFor([window] { return !window->isLoading(); }, 60'000)) {
            state.SkipWithError("the versions were not compared");
            return;
        }
        auto* text = window->findChild<QPlainTextEdit*>(QStringLiteral("changesText"));
        text->viewport()->repaint();
        figures.painted.keepBest(stopwatch.elapsed());
        figures.stallMs = std::max(figures.stallMs, stalls.longestMs());
        if (window->changeCount() == 0)
            state.SkipWithError("no change was shown");
        state.PauseTiming();
        delete window;
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(openChanges)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    bench::runWindowBenchmarks(argc, argv);
    std::printf("best round of each (wall-clock s / CPU s of the whole process, the comparing thread included):\n");
    for (const auto& [allChanged, figures] : g_figures)
        std::printf("%-24s shown %.3f / %.3f, painted with its marks %.3f / %.3f; longest stall %.0f ms\n",
            allChanged ? "every line changed:" : "a word every 200 lines:", figures.shown.wall, figures.shown.cpu,
            figures.painted.wall, figures.painted.cpu, figures.stallMs);
    return 0;
}
