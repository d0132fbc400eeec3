#include "check/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class Pipe
{
public:
    Pipe() { EXPECT_EQ(::pipe(m_fds), 0); }
    ~Pipe()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int readEnd() const { return m_fds[0]; }
    void write() const { EXPECT_EQ(::write(m_fds[1], "x", 1), 1); }

private:
    int m_fds[2] = { -1, -1 };
};

std::atomic<int> g_signals = 0;

} // namespace

TEST(Wait, EndsOnReadinessDeadlineOrCancel)
{
    struct Case
    {
        const char* name;
        bool written;
        uint32_t deadlineMs;
        int cancelAtPump; // 0: never
        bool readyNow;
        TWaitEnd end;
    };
    const Case cases[] = {
        { "readable", true, 1000, 0, false, TWaitEnd::Ready },
        { "deadline", false, 40, 0, false, TWaitEnd::TimedOut },
        { "cancel from the pump", false, 0, 3, false, TWaitEnd::Cancelled },
        { "data held by the caller", false, 1000, 0, true, TWaitEnd::Ready },
        { "readable without a limit", true, 0, 0, false, TWaitEnd::Ready },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pipe pipe;
        if (c.written)
            pipe.write();
        std::atomic<bool> cancelled = false;
        int pumps = 0;
        auto pump = [&] {
            if (++pumps == c.cancelAtPump)
                cancelled = true;
        };
        pollfd p { pipe.readEnd(), POLLIN, 0 };
        const auto start = Clock::now();
        EXPECT_EQ(waitFor(std::span(&p, 1), TDeadline::after(c.deadlineMs), cancelled, pump, c.readyNow), c.end);
        EXPECT_GE(pumps, 1); // the owner ran at least once
        if (c.end == TWaitEnd::TimedOut) {
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(c.deadlineMs));
        }
        if (c.end == TWaitEnd::Cancelled) {
            EXPECT_EQ(pumps, c.cancelAtPump);
        }
        EXPECT_EQ(p.revents != 0, c.written);
    }

    // A deadline already passed wins over a ready descriptor.
    Pipe pipe;
    pipe.write();
    std::atomic<bool> cancelled = false;
    pollfd p { pipe.readEnd(), POLLIN, 0 };
    EXPECT_EQ(waitFor(std::span(&p, 1), TDeadline::at(Clock::now()), cancelled, nullptr), TWaitEnd::TimedOut);
}

TEST(Wait, SignalsToTheThreadDoNotEndTheWait)
{
    struct sigaction action
    {
    };
    action.sa_handler = [](int) { ++g_signals; };
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll fails with EINTR
    struct sigaction saved
    {
    };
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved), 0);

    Pipe pipe;
    std::atomic<bool> cancelled = false;
    std::atomic<bool> done = false;
    const pthread_t waiter = ::pthread_self();
    std::thread sender([&] {
        while (!done) {
            ::pthread_kill(waiter, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    pollfd p { pipe.readEnd(), POLLIN, 0 };
    const auto start = Clock::now();
    const TWaitEnd end = waitFor(std::span(&p, 1), TDeadline::after(150), cancelled, [] {});
    const auto waited = Clock::now() - start;
    done = true;
    sender.join();
    ::sigaction(SIGUSR1, &saved, nullptr);

    EXPECT_EQ(end, TWaitEnd::TimedOut);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_GT(g_signals.load(), 0);
}
