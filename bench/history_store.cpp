// The history of 1,000 pages with 50 versions each: the file's size against the texts it keeps (beside zstd of
// each text alone), the time to record a check's text, and the time to read a version back. The pages are the
// documentation HTML of this machine with its tags stripped; each version changes a few lines of its page.
#include "history/history_store.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zstd.h>

namespace {

constexpr int PageCount = 1000;
constexpr int VersionCount = 50;

void findHtml(const std::string& folder, std::vector<std::string>& files)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            findHtml(path, files);
        else if (S_ISREG(st.st_mode) && st.st_size > 4096 && name.ends_with(".html"))
            files.push_back(path);
    }
    ::closedir(dir);
}

// Tags dropped and blank lines left out: roughly what a reader sees of the page.
std::string pageText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream html;
    html << in.rdbuf();
    std::string text;
    bool inTag = false;
    for (char c : html.str()) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag && !(c == '\n' && (text.empty() || text.back() == '\n')))
            text += c;
    }
    return text;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Pages
{
    std::vector<std::vector<std::string>> lines;
};

const Pages& pages()
{
    static const Pages all = [] {
        std::vector<std::string> files;
        findHtml("/usr/share/doc", files);
        std::sort(files.begin(), files.end());
        Pages result;
        for (const std::string& file : files) {
            auto lines = splitLines(pageText(file));
            if (lines.size() >= 20)
                result.lines.push_back(std::move(lines));
        }
        if (result.lines.empty())
            result.lines.push_back(std::vector<std::string>(200, "No documentation on this machine; a line of text"));
        return result;
    }();
    return all;
}

// Version `version` of page `page`: the page's text with a heading line naming the check and three lines
// changed, different ones in every version, as a news list or a counter on a real page would.
std::string versionText(int page, int version)
{
    const auto& lines = pages().lines[static_cast<size_t>(page) % pages().lines.size()];
    std::string text = "Page " + std::to_string(page) + ", as of check " + std::to_string(version) + "\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        for (int k = 0; k < 3; ++k)
            if (i == (static_cast<size_t>(version) * 7919 + static_cast<size_t>(k) * 104729 + page) % lines.size())
                text += " (changed in version " + std::to_string(version) + ")";
        text += '\n';
    }
    return text;
}

std::string benchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp ? tmp : "/tmp") + "/vantrel_history_bench_" + std::to_string(::getpid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

long long fileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

void removeStore(const std::string& folder)
{
    for (const char* suffix : { "", "-wal", "-shm" })
        std::remove((folder + "/" + THistoryStore::FileName + suffix).c_str());
}

std::string itemId(int page)
{
    char id[33];
    std::snprintf(id, sizeof id, "%032x", page);
    return id;
}

void recordThousandPages(benchmark::State& state)
{
    const std::string folder = benchFolder();
    long long textBytes = 0;
    long long plainBytes = 0;
    long long records = 0;
    for (auto _ : state) {
        removeStore(folder);
        textBytes = plainBytes = records = 0;
        {
            THistoryStore store(folder, VersionCount);
            for (int version = 1; version <= VersionCount; ++version)
                for (int page = 0; page < PageCount; ++page) {
                    const std::string text = versionText(page, version);
                    state.PauseTiming();
                    textBytes += static_cast<long long>(text.size());
                    std::string frame(ZSTD_compressBound(text.size()), '\0');
                    plainBytes += static_cast<long long>(
                        ZSTD_compress(frame.data(), frame.size(), text.data(), text.size(), 3));
                    state.ResumeTiming();
                    records += store.record(itemId(page), version, text) ? 1 : 0;
                }
        }
    }
    const long long fileBytes = fileSize(folder + "/" + THistoryStore::FileName);
    state.counters["text_MiB"] = static_cast<double>(textBytes) / (1024.0 * 1024.0);
    state.counters["file_MiB"] = static_cast<double>(fileBytes) / (1024.0 * 1024.0);
    state.counters["ratio"] = static_cast<double>(fileBytes) / static_cast<double>(textBytes);
    state.counters["zstd_alone_ratio"] = static_cast<double>(plainBytes) / static_cast<double>(textBytes);
    state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    std::printf("%d pages x %d versions: %lld text bytes, %lld file bytes, ratio %.4f (zstd of each text alone "
                "%.4f), %zu source pages\n",
        PageCount, VersionCount, textBytes, fileBytes, static_cast<double>(fileBytes) / static_cast<double>(textBytes),
        static_cast<double>(plainBytes) / static_cast<double>(textBytes), pages().lines.size());
    removeStore(folder);
    ::rmdir(folder.c_str());
}
BENCHMARK(recordThousandPages)->Unit(benchmark::kSecond)->Iterations(1);

// One check's text of about 1 MB recorded into an item that already holds versions, and one version read back.
std::string largeText(int version)
{
    std::string text;
    for (int page = 0; text.size() < (1u << 20); ++page)
        text += versionText(page, page == 3 ? version : 0);
    return text;
}

void recordLargeText(benchmark::State& state)
{
    const std::string folder = benchFolder();
    removeStore(folder);
    {
        THistoryStore store(folder, 50);
        std::vector<std::string> texts;
        for (int version = 0; version < 8; ++version)
            texts.push_back(largeText(version));
        int version = 0;
        for (auto _ : state) {
            store.record(itemId(1), version, texts[static_cast<size_t>(version % 8)]);
            ++version;
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(texts[0].size()));
    }
    removeStore(folder);
    ::rmdir(folder.c_str());
}
BENCHMARK(recordLargeText)->Unit(benchmark::kMillisecond);

void readLargeVersion(benchmark::State& state)
{
    const std::string folder = benchFolder();
    removeStore(folder);
    {
        THistoryStore store(folder, 50);
        for (int version = 0; version < 50; ++version)
            store.record(itemId(1), version, largeText(version));
        int number = 0;
        size_t bytes = 0;
        for (auto _ : state) {
            bytes += store.text(itemId(1), number % 50 + 1).size();
            ++number;
        }
        state.SetBytesProcessed(static_cast<int64_t>(bytes));
    }
    removeStore(folder);
    ::rmdir(folder.c_str());
}
BENCHMARK(readLargeVersion)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
