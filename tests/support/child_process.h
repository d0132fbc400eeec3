#pragma once

#include <functional>
#include <sys/types.h>

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

} // namespace test
