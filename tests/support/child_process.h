#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace test {

// Runs `body` in a child process and returns its exit code, or -signal when a signal ended it, so that
// limits, identities and signal dispositions changed for a test never reach the test program itself.
int runInChild(const std::function<int()>& body);

// A child process that runs `body` and stays alive, for tests that kill a process in the middle of
// something. `body` calls `ready` when it has got there; `ready` tells the test and never returns.
class TChildProcess
{
public:
    explicit TChildProcess(const std::function<void(const std::function<void()>& ready)>& body);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Waits until the child said it is ready; false when it ended before that.
    bool waitReady();
    // Kills the child with SIGKILL and reaps it.
    void kill();

private:
    pid_t m_pid = -1;
    int m_readyFd = -1;
};

// What a program started by TProgram did: its exit code (or -signal) and everything it wrote.
struct ProgramResult
{
    int status = -1;
    std::string out;
    std::string err;
};

// Another program started as a child process, in `folder`, with the environment variables named in `unset`
// removed; its standard input is /dev/null, its output is captured.
class TProgram
{
public:
    TProgram(const std::string& path, const std::vector<std::string>& arguments, const std::string& folder,
        const std::vector<std::string>& unset = {});
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    void signal(int number);
    // Reads its standard error until `text` has come, its output ended or 30 seconds passed; returns what was read.
    std::string errorUntil(std::string_view text);
    // Reads its output until it ends and reaps it.
    ProgramResult wait();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// Starts the program and waits for it.
ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments, const std::string& folder,
    const std::vector<std::string>& unset = {});

} // namespace test
