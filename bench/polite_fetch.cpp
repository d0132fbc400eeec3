// A run of 1,000 GET items against nginx on loopback, twice: the second run of items that kept what the first
// answers gave (ETag, Last-Modified) from a server that offers validators and gzip, beside the same second run
// from a server that offers neither. Bytes are what nginx sent, from its own log; times are wall clock.
// Needs nginx (Debian: apt-get install nginx-light); skipped without it.
#include "side_by_side.h"

#include "check/check_run.h"

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t Items = 1000;

struct TFigures
{
    bench::TRound round;
    size_t bytes = 0;
    size_t notModified = 0;
};

std::optional<TFigures> g_polite;
std::optional<TFigures> g_plain;

std::string nginxPath()
{
    for (const char* path : { "/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx" }) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// A port on 127.0.0.1 that was free a moment ago.
uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool listening(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// A page of news-site size (about 40 KB of markup and text), different on every page.
std::string page(size_t number, std::mt19937& random)
{
    static const char* const Words[] = { "the", "server", "page", "update", "check", "news", "release", "version",
        "download", "notes", "changes", "fixed", "added", "window", "list", "item", "program", "users", "weekly",
        "report", "archive", "contact", "about", "search", "category", "comments", "posted", "today", "yesterday",
        "information", "support", "documentation", "license", "source", "mirror", "stable", "testing", "security" };
    std::uniform_int_distribution<size_t> word(0, std::size(Words) - 1);
    std::uniform_int_distribution<int> sentence(6, 18);
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Page " << number
        << "</title>\n<meta name=\"version\" content=\"" << number << ".0\">\n"
        << "<link rel=\"stylesheet\" href=\"/style.css\"></head>\n<body>\n<nav><ul>";
    for (int i = 0; i < 20; ++i)
        out << "<li><a href=\"/section/" << i << ".html\">" << Words[word(random)] << ' ' << Words[word(random)]
            << "</a></li>";
    out << "</ul></nav>\n<main>\n";
    while (out.tellp() < 40000) {
        out << "<article><h2>" << Words[word(random)] << ' ' << Words[word(random)] << "</h2>\n<p>";
        for (int s = 0; s < 5; ++s) {
            for (int w = sentence(random); w > 0; --w)
                out << Words[word(random)] << (w > 1 ? " " : ". ");
        }
        out << "</p><p class=\"meta\">posted " << random() % 28 + 1 << " Dec 2026 by <a href=\"/user/" << random() % 500
            << "\">user" << random() % 500 << "</a></p></article>\n";
    }
    out << "</main>\n<footer>&copy; 2026</footer>\n</body></html>\n";
    return out.str();
}

// nginx as a child, in a folder of its own: one server that offers validators and gzip, one that offers neither,
// each with a log of the bytes it sent.
class TNginx
{
public:
    explicit TNginx(const std::string& program)
        : m_polite(freePort())
        , m_plain(freePort())
    {
        std::mt19937 random(7);
        ::mkdir(m_folder.file("html").c_str(), 0755);
        ::mkdir(m_folder.file("logs").c_str(), 0755);
        for (size_t i = 0; i < Items; ++i)
            test::writeFile(m_folder.file("html/" + std::to_string(i) + ".html"), page(i, random));
        const std::string root = m_folder.file("html");
        const std::string config = "daemon off;\nmaster_process off;\nworker_processes 1;\npid "
            + m_folder.file("nginx.pid") + ";\nerror_log " + m_folder.file("logs/error.log")
            + " warn;\nevents { worker_connections 256; }\nhttp {\n"
              "  types { text/html html; }\n  default_type text/html;\n"
              "  client_body_temp_path "
            + m_folder.file("body") + ";\n  proxy_temp_path " + m_folder.file("proxy") + ";\n  fastcgi_temp_path "
            + m_folder.file("fastcgi") + ";\n  uwsgi_temp_path " + m_folder.file("uwsgi") + ";\n  scgi_temp_path "
            + m_folder.file("scgi") + ";\n  log_format bytes '$bytes_sent $status';\n"
            + "  server {\n    listen 127.0.0.1:" + std::to_string(m_polite) + ";\n    root " + root
            + ";\n    access_log " + m_folder.file("logs/polite.log")
            + " bytes;\n    etag on;\n    gzip on;\n    gzip_types text/html;\n    gzip_http_version 1.0;\n  }\n"
            + "  server {\n    listen 127.0.0.1:" + std::to_string(m_plain) + ";\n    root " + root
            + ";\n    access_log " + m_folder.file("logs/plain.log")
            + " bytes;\n    etag off;\n    gzip off;\n    if_modified_since off;\n  }\n}\n";
        test::writeFile(m_folder.file("nginx.conf"), config);
        m_program.emplace(program,
            std::vector<std::string> { "-p", m_folder.path(), "-c", m_folder.file("nginx.conf") }, m_folder.path());
        for (int i = 0; i < 500 && !(listening(m_polite) && listening(m_plain)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    ~TNginx()
    {
        if (m_program) {
            m_program->signal(SIGQUIT);
            m_program->wait();
        }
    }

    bool ready() const { return listening(m_polite) && listening(m_plain); }
    uint16_t polite() const { return m_polite; }
    uint16_t plain() const { return m_plain; }

    // Bytes sent and 304 answers logged by one server from its line `from` on.
    std::pair<size_t, size_t> sent(const std::string& log, size_t from, size_t& lines) const
    {
        std::ifstream in(m_folder.file("logs/" + log + ".log"));
        size_t bytes = 0;
        size_t notModified = 0;
        size_t status = 0;
        size_t count = 0;
        for (size_t value = 0; in >> value >> status; ++count) {
            if (count < from)
                continue;
            bytes += value;
            notModified += status == 304 ? 1 : 0;
        }
        lines = count;
        return { bytes, notModified };
    }

private:
    test::TempDir m_folder;
    uint16_t m_polite;
    uint16_t m_plain;
    std::optional<test::TProgram> m_program;
};

class TQuiet : public TCheckRunObserver
{
public:
    void runStarted(size_t) override { }
    void itemStarted(size_t, const TCheckItem&) override { }
    void itemDone(size_t, const TCheckItem&, const TItemDone&) override { }
    void runEnded(const TRunSummary&) override { }
};

TCheckItems items(uint16_t port)
{
    TCheckItems list;
    for (size_t i = 0; i < Items; ++i) {
        TCheckItem item = newItemTemplate();
        item.checkUri() = "http://127.0.0.1:" + std::to_string(port) + "/" + std::to_string(i) + ".html";
        item.check = 1;
        item.useGet = 1;
        item.compareSize = item.compareContent = 1;
        list.append(item);
    }
    return list;
}

// The second of two runs over the same items: the first fills in what the server's answers give.
void secondRun(benchmark::State& state, bool polite, std::optional<TFigures>& figures)
{
    const std::string program = nginxPath();
    if (program.empty()) {
        state.SkipWithError("nginx is not installed (apt-get install nginx-light)");
        for (auto _ : state) { }
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        TNginx nginx(program);
        if (!nginx.ready()) {
            state.SkipWithError("nginx did not start");
            continue;
        }
        const uint16_t port = polite ? nginx.polite() : nginx.plain();
        const std::string log = polite ? "polite" : "plain";
        TCheckItems list = items(port);
        THTTPChecker checker;
        TCheckRun run(checker);
        TQuiet quiet;
        run.run(list, newItemTemplate(), quiet);
        size_t firstLines = 0;
        nginx.sent(log, 0, firstLines);
        state.ResumeTiming();

        const bench::TStopwatch stopwatch;
        run.run(list, newItemTemplate(), quiet);
        TFigures result;
        result.round = stopwatch.elapsed();

        state.PauseTiming();
        size_t lines = 0;
        std::tie(result.bytes, result.notModified) = nginx.sent(log, firstLines, lines);
        if (lines != 2 * Items)
            state.SkipWithError("nginx did not log every request");
        for (size_t i = 0; i < list.count(); ++i) {
            if (list[i].status != ItemStatus::Normal || list[i].bodySize < 40000)
                state.SkipWithError("an item did not end Normal with its whole page");
        }
        state.counters["bytes"] = static_cast<double>(result.bytes);
        state.counters["304"] = static_cast<double>(result.notModified);
        figures = result;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Items));
}

void politeSecondRun(benchmark::State& state)
{
    secondRun(state, true, g_polite);
}

void plainSecondRun(benchmark::State& state)
{
    secondRun(state, false, g_plain);
}

} // namespace

BENCHMARK(politeSecondRun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plainSecondRun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_polite && g_plain) {
        std::printf("%zu GET items, second run: validators and gzip %zu bytes in %.3f s (%zu answers 304); "
                    "neither %zu bytes in %.3f s; bytes %.2f %%, time x%.2f\n",
            Items, g_polite->bytes, g_polite->round.wall, g_polite->notModified, g_plain->bytes, g_plain->round.wall,
            100.0 * static_cast<double>(g_polite->bytes) / static_cast<double>(g_plain->bytes),
            g_polite->round.wall / g_plain->round.wall);
    }
    return 0;
}
