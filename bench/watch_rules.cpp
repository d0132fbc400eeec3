// The watch rules on a real page: the first MiB of the Node.js API documentation in one page (Debian's nodejs
// documentation). A CSS region reads the page in a streaming pass that builds libxml2's tree without keeping
// it, after a pass that counts siblings for a selector counting from the end (Region); the tree path
// (TreeRegion: the page decoded, its libxml2 tree, the selection and the text of the chosen elements, also timed
// in steps) is what XPath beyond plain location paths still takes (Region/xpath_on_tree). Both beside pageText's one
// streaming pass over the same page, and beside a check's text without a region (WatchedText: pageText and the compare
// key). Then 20 ignore patterns over 1 MB of that documentation's text in MB/s, beside the same patterns in Python's re
// over the same lines (skipped without python3), and the compare key.
#include "text/watch_rules.h"
#include "text/page_text.h"

#include "side_by_side.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const PagePath = "/usr/share/doc/nodejs/api/all.html";
constexpr size_t PageSize = 1 << 20;
constexpr size_t TextSize = 1'000'000;

std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The page cut at the start of a tag; the parser closes what is left open, as a browser does.
const std::string& page()
{
    static const std::string body = [] {
        std::string all = readFile(PagePath);
        if (all.size() > PageSize)
            all.resize(all.rfind('<', PageSize));
        return all;
    }();
    return body;
}

// The whole documentation's text, cut to 1 MB at a line end.
const std::string& text()
{
    static const std::string t = [] {
        std::string all = pageText(readFile(PagePath), "text/html");
        if (all.size() > TextSize)
            all.resize(all.rfind('\n', TextSize) + 1);
        return all;
    }();
    return t;
}

// Rules a user might set against counters, dates, versions and advertising; each is also Python re syntax.
const std::vector<std::string> Patterns = {
    "^\\d{4}-\\d{2}-\\d{2}",
    "(?i:last updated)",
    "\\d+ (?:views|visitors)",
    "^Added in: v\\d+",
    "^History$",
    "Stability: \\d",
    "(?i:copyright)",
    "^\\s*$",
    "\\bdeprecated\\b",
    "アクセス数",
    "広告",
    "^PR:",
    "[0-9]+件",
    "session=[0-9a-f]+",
    "\\b\\d{1,2}:\\d{2}(?::\\d{2})?\\b",
    "(?i:advertisement)",
    "^v\\d+\\.\\d+\\.\\d+$",
    "^Returns: ",
    "token=\\w+",
    "^Edit on GitHub$",
};

bool skipWithoutPage(benchmark::State& state)
{
    if (!page().empty())
        return false;
    state.SkipWithError("the page is not installed (Debian package nodejs-doc)");
    return true;
}

