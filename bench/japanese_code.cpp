// The Japanese code conversion in MB/s on a 64 MiB Japanese text (Shift_JIS to EUC-JP, EUC-JP to Shift_JIS, and
// toInternal of the Shift_JIS text), each beside glibc iconv converting the same buffer; UTF-8 to Shift_JIS on a
// 64 MiB Japanese UTF-8 text, beside glibc iconv converting it to WINDOWS-31J; and the page scan of the item
// check on a 10 MiB page.
#include "text/japanese_code.h"
#include "text/html_parser.h"

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

// A fetched Shift_JIS page brought to the scanners' form: the code detected, then converted.
void ToInternal(benchmark::State& state)
{
    const std::string& source = japaneseText();
    for (auto _ : state) {
        std::string out = toInternal(source);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(ToInternal)->Unit(benchmark::kMillisecond);

// glibc's converter from `from` to `to` on `source`, into a buffer allocated once before the timed loop.
void iconvRun(benchmark::State& state, const std::string& source, const char* to, const char* from)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv lacks the conversion");
        return;
    }
    std::string out(source.size() * 2, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(source.data());
        size_t inLeft = source.size();
        char* dst = out.data();
        size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1)) {
            state.SkipWithError("iconv refused the text");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

void IconvSjisToEuc(benchmark::State& state)
{
    iconvRun(state, japaneseText(), "EUC-JP", "SHIFT_JIS");
}
BENCHMARK(IconvSjisToEuc)->Unit(benchmark::kMillisecond);

void IconvEucToSjis(benchmark::State& state)
{
    iconvRun(state, eucText(), "SHIFT_JIS", "EUC-JP");
}
BENCHMARK(IconvEucToSjis)->Unit(benchmark::kMillisecond);

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
    iconvRun(state, utf8Text(), "WINDOWS-31J", "UTF-8");
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

// Keeps the times per iteration of every run so that rates and ratios are printed after them.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    struct TTimes
    {
        double realSeconds;
        double cpuSeconds;
    };

    RatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            const auto iterations = static_cast<double>(run.iterations);
            times[run.benchmark_name()]
                = { run.real_accumulated_time / iterations, run.cpu_accumulated_time / iterations };
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, TTimes> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // On a shared machine the process's CPU time is the steadier figure; the wall clock also counts the waits.
    struct TPair
    {
        const char* ours;
        const char* iconv;
        const std::string& (*source)();
    };
    const TPair pairs[] = { { "SjisToEuc", "IconvSjisToEuc", japaneseText }, { "EucToSjis", "IconvEucToSjis", eucText },
        { "ToInternal", "IconvSjisToEuc", japaneseText }, { "Utf8ToSjis", "IconvUtf8ToSjis", utf8Text } };
    std::printf("\n%-11s %11s %12s %14s %15s\n", "", "MB/s (CPU)", "MB/s (wall)", "x iconv (CPU)", "x iconv (wall)");
    for (const TPair& pair : pairs) {
        const auto ours = reporter.times.find(pair.ours);
        if (ours == reporter.times.end() || ours->second.cpuSeconds <= 0 || ours->second.realSeconds <= 0)
            continue;
        const RatioReporter::TTimes& o = ours->second;
        const auto megabytes = static_cast<double>(pair.source().size()) / 1e6;
        std::printf("%-11s %11.0f %12.0f", pair.ours, megabytes / o.cpuSeconds, megabytes / o.realSeconds);
        if (const auto theirs = reporter.times.find(pair.iconv); theirs != reporter.times.end())
            std::printf(
                " %14.1f %15.1f", theirs->second.cpuSeconds / o.cpuSeconds, theirs->second.realSeconds / o.realSeconds);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
