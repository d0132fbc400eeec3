#pragma once

// The start of every benchmark program of the window: one QApplication, offscreen unless told otherwise.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace bench {

// Runs the benchmarks the command line names; `beforeRuns` (a warm-up) runs first, once the application exists.
inline void runWindowBenchmarks(int argc, char** argv, const std::function<void()>& beforeRuns = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (beforeRuns)
        beforeRuns();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

} // namespace bench
