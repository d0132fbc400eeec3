// The settings file of 100,000 items, every tenth with a 4 KiB page kept as content: the start-up read and the
// exit write, beside `cat` of the same file, one read of its bytes into one buffer and one write of them,
// with the memory each needs above what the process already holds.
#include "store/store_file.h"

#include "platform/safe_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int ItemCount = 100000;

TConfig largeConfig()
{
    TConfig config;
    config.items.reserve(ItemCount);
    const std::string page(4096, 'p');
    for (int i = 0; i < ItemCount; ++i) {
        TCheckItem item = newItemTemplate();
        item.title() = "Page " + std::to_string(i);
        item.checkUri() = "http://127.0.0.1/pages/" + std::to_string(i) + ".html";
        item.lastCheck() = "Tue, 08 Dec 2026 20:00:00";
        if (i % 10 == 0)
            item.content = TMemory(std::string_view(page));
        config.items.append(std::move(item));
    }
    return config;
}

std::string benchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/vantrel_bench_" + std::to_string(::getpid());
}

// The file every benchmark works on, written once; removed at the end of the run.
const std::string& settingsPath()
{
    static const std::string path = [] {
        const std::string folder = benchFolder();
        ::mkdir(folder.c_str(), 0700);
        const std::string file = folder + "/vantrel.cfg";
        writeSettingsFile(largeConfig(), file);
        return file;
    }();
    return path;
}

long fileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Fields of /proc/self/status in KiB ("VmRSS", "VmHWM").
long statusKiB(const char* field)
{
    long value = -1;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
                value = std::strtol(line + length + 1, nullptr, 10);
                break;
            }
        }
        std::fclose(status);
    }
    return value;
}

struct TMemoryUse
{
    double peakMiB = -1; // the highest resident size during the operation, above the size before it
    double keptMiB = -1; // what stays resident once it is over
};

// Runs `prepare` and then `operation` once in a child process. The child gives its free heap back and
// resets its resident high-water mark first, so that neither what the parent held nor memory freed
// earlier and reused hides what the operation needs.
TMemoryUse memoryUse(const std::function<void()>& prepare, const std::function<void()>& operation)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        prepare();
        ::malloc_trim(0);
        if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", clear); // resets VmHWM to the present resident size
            std::fclose(clear);
        }
        const long before = statusKiB("VmRSS");
        operation();
        const long figures[2] = { statusKiB("VmHWM") - before, statusKiB("VmRSS") - before };
        const bool sent = ::write(fds[1], figures, sizeof figures) == sizeof figures;
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    long figures[2] = {};
    const bool received = ::read(fds[0], figures, sizeof figures) == sizeof figures;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    if (!received)
        return {};
    return { static_cast<double>(figures[0]) / 1024.0, static_cast<double>(figures[1]) / 1024.0 };
}

void setFileCounters(benchmark::State& state, const TMemoryUse& use)
{
    const long bytes = fileSize(settingsPath());
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.counters["extra_peak_MiB"] = use.peakMiB;
    state.counters["kept_MiB"] = use.keptMiB;
}

void writeSettings(benchmark::State& state)
{
    const TConfig config = largeConfig();
    const std::string path = settingsPath();
    for (auto _ : state)
        writeSettingsFile(config, path);
    TConfig held;
    setFileCounters(state, memoryUse([&] { held = largeConfig(); }, [&] { writeSettingsFile(held, path); }));
}
BENCHMARK(writeSettings)->Unit(benchmark::kMillisecond);

// The same bytes in one write of one buffer, synced, as the floor of any safe write.
void writeOneBuffer(benchmark::State& state)
{
    const TMemory image = readWholeFile(settingsPath());
    const std::string path = benchFolder() + "/one_buffer.bin";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool written = fd >= 0 && ::write(fd, image.data(), image.size()) == static_cast<ssize_t>(image.size())
            && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!written)
            state.SkipWithError("write failed");
    }
    std::remove(path.c_str());
    setFileCounters(state, {});
}
BENCHMARK(writeOneBuffer)->Unit(benchmark::kMillisecond);

void readSettings(benchmark::State& state)
{
    const std::string path = settingsPath();
    for (auto _ : state) {
        TConfig config;
        readSettingsFile(config, path);
        if (config.items.count() != ItemCount)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(config);
    }
    TConfig config;
    setFileCounters(state, memoryUse([] {}, [&] { readSettingsFile(config, path); }));
}
BENCHMARK(readSettings)->Unit(benchmark::kMillisecond);

// The bytes alone: one read into one buffer of the file's size, which the settings read starts with.
void readOneBuffer(benchmark::State& state)
{
    const std::string path = settingsPath();
    for (auto _ : state) {
        const TMemory image = readWholeFile(path);
        benchmark::DoNotOptimize(image.data());
    }
    setFileCounters(state, memoryUse([] {}, [&] { benchmark::DoNotOptimize(readWholeFile(path).data()); }));
}
BENCHMARK(readOneBuffer)->Unit(benchmark::kMillisecond);

void catFile(benchmark::State& state)
{
    const std::string path = settingsPath();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* const argv[] = { const_cast<char*>("cat"), const_cast<char*>(path.c_str()), nullptr };
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ) != 0 || ::waitpid(pid, &status, 0) != pid
            || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("cat failed");
    }
    posix_spawn_file_actions_destroy(&actions);
    setFileCounters(state, {});
}
BENCHMARK(catFile)->Unit(benchmark::kMillisecond);

// Keeps the time per iteration and the counters of every run so that the ratios are printed after them.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
            cpuSeconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
            for (const auto& [name, counter] : run.counters)
                counters[run.benchmark_name() + "/" + name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // In wall-clock time, or in the process's CPU time, the steadier figure on a shared machine (`cat` runs in
    // a child process, whose time the process's CPU time does not count).
    double ratio(const std::string& ours, const std::string& theirs, bool cpu = false) const
    {
        const std::map<std::string, double>& times = cpu ? cpuSeconds : seconds;
        const auto a = times.find(ours);
        const auto b = times.find(theirs);
        return a == times.end() || b == times.end() || b->second <= 0 ? -1 : a->second / b->second;
    }

    double counter(const std::string& name) const
    {
        const auto found = counters.find(name);
        return found == counters.end() ? -1 : found->second;
    }

    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
    std::map<std::string, double> counters;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ignoreFileSizeSignal();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double file = reporter.counter("readSettings/file_MiB");
    std::printf("\n%d items, a file of %.1f MiB\n", ItemCount, file);
    std::printf("read:  %.2f times one buffer read (%.2f in CPU time), %.2f times cat\n",
        reporter.ratio("readSettings", "readOneBuffer"), reporter.ratio("readSettings", "readOneBuffer", true),
        reporter.ratio("readSettings", "catFile"));
    std::printf("write: %.2f times one buffer written and synced (%.2f in CPU time)\n",
        reporter.ratio("writeSettings", "writeOneBuffer"), reporter.ratio("writeSettings", "writeOneBuffer", true));
    if (file > 0) {
        const double list = reporter.counter("readSettings/kept_MiB");
        const double read = reporter.counter("readSettings/extra_peak_MiB");
        const double write = reporter.counter("writeSettings/extra_peak_MiB");
        std::printf("memory above the process before, in files: list held %.2f, read peak %.2f, write peak %.2f "
                    "(over the list), start to exit peak %.2f\n",
            list / file, read / file, write / file, std::max(read, list + write) / file);
    }

    const std::string folder = benchFolder();
    std::remove(settingsPath().c_str());
    ::rmdir(folder.c_str());
    benchmark::Shutdown();
    return 0;
}
