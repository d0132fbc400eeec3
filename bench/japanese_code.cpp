// The Japanese code conversion in MB/s on a 64 MiB Japanese text, beside glibc iconv converting the same
// buffer from Shift_JIS to EUC-JP; UTF-8 to Shift_JIS on a 64 MiB Japanese UTF-8 text, beside glibc iconv
// converting it to WINDOWS-31J; and the page scan of the item check on a 10 MiB page.
#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iconv.h>
#include <map>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// Mostly kanji and kana with some ASCII words and line ends, as a Japanese page's text runs.
const std::string& japaneseText()
{
    static const std::string text = [] {
        constexpr size_t Size = 64u << 20;
        std::mt19937 random(20261208);
        std::string euc;
        euc.reserve(Size + 16);
        while (euc.size() < Size) {
            const unsigned pick = random() % 16;
            if (pick < 9) { // a kanji of the first level, rows 16 to 46 (all full)
                euc += static_cast<char>(0xB0 + random() % 31);
                euc += static_cast<char>(0xA1 + random() % 94);
            } else if (pick < 13) { // hiragana and katakana
                euc += static_cast<char>(0xA4 + random() % 2);
                euc += static_cast<char>(0xA1 + random() % 83);
            } else if (pick < 15) {
                euc += "text ";
            } else {
                euc += "\r\n";
            }
        }
        return eucToSjis(euc);
    }();
    return text;
}

const std::string& eucText()
{
    static const std::string text = sjisToEuc(japaneseText());
    return text;
}

// The same kind of text in UTF-8, cut to 64 MiB at a character's start.
const std::string& utf8Text()
{
    static const std::string text = [] {
        std::string utf8 = sjisToUtf8(japaneseText());
        size_t size = 64u << 20;
        while (size > 0 && (static_cast<unsigned char>(utf8[size]) & 0xC0) == 0x80)
            --size;
        utf8.resize(size);
        return utf8;
    }();
    return text;
}

void SjisToEuc(benchmark::State& state)
{
    const std::string& source = japaneseText();
    for (auto _ : state) {
        std::string out = sjisToEuc(source);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(SjisToEuc)->Unit(benchmark::kMillisecond);

void EucToSjis(benchmark::State& state)
{
    const std::string& source = eucText();
    for (auto _ : state) {
        std::string out = eucToSjis(source);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(EucToSjis)->Unit(benchmark::kMillisecond);

void IconvSjisToEuc(benchmark::State& state)
{
    const std::string& source = japaneseText();
    const iconv_t cd = iconv_open("EUC-JP", "SHIFT_JIS");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv has no Shift_JIS to EUC-JP");
        return;
    }
    std::string out(source.size() * 2, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(source.data());
        size_t inLeft = source.size();
        char* to = out.data();
        size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) {
            state.SkipWithError("iconv refused the text");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(IconvSjisToEuc)->Unit(benchmark::kMillisecond);

void Utf8ToSjis(benchmark::State& state)
{
    const std::string& source = utf8Text();
    benchmark::DoNotOptimize(utf8ToSjis("\xC3\xA9").data()); // the code table is built on first use
    for (auto _ : state) {
        std::string out = utf8ToSjis(source);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(Utf8ToSjis)->Unit(benchmark::kMillisecond);

void IconvUtf8ToSjis(benchmark::State& state)
{
    const std::string& source = utf8Text();
    const iconv_t cd = iconv_open("WINDOWS-31J", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv has no UTF-8 to WINDOWS-31J");
        return;
    }
    std::string out(source.size(), '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(source.data());
        size_t inLeft = source.size();
        char* to = out.data();
        size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) {
            state.SkipWithError("iconv refused the text");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(IconvUtf8ToSjis)->Unit(benchmark::kMillisecond);

// A 10 MiB Shift_JIS page: a head with the title and the watched meta tag at its end, then a long body.
const std::string& largePage()
{
    static const std::string page = [] {
        const std::string& text = japaneseText();
        std::string p = "<!DOCTYPE html>\n<html lang=ja><head><meta charset=Shift_JIS>\n";
        for (int i = 0; i < 200; ++i)
            p += "<link rel=stylesheet href=\"/style/" + std::to_string(i) + ".css\">\n";
        p += "<title>" + text.substr(0, 64) + "</title><meta name=\"version\" content=\"2026.12\"></head>\n<body>\n";
        size_t at = 64;
        while (p.size() < (10u << 20)) {
            p += "<div class=\"entry\"><p>";
            p += text.substr(at, 400);
            p += "</p><!-- entry --><a href=\"/page/" + std::to_string(at) + ".html\">more</a></div>\n";
            at += 400;
        }
        p += "</body></html>\n";
        return p;
    }();
    return page;
}

void ReadPageFacts(benchmark::State& state)
{
    const std::string& page = largePage();
    for (auto _ : state) {
        const TPageFacts facts = readPageFacts(page, true, "version", "2026.11");
        benchmark::DoNotOptimize(facts.metaChanged);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(ReadPageFacts)->Unit(benchmark::kMillisecond);

// Keeps the time per iteration of every run so that the ratio to iconv can be printed after them.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
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
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::pair<const char*, const char*> pairs[]
        = { { "SjisToEuc", "IconvSjisToEuc" }, { "Utf8ToSjis", "IconvUtf8ToSjis" } };
    for (const auto& [oursName, theirsName] : pairs) {
        const auto ours = reporter.seconds.find(oursName);
        const auto theirs = reporter.seconds.find(theirsName);
        if (ours != reporter.seconds.end() && theirs != reporter.seconds.end() && ours->second > 0)
            std::printf("%s: ours is %.1f times as fast as iconv\n", oursName, theirs->second / ours->second);
    }
    benchmark::Shutdown();
    return 0;
}
