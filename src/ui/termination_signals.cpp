#include "ui/termination_signals.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = { -1, -1 };

// Only async-signal-safe work here: one byte into the pipe wakes the event loop.
void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void handleTerminationSignals(QObject* context, std::function<void()> onTermination)
{
    static QSocketNotifier* notifier = nullptr;
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return; // without the pipe the signals keep their default action
    delete notifier;
    notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [action = std::move(onTermination)] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) { }
        if (action)
            action();
    });
    // Gone with the window, its parent; the next call must not delete it again.
    QObject::connect(notifier, &QObject::destroyed, notifier, [] { notifier = nullptr; });

    struct sigaction handler = {};
    handler.sa_handler = onSignal;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    for (int signal : { SIGTERM, SIGHUP, SIGINT })
        ::sigaction(signal, &handler, nullptr);
}
