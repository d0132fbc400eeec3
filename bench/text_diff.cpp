// The diff of two 1 MB page texts: one with a word changed every 200 lines, two that share no line, and two of
// random lines of one letter (the costliest case), each through the display diff (lines and words) and the
// unified diff text, beside Python's difflib.unified_diff (what page watchers commonly use) and GNU `diff -u`
// over the same files, in the same run. The other programs' times are whole processes (start-up and reading the
// files included); a missing one is skipped.
#include "side_by_side.h"

#include "text/text_diff.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr size_t TextSize = 1'000'000;
constexpr size_t ChangeEvery = 200; // lines

// A long real text of this machine, repeated or cut to 1 MB at a line end; a made-up one when none is there.
std::string sourceText()
{
    for (const char* path : { "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", "/usr/share/common-licenses/GPL-3",
             "/usr/share/dict/words" }) {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.size() < 10'000)
            continue;
        std::string out;
        while (out.size() < TextSize)
            out += text;
        out.resize(out.rfind('\n', TextSize) + 1);
        return out;
    }
    std::string out;
    for (int i = 0; out.size() < TextSize; ++i)
        out += "Line " + std::to_string(i) + " of a page text with some words that change now and then.\n";
    return out;
}

struct TPair
{
    std::string older, newer;
    std::string olderPath, newerPath;
};

// Every 200th line gets its first word of three letters or more replaced.
std::string withScatteredChanges(const std::string& text)
{
    std::string out;
    std::istringstream lines(text);
    std::string line;
    for (size_t n = 0; std::getline(lines, line); ++n) {
        if (n % ChangeEvery == ChangeEvery / 2) {
            size_t at = 0;
            while (at < line.size()) {
                size_t end = at;
                while (end < line.size() && std::isalpha(static_cast<unsigned char>(line[end])))
                    ++end;
                if (end - at >= 3) {
                    line.replace(at, end - at, "edited");
                    break;
                }
                at = end + 1;
            }
            if (at >= line.size())
                line += " (edited)";
        }
        out += line + '\n';
    }
    return out;
}

// Every line marked, so the two texts share none.
std::string withNoLineInCommon(const std::string& text)
{
    std::string out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        out += "~ " + line + '\n';
    return out;
}

const std::string& folder()
{
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return pattern;
    }();
    return path;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Lines of one letter, a or b, at random: every line has many equals on the other side and the edit script is
// long, the costliest kind of input for the line diff.
std::string twoLetters(uint32_t seed)
{
    std::string out;
    while (out.size() < TextSize) {
        seed = seed * 1103515245 + 12345;
        out += (seed >> 16 & 1) != 0 ? "a\n" : "b\n";
    }
    return out;
}

enum TKind { NoLineInCommon, Scattered, TwoLetters };

const TPair& pair(int kind)
{
    static const std::map<int, TPair> pairs = [] {
        const std::string text = sourceText();
        std::map<int, TPair> p;
        p[Scattered] = { text, withScatteredChanges(text), folder() + "/older", folder() + "/newer" };
        p[NoLineInCommon] = { text, withNoLineInCommon(text), folder() + "/older", folder() + "/unrelated" };
        p[TwoLetters] = { twoLetters(1), twoLetters(2), folder() + "/letters1", folder() + "/letters2" };
        for (const auto& [which, texts] : p) {
            writeFile(texts.olderPath, texts.older);
            writeFile(texts.newerPath, texts.newer);
        }
        return p;
    }();
    return pairs.at(kind);
}

void DisplayDiff(benchmark::State& state)
{
    const TPair& texts = pair(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const TTextDiff diff = diffTexts(texts.older, texts.newer);
        state.counters["added"] = static_cast<double>(diff.stats.added);
        state.counters["blocks"] = static_cast<double>(diff.changeStarts.size());
    }
}

void UnifiedDiff(benchmark::State& state)
{
    const TPair& texts = pair(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const std::string diff = unifiedDiff(texts.older, texts.newer, "older", "newer");
        state.counters["bytes"] = static_cast<double>(diff.size());
    }
}

// User and system CPU seconds of the child processes that ended so far.
double childCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds
        = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One process writing its diff to /dev/null; an exit code above 1 (diff's "trouble") skips it. Its CPU time,
// the steadier figure on a shared machine, is the counter child_cpu_ms beside our own CPU column.
void processRun(benchmark::State& state, const std::string& command)
{
    const TPair& texts = pair(static_cast<int>(state.range(0)));
    const std::string line = command + " '" + texts.olderPath + "' '" + texts.newerPath + "' > /dev/null 2>&1";
    double childCpu = 0;
    int rounds = 0;
    for (auto _ : state) {
        const bench::TStopwatch stopwatch;
        const double cpuBefore = childCpuSeconds();
        const int status = std::system(line.c_str());
        state.SetIterationTime(stopwatch.elapsed().wall);
        childCpu += childCpuSeconds() - cpuBefore;
        state.counters["child_cpu_ms"] = 1000 * childCpu / ++rounds;
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
            state.SkipWithError("the program is missing or failed");
            break;
        }
    }
}

void PythonDifflib(benchmark::State& state)
{
    processRun(state,
        "python3 -c 'import difflib, sys\n"
        "read = lambda p: open(p, encoding=\"utf-8\", errors=\"surrogateescape\").readlines()\n"
        "sys.stdout.writelines(difflib.unified_diff(read(sys.argv[1]), read(sys.argv[2]), \"older\", \"newer\"))'");
}

void GnuDiff(benchmark::State& state)
{
    processRun(state, "diff -u");
}

} // namespace

// Argument 1: a word changed every 200 lines; 0: no line in common; 2: lines of a and b at random.
BENCHMARK(DisplayDiff)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(UnifiedDiff)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PythonDifflib)->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(GnuDiff)->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("texts: %zu and %zu bytes (a word changed every %zu lines), %zu bytes with no line in common\n",
        pair(Scattered).older.size(), pair(Scattered).newer.size(), ChangeEvery, pair(NoLineInCommon).newer.size());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder());
    return 0;
}
