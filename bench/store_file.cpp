// Writing and reading a large items file: 100,000 items, every tenth with a 4 KiB page kept as content.
#include "store/store_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TCheckItems largeList()
{
    TCheckItems items;
    items.reserve(100000);
    const std::string page(4096, 'p');
    for (int i = 0; i < 100000; ++i) {
        TCheckItem item = newItemTemplate();
        item.title() = "Page " + std::to_string(i);
        item.checkUri() = "http://127.0.0.1/pages/" + std::to_string(i) + ".html";
        item.lastCheck() = "Tue, 08 Dec 2026 20:00:00";
        if (i % 10 == 0)
            item.content = TMemory(std::string_view(page));
        items.append(std::move(item));
    }
    return items;
}

long residentKiB()
{
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The memory one operation needs above what the process already holds: the operation runs once in a
// child process, whose peak resident size is compared with its size just before.
double extraPeakMiB(const std::function<void()>& operation)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const long before = residentKiB();
        operation();
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const long extra = usage.ru_maxrss - before;
        ssize_t written = ::write(fds[1], &extra, sizeof extra);
        ::_exit(written == sizeof extra ? 0 : 1);
    }
    ::close(fds[1]);
    long extra = -1024;
    if (::read(fds[0], &extra, sizeof extra) != sizeof extra)
        extra = -1024;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return static_cast<double>(extra) / 1024.0;
}

std::string benchPath()
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/vantrel_bench_" + std::to_string(::getpid()) + ".dat";
}

void writeLargeItemsFile(benchmark::State& state)
{
    const TCheckItems items = largeList();
    const std::string path = benchPath();
    for (auto _ : state) {
        if (!writeItemsFile(items, path))
            state.SkipWithError("write failed");
    }
    const auto bytes = static_cast<int64_t>(itemTableSize(items));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.counters["extra_peak_MiB"] = extraPeakMiB([&] { writeItemsFile(items, path); });
    std::remove(path.c_str());
}

void readLargeItemsFile(benchmark::State& state)
{
    const std::string path = benchPath();
    int64_t bytes = 0;
    {
        const TCheckItems items = largeList();
        bytes = static_cast<int64_t>(itemTableSize(items));
        if (!writeItemsFile(items, path))
            state.SkipWithError("write failed");
    }
    for (auto _ : state) {
        TCheckItems items;
        if (!readItemsFile(path, items) || items.count() != 100000)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["extra_peak_MiB"] = extraPeakMiB([&] {
        TCheckItems items;
        readItemsFile(path, items);
    });
    std::remove(path.c_str());
}

} // namespace

BENCHMARK(writeLargeItemsFile)->Unit(benchmark::kMillisecond);
BENCHMARK(readLargeItemsFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
