#pragma once

// What the benchmarks share that time our code beside another program in the same run: a stopwatch of wall-clock
// and CPU time, and one curl process over a list of URLs.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

// Wall-clock and process CPU seconds of one round; the machine may be shared, and the CPU time shows how much
// of the wall-clock time was waiting for it.
struct TRound
{
    double wall = -1;
    double cpu = 0;

    bool done() const { return wall >= 0; }
    void keepBest(const TRound& other)
    {
        if (wall < 0 || other.wall < wall)
            *this = other;
    }
};

class TStopwatch
{
public:
    TStopwatch()
        : m_wall(std::chrono::steady_clock::now())
        , m_cpu(cpuSeconds())
    {
    }
    TRound elapsed() const
    {
        return { std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count(),
            cpuSeconds() - m_cpu };
    }

private:
    static double cpuSeconds()
    {
        timespec now {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }

    std::chrono::steady_clock::time_point m_wall;
    double m_cpu;
};

// One curl process fetching `urls` with `options` (e.g. "--http1.0 -s -I"), its output thrown away. The wall-clock
// time is the whole process, start-up included; the CPU time is ours, not curl's. Not done when curl failed.
inline TRound curlRound(const std::string& options, const std::vector<std::string>& urls)
{
    std::string command = "curl " + options;
    for (const std::string& url : urls)
        command += ' ' + url;
    command += " > /dev/null 2>&1"; // with --parallel, -s still leaves the progress meter
    const TStopwatch stopwatch;
    const int result = std::system(command.c_str());
    TRound round = stopwatch.elapsed();
    if (result != 0)
        round.wall = -1;
    return round;
}

} // namespace bench
