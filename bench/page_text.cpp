// pageText in MB/s over real pages found on this machine (the documentation of Debian packages: valgrind,
// Node.js, libxslt, w3m and its Japanese manual in UTF-8, also converted to Shift_JIS and EUC-JP here), beside
// the libxml2 tree (THtmlDocument) with pageTextOfNodes, and beside `w3m -dump` and Python's html2text run once
// over the same files (each skipped when it is not installed).
//
// `bench_page_text --text FILE` prints the page text of one file instead, for scripts/compare-page-text.py, and
// `--tree FILE` the text of its body element taken from the libxml2 tree.
#include "text/page_text.h"

#include "side_by_side.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iconv.h>
#include <iostream>
#include <sstream>
#include <string>
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
    std::vector<std::string> files; // for the other programs; Shift_JIS and EUC-JP copies are written to /tmp
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
};

void addFile(TPageSet& set, const std::string& path, std::string body)
{
    if (body.empty())
        return;
    set.bytes += body.size();
    set.files.push_back(path);
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
                        page.replace(at, 5, code == std::string("CP932") ? "SJIS " : "EUCJP");
                const std::string copy = std::string("/tmp/bench_page_text_") + code + "_"
                    + std::string(path).substr(std::string(path).rfind('/') + 1);
                std::ofstream(copy, std::ios::binary) << page;
                addFile(s, copy, std::move(page));
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

// One process of the other program per page, the best of three rounds; MB/s of wall-clock time, start-up
// included, as a user of that program would see it.
void runProgram(benchmark::State& state, const std::string& command, const std::string& probe, const TPageSet& set)
{
    if (std::system((probe + " > /dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError("not installed");
        return;
    }
    for (auto _ : state) {
        bench::TRound best;
        for (int round = 0; round < 3; ++round) {
            const bench::TStopwatch stopwatch;
            bool ok = true;
            for (const std::string& file : set.files)
                ok = ok && std::system((command + " '" + file + "' > /dev/null 2>&1").c_str()) == 0;
            bench::TRound elapsed = stopwatch.elapsed();
            if (!ok)
                elapsed.wall = -1;
            best.keepBest(elapsed);
        }
        if (!best.done()) {
            state.SkipWithError("the program failed");
            return;
        }
        state.SetIterationTime(best.wall);
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
    runProgram(state, "/usr/bin/python3 -m html2text", "/usr/bin/python3 -c 'import html2text'", japanesePages());
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
