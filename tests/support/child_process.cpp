#include "support/child_process.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

namespace {

int exitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

} // namespace

int runInChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exitCode(status);
}

TChildProcess::TChildProcess(const std::function<void(const std::function<void()>& ready)>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::close(fds[0]);
        body([fd = fds[1]] {
            const char byte = 1;
            if (::write(fd, &byte, 1) != 1)
                ::_exit(2);
            for (;;)
                ::pause();
        });
        ::_exit(1);
    }
    ::close(fds[1]);
    m_readyFd = fds[0];
}

TChildProcess::~TChildProcess()
{
    kill();
    ::close(m_readyFd);
}

bool TChildProcess::waitReady()
{
    char byte = 0;
    ssize_t n;
    do
        n = ::read(m_readyFd, &byte, 1);
    while (n < 0 && errno == EINTR);
    return n == 1;
}

void TChildProcess::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

} // namespace test
