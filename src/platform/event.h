#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace win32 {

// A manual- or auto-reset event. A manual-reset event stays set until reset; an auto-reset event
// releases one waiter and resets itself.
class TEvent
{
public:
    enum class Reset { Manual, Auto };

    explicit TEvent(Reset reset = Reset::Manual, bool initiallySet = false);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void set();
    void reset();
    // Waits at most `timeoutMs` (0 tests without waiting, negative waits forever); true when signalled.
    bool wait(int timeoutMs);
    bool isSet() { return wait(0); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Reset m_reset;
    bool m_set;
};

} // namespace win32
