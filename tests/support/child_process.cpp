#include "support/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
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

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return exitCode(status);
}

} // namespace

int runInChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0)
        ::_exit(body());
    return reap(pid);
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
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
    m_pid = -1;
}

TProgram::TProgram(const std::string& path, const std::vector<std::string>& arguments, const std::string& folder,
    const std::vector<std::string>& unset)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Made before the fork: the child of a threaded process may only make async-signal-safe calls.
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        if (std::find(unset.begin(), unset.end(), name) == unset.end())
            environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        const int input = ::open("/dev/null", O_RDONLY);
        if (input < 0 || ::dup2(input, 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0
            || ::chdir(folder.c_str()) != 0)
            ::_exit(127);
        // The test program's own handling of signals must not reach the program.
        for (int number : { SIGINT, SIGTERM, SIGHUP, SIGPIPE })
            std::signal(number, SIG_DFL);
        ::execve(argv[0], argv.data(), environment.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
}

TProgram::~TProgram()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        reap(m_pid);
    }
    ::close(m_out);
    ::close(m_err);
}

void TProgram::signal(int number)
{
    if (m_pid > 0)
        ::kill(m_pid, number);
}

std::string TProgram::errorUntil(std::string_view text)
{
    std::string read;
    pollfd fd = { m_err, POLLIN, 0 };
    char buffer[256];
    while (read.find(text) == std::string::npos && ::poll(&fd, 1, 30000) > 0) {
        const ssize_t got = ::read(m_err, buffer, sizeof buffer);
        if (got <= 0)
            break;
        read.append(buffer, static_cast<size_t>(got));
    }
    return read;
}

ProgramResult TProgram::wait()
{
    ProgramResult result;
    pollfd fds[2] = { { m_out, POLLIN, 0 }, { m_err, POLLIN, 0 } };
    std::string* targets[2] = { &result.out, &result.err };
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                targets[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    result.status = reap(m_pid);
    m_pid = -1;
    return result;
}

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments, const std::string& folder,
    const std::vector<std::string>& unset)
{
    return TProgram(path, arguments, folder, unset).wait();
}

} // namespace test
