#include "platform/event.h"

namespace win32 {

TEvent::TEvent(Reset reset, bool initiallySet)
    : m_reset(reset)
    , m_set(initiallySet)
{
}

void TEvent::set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    if (m_reset == Reset::Manual)
        m_changed.notify_all();
    else
        m_changed.notify_one();
}

void TEvent::reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool TEvent::wait(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    bool signalled;
    if (timeoutMs < 0) {
        m_changed.wait(lock, [this] { return m_set; });
        signalled = true;
    } else {
        signalled = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
    }
    if (signalled && m_reset == Reset::Auto)
        m_set = false;
    return signalled;
}

} // namespace win32
