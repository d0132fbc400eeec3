// pageText in MB/s over real pages found on this machine (the documentation of Debian packages: valgrind,
// Node.js, libxslt, w3m and its Japanese manual in UTF-8, also converted to Shift_JIS and EUC-JP here; a missing
// page is left out), beside the libxml2 tree (THtmlDocument) with pageTextOfNodes, and beside `w3m -dump` and
// Python's html2text run over the same files (each skipped when it is not installed).
//
// `bench_page_text --text FILE` prints the page text of one file instead, for scripts/compare-page-text.py, and
// `--tree FILE` the text of its body element taken from the libxml2 tree.
#include "text/page_text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iconv.h>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string converted(const std::string& utf8, const char* code)
{
    const iconv_t cd = iconv_open(code, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(utf8.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(utf8.data());
    size_t srcLeft = utf8.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    // Characters the code lacks are skipped; the page stays a page of that code.
    while (srcLeft > 0 && iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

struct TPage
{
    std::string path; // empty for a page converted here
    std::string body;
};

struct TPageSet
{
    std::vector<TPage> pages;
    size_t bytes = 0;
    // For the other programs, with the code of each: Shift_JIS and EUC-JP copies are written to /tmp.
    std::vector<std::pair<std::string, std::string>> files;
};

const char* const EnglishPages[] = {
    "/usr/share/doc/valgrind/html/manual-core.html",
    "/usr/share/doc/valgrind/html/mc-manual.html",
    "/usr/share/doc/valgrind/html/dist.news.html",
    "/usr/share/doc/nodejs/api/fs.html",
    "/usr/share/doc/nodejs/api/http.html",
    "/usr/share/doc/w3m/MANUAL.html",
    "/usr/share/doc/libxslt1-dev/html/html/libxslt-xsltInternals.html",
    "/usr/share/doc/shared-mime-info/shared-mime-info-spec.html/index.html",
};
const char* const JapanesePages[] = {
    "/usr/share/doc/w3m/ja/MANUAL.html",
    "/usr/share/doc/w3m/ja/FAQ.html",
    "/usr/share/doc/w3m/ja/STORY.html",
    // The Japanese Rust by Example of a rustup installation, where there is one.
    "/root/.rustup/toolchains/stable-x86_64-unknown-linux-gnu/share/doc/rust/html/rust-by-example/ja/hello/print.html",
};

void addFile(TPageSet& set, const std::string& path, std::string body, const char* code = "utf-8")
{
    if (body.empty())
        return;
    set.bytes += body.size();
    set.files.emplace_back(path, code);
    set.pages.push_back({ path, std::move(body) });
}

const TPageSet& englishPages()
{
    static const TPageSet set = [] {
        TPageSet s;
        for (const char* path : EnglishPages)
            addFile(s, path, readFile(path));
        return s;
    }();
    return set;
}

// The Japanese manual as it is (UTF-8) and in Shift_JIS and EUC-JP, with its charset declaration changed to match.
const TPageSet& japanesePages()
{
    static const TPageSet set = [] {
        TPageSet s;
        for (const char* path : JapanesePages) {
            const std::string utf8 = readFile(path);
            addFile(s, path, utf8);
            for (const char* code : { "CP932", "EUC-JP" }) {
                std::string page = converted(utf8, code);
                for (const char* label : { "UTF-8", "utf-8" })
                    for (size_t at = page.find(label); at != std::string::npos; at = page.find(label, at + 1))
                        page.replace(at, 5, code == std::string("CP932") ? "Shift_JIS" : "EUC-JP");
                const std::string copy = std::string("/tmp/bench_page_text_") + code + "_"
                    + std::string(path).substr(std::string(path).rfind('/') + 1);
                std::ofstream(copy, std::ios::binary) << page;
                addFile(s, copy, std::move(page), code == std::string("CP932") ? "shift_jis" : "euc-jp");
            }
        }
        return s;
    }();
    return set;
}

void runPageText(benchmark::State& state, const TPageSet& set)
{
    if (set.pages.empty()) {
        state.SkipWithError("no pages found");
        return;
    }
    for (auto _ : state)
        for (const TPage& page : set.pages) {
            std::string text = pageText(page.body, "text/html");
            benchmark::DoNotOptimize(text.data());
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}

void PageTextEnglish(benchmark::State& state)
{
    runPageText(state, englishPages());
}
BENCHMARK(PageTextEnglish)->Unit(benchmark::kMillisecond);

void PageTextJapanese(benchmark::State& state)
{
    runPageText(state, japanesePages());
}
BENCHMARK(PageTextJapanese)->Unit(benchmark::kMillisecond);

// The decoding alone, the part of the Japanese figure that is the code conversion.
void DecodeJapanese(benchmark::State& state)
{
    const TPageSet& set = japanesePages();
    for (auto _ : state)
        for (const TPage& page : set.pages) {
            std::string text = pageUtf8(page.body, "text/html");
            benchmark::DoNotOptimize(text.data());
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}
BENCHMARK(DecodeJapanese)->Unit(benchmark::kMillisecond);

// The region path: the page decoded, its libxml2 tree built, and the body's text taken from the tree.
void TreeTextEnglish(benchmark::State& state)
{
    const TPageSet& set = englishPages();
    for (auto _ : state)
        for (const TPage& page : set.pages) {
            const THtmlDocument document(pageUtf8(page.body, "text/html"));
            std::string text = pageTextOfNodes({ document.body() });
            benchmark::DoNotOptimize(text.data());
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}
BENCHMARK(TreeTextEnglish)->Unit(benchmark::kMillisecond);

// CPU seconds of the finished child processes (user and system).
double childSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One process of the other program per page (given the page's code when `withCode`), the best of three rounds.
// MB/s of the CPU time of those processes, start-up included, as a user of that program would spend it: the
// machine may be shared, so wall-clock time would time the other programs on it too.
void runProgram(benchmark::State& state, const std::string& command, const std::string& probe, const TPageSet& set,
    bool withCode = false)
{
    if (std::system((probe + " > /dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError("not installed");
        return;
    }
    for (auto _ : state) {
        double best = -1;
        for (int round = 0; round < 3; ++round) {
            const double start = childSeconds();
            bool ok = true;
            for (const auto& [file, code] : set.files) {
                const std::string line = command + " '" + file + "'" + (withCode ? " " + code : "");
                ok = ok && std::system((line + " > /dev/null 2>&1").c_str()) == 0;
            }
            const double spent = childSeconds() - start;
            if (ok && (best < 0 || spent < best))
                best = spent;
        }
        if (best < 0) {
            state.SkipWithError("the program failed");
            return;
        }
        state.SetIterationTime(best);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}

void W3mEnglish(benchmark::State& state)
{
    runProgram(state, "w3m -T text/html -dump", "w3m -version", englishPages());
}
BENCHMARK(W3mEnglish)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void W3mJapanese(benchmark::State& state)
{
    runProgram(state, "w3m -T text/html -dump", "w3m -version", japanesePages());
}
BENCHMARK(W3mJapanese)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void Html2textEnglish(benchmark::State& state)
{
    runProgram(state, "/usr/bin/python3 -m html2text", "/usr/bin/python3 -c 'import html2text'", englishPages());
}
BENCHMARK(Html2textEnglish)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void Html2textJapanese(benchmark::State& state)
{
    runProgram(state, "/usr/bin/python3 -m html2text", "/usr/bin/python3 -c 'import html2text'", japanesePages(), true);
}
BENCHMARK(Html2textJapanese)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--text") {
        std::cout << pageText(readFile(argv[2]), "text/html");
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--tree") {
        const THtmlDocument document(pageUtf8(readFile(argv[2]), "text/html"));
        std::cout << pageTextOfNodes({ document.body() });
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