void PageText(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    for (auto _ : state) {
        std::string t = pageText(page(), "text/html");
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(PageText)->Unit(benchmark::kMillisecond);

// What a check without a region makes of the page.
void WatchedText(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    const TCompiledRules none { TWatchRules() };
    for (auto _ : state) {
        const TWatchedText watched = watchedText(page(), "text/html", none);
        benchmark::DoNotOptimize(watched.compareKey.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(WatchedText)->Unit(benchmark::kMillisecond);

// The whole path of a check with a region, as watchedText runs it.
void Region(benchmark::State& state, const char* region)
{
    if (skipWithoutPage(state))
        return;
    TWatchRules rules;
    rules.region = region;
    const TCompiledRules compiled(rules);
    size_t bytes = 0;
    for (auto _ : state) {
        const TWatchedText watched = watchedText(page(), "text/html", compiled);
        bytes = watched.text.size();
        benchmark::DoNotOptimize(watched.text.data());
    }
    state.counters["text_kB"] = static_cast<double>(bytes) / 1e3;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK_CAPTURE(Region, main_content, "#apicontent")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, headings, "#apicontent h2, #apicontent h3, #apicontent h4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, odd_items, "li:nth-child(odd) > a")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, xpath, "xpath://*[@id='apicontent']")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, copied_xpath, "xpath://*[@id='apicontent']/section[2]/section[1]/p[1]")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, xpath_on_tree, "xpath://h3[contains(., 'Buffer')]")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, last_items, "li:last-child > a")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Region, code_blocks, "pre > code")->Unit(benchmark::kMillisecond);

// The same regions over libxml2's tree, as every region was read before the streaming pass.
void TreeRegion(benchmark::State& state, const char* region)
{
    if (skipWithoutPage(state))
        return;
    const TRegionSelector selector(region);
    size_t bytes = 0;
    for (auto _ : state) {
        const THtmlDocument document(pageUtf8(page(), "text/html"));
        const std::string t = pageTextOfNodes(selector.select(document.doc()));
        bytes = t.size();
        benchmark::DoNotOptimize(t.data());
    }
    state.counters["text_kB"] = static_cast<double>(bytes) / 1e3;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK_CAPTURE(TreeRegion, main_content, "#apicontent")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TreeRegion, headings, "#apicontent h2, #apicontent h3, #apicontent h4")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TreeRegion, odd_items, "li:nth-child(odd) > a")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TreeRegion, code_blocks, "pre > code")->Unit(benchmark::kMillisecond);

// The streaming pass alone on the decoded page.
void StepStream(benchmark::State& state, const char* region)
{
    if (skipWithoutPage(state))
        return;
    const std::string utf8 = pageUtf8(page(), "text/html");
    const TRegionSelector selector(region);
    for (auto _ : state) {
        std::optional<TPickedText> t = selector.streamedText(utf8);
        if (!t) {
            state.SkipWithError("the streaming pass gave the page to the tree");
            break;
        }
        benchmark::DoNotOptimize(t->text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK_CAPTURE(StepStream, main_content, "#apicontent")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StepStream, headings, "#apicontent h2, #apicontent h3, #apicontent h4")
    ->Unit(benchmark::kMillisecond);

// The steps of Region/main_content one by one.
void StepDecode(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    for (auto _ : state) {
        std::string utf8 = pageUtf8(page(), "text/html");
        benchmark::DoNotOptimize(utf8.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(StepDecode)->Unit(benchmark::kMillisecond);

void StepTree(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    const std::string utf8 = pageUtf8(page(), "text/html");
    for (auto _ : state) {
        const THtmlDocument document(utf8);
        benchmark::DoNotOptimize(document.doc());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(StepTree)->Unit(benchmark::kMillisecond);

void StepSelect(benchmark::State& state, const char* region)
{
    if (skipWithoutPage(state))
        return;
    const THtmlDocument document(pageUtf8(page(), "text/html"));
    const TRegionSelector selector(region);
    for (auto _ : state) {
        std::vector<_xmlNode*> nodes = selector.select(document.doc());
        benchmark::DoNotOptimize(nodes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK_CAPTURE(StepSelect, main_content, "#apicontent")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StepSelect, odd_items, "li:nth-child(odd) > a")->Unit(benchmark::kMillisecond);

void StepTextOfNodes(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    const THtmlDocument document(pageUtf8(page(), "text/html"));
    const std::vector<_xmlNode*> nodes = selectRegion(document.doc(), "#apicontent");
    for (auto _ : state) {
        std::string t = pageTextOfNodes(nodes);
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(StepTextOfNodes)->Unit(benchmark::kMillisecond);

void IgnoreLines(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    TWatchRules rules;
    rules.ignore = Patterns;
    const TCompiledRules compiled(rules);
    size_t kept = 0;
    for (auto _ : state) {
        std::string t = compiled.keptText(text());
        kept = t.size();
        benchmark::DoNotOptimize(t.data());
    }
    const std::vector<bool> ignored = ignoredLines(text(), compiled);
    state.counters["ignored_lines"] = static_cast<double>(std::count(ignored.begin(), ignored.end(), true));
    state.counters["kept_kB"] = static_cast<double>(kept) / 1e3;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}
BENCHMARK(IgnoreLines)->Unit(benchmark::kMillisecond);

// The same patterns in Python's re, one alternation searched in each line as a Python program would write it;
// the time is Python's own CPU time (the best of five passes), its start-up and reading left out, beside our CPU
// time.
void PythonReIgnoreLines(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    if (std::system("python3 -c 'import re' > /dev/null 2>&1") != 0) {
        state.SkipWithError("python3 is not installed");
        return;
    }
    const std::string folder = "/tmp/bench_watch_rules_" + std::to_string(getpid());
    std::system(("mkdir -p " + folder).c_str());
    std::ofstream(folder + "/text", std::ios::binary) << text();
    {
        std::ofstream patterns(folder + "/patterns", std::ios::binary);
        for (const std::string& pattern : Patterns)
            patterns << pattern << '\n';
    }
    const std::string script = "import re, sys, time\n"
                               "pats = open(sys.argv[1], encoding='utf-8').read().split('\\n')[:-1]\n"
                               "text = open(sys.argv[2], encoding='utf-8').read()\n"
                               "rx = re.compile('|'.join('(?:%s)' % p for p in pats), re.M)\n"
                               "best = 1e9\n"
                               "for _ in range(5):\n"
                               "    t = time.process_time()\n"
                               "    lines = text.split('\\n')\n"
                               "    ignored = sum(1 for l in lines[:-1] if rx.search(l))\n"
                               "    best = min(best, time.process_time() - t)\n"
                               "print(best, ignored)\n";
    std::ofstream(folder + "/run.py") << script;
    double seconds = -1;
    double ignored = 0;
    for (auto _ : state) {
        FILE* out = popen(("python3 " + folder + "/run.py " + folder + "/patterns " + folder + "/text").c_str(), "r");
        if (out == nullptr || std::fscanf(out, "%lf %lf", &seconds, &ignored) != 2)
            seconds = -1;
        if (out != nullptr)
            pclose(out);
        if (seconds <= 0) {
            state.SkipWithError("python3 failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
    std::system(("rm -rf " + folder).c_str());
    state.counters["ignored_lines"] = ignored;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}
BENCHMARK(PythonReIgnoreLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void CompareKey(benchmark::State& state)
{
    if (skipWithoutPage(state))
        return;
    for (auto _ : state) {
        std::string key = compareKey(text(), true);
        benchmark::DoNotOptimize(key.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}
BENCHMARK(CompareKey)->Unit(benchmark::kMillisecond);

// Keeps the CPU time per iteration of every run, for the ratios printed after the figures.
class TimesReporter : public benchmark::ConsoleReporter
{
public:
    TimesReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // The least of repeated runs, which a busy machine disturbs least.
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0 || run.run_type != Run::RT_Iteration)
                continue;
            const double time
                = (run.run_name.str().ends_with("manual_time") ? run.real_accumulated_time : run.cpu_accumulated_time)
                / static_cast<double>(run.iterations);
            const auto [at, added] = seconds.emplace(run.run_name.str(), time);
            at->second = std::min(at->second, time);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& s = reporter.seconds;
    if (const auto whole = s.find("PageText"), check = s.find("WatchedText"); whole != s.end() && check != s.end()) {
        std::printf("\nCPU time of a region against pageText and against a check without a region, same page\n");
        for (const auto& [name, seconds] : s)
            if (name.starts_with("Region/") || name.starts_with("TreeRegion/") || name.starts_with("Step"))
                std::printf("  %-28s %5.2f %5.2f\n", name.c_str(), seconds / whole->second, seconds / check->second);
    }
    const auto ours = s.find("IgnoreLines");
    const auto python = s.find("PythonReIgnoreLines/iterations:1/manual_time");
    if (ours != s.end()) {
        const double megabytes = static_cast<double>(text().size()) / 1e6;
        std::printf("\n20 ignore patterns over %.2f MB of text: %.0f MB/s", megabytes, megabytes / ours->second);
        if (python != s.end())
            std::printf(", Python re %.0f MB/s (%.0f times as fast)", megabytes / python->second,
                python->second / ours->second);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
