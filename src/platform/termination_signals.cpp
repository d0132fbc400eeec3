#include "platform/termination_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = { -1, -1 };
// Set by the handler, on whichever thread the signal lands, and read on the caller's thread.
std::atomic<int> g_signal = 0;
static_assert(std::atomic<int>::is_always_lock_free, "only a lock-free atomic may be set from a signal handler");

// Only async-signal-safe work here.
void onSignal(int signal)
{
    const int saved = errno;
    g_signal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void catchTerminationSignals(TSecondSignal second)
{
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    struct sigaction handler = {};
    handler.sa_handler = onSignal;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = second == TSecondSignal::EndsAtOnce ? SA_RESETHAND : SA_RESTART;
    for (int signal : { SIGINT, SIGTERM, SIGHUP })
        ::sigaction(signal, &handler, nullptr);
}

int terminationSignal() noexcept
{
    return g_signal;
}

int terminationSignalFd() noexcept
{
    return g_pipe[0];
}

void drainTerminationSignalFd() noexcept
{
    char bytes[16];
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], bytes, sizeof bytes) > 0) { }
}
