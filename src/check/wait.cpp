#include "check/wait.h"

#include "check/powersock.h"

#include <cerrno>

TDeadline TDeadline::after(uint32_t milliseconds)
{
    TDeadline deadline;
    if (milliseconds > 0) {
        deadline.m_limited = true;
        deadline.m_at = Clock::now() + std::chrono::milliseconds(milliseconds);
    }
    return deadline;
}

TDeadline TDeadline::at(Clock::time_point moment)
{
    TDeadline deadline;
    deadline.m_limited = true;
    deadline.m_at = moment;
    return deadline;
}

TDeadline TDeadline::earlier(const TDeadline& a, const TDeadline& b)
{
    if (!a.m_limited)
        return b;
    if (!b.m_limited)
        return a;
    return a.m_at <= b.m_at ? a : b;
}

bool TDeadline::passed() const
{
    return m_limited && Clock::now() >= m_at;
}

int TDeadline::pollMilliseconds(int most) const
{
    if (!m_limited)
        return most;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(m_at - Clock::now()).count();
    return left <= 0 ? 0 : left < most ? static_cast<int>(left) : most;
}

TWaitEnd waitFor(std::span<pollfd> fds, const TDeadline& deadline, const std::atomic<bool>& cancelled,
    const std::function<void()>& pump, bool readyNow)
{
    for (;;) {
        // The deadline is tested first: an answer that came only after it was due has still timed out.
        if (deadline.passed())
            return TWaitEnd::TimedOut;
        if (cancelled)
            return TWaitEnd::Cancelled;
        for (pollfd& p : fds)
            p.revents = 0;
        int result = ::poll(fds.data(), fds.size(), readyNow ? 0 : deadline.pollMilliseconds(PollMilliseconds));
        if (result < 0 && errno != EINTR) {
            int code = socketErrorCode(errno);
            throw TSocketError(socketErrorMessage(code), code);
        }
        if (pump)
            pump();
        if (result > 0 || readyNow)
            return TWaitEnd::Ready;
    }
}
