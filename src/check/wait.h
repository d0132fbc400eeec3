#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <poll.h>
#include <span>

// A moment on the one monotonic clock of the connection layer, or no limit at all.
class TDeadline
{
public:
    using Clock = std::chrono::steady_clock;

    TDeadline() = default;
    // 0 milliseconds is no limit, as a TimeOut of 0 is.
    static TDeadline after(uint32_t milliseconds);
    static TDeadline never() { return {}; }
    static TDeadline at(Clock::time_point moment);
    // The sooner of the two.
    static TDeadline earlier(const TDeadline& a, const TDeadline& b);

    bool limited() const noexcept { return m_limited; }
    bool passed() const;
    // At most the given milliseconds, fewer when the deadline comes sooner.
    int pollMilliseconds(int most) const;

private:
    bool m_limited = false;
    Clock::time_point m_at;
};

constexpr int PollMilliseconds = 2;

enum class TWaitEnd { Ready, TimedOut, Cancelled };

// Waits until one of fds is ready for its events (its revents tell which), the deadline has passed or cancelled
// is set. Each round tests the deadline, then cancelled, then polls for at most PollMilliseconds and calls pump,
// so the owner stays live and a cancel issued from the pump is seen at once. With readyNow the poll does not
// sleep and the wait ends Ready after one round: the caller holds data that no poll would show.
// An interrupted poll is retried here; any other poll failure raises TSocketError.
TWaitEnd waitFor(std::span<pollfd> fds, const TDeadline& deadline, const std::atomic<bool>& cancelled,
    const std::function<void()>& pump, bool readyNow = false);
