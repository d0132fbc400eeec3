#include "check/check_run.h"

#include <algorithm>

namespace {

// Clears the running mark however the run leaves, also through an observer's exception.
class TRunningMark
{
public:
    explicit TRunningMark(bool& running) noexcept
        : m_running(running)
    {
        m_running = true;
    }
    ~TRunningMark() { m_running = false; }
    TRunningMark(const TRunningMark&) = delete;
    TRunningMark& operator=(const TRunningMark&) = delete;

private:
    bool& m_running;
};

} // namespace

TRunSummary TCheckRun::run(TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer)
{
    TRunSummary summary;
    summary.taken = static_cast<size_t>(
        std::count_if(items.begin(), items.end(), [](const TCheckItem& item) { return item.check != 0; }));
    if (summary.taken == 0)
        return summary;

    const TRunningMark mark(m_running);
    m_stopped = false;
    observer.runStarted(summary.taken);
    for (size_t index = 0; index < items.count() && !m_stopped; ++index) {
        TCheckItem& item = items[index];
        if (!item.check)
            continue;
        observer.itemStarted(index, item);
        TItemDone done;
        done.previous = item.status;
        done.updated = checkItem(m_checker, item, defaultItem);
        done.cancelled = m_checker.stopped;
        done.status = item.status;
        if (done.updated)
            ++summary.updated;
        done.updatedSoFar = summary.updated;
        observer.itemDone(index, item, done);
    }
    summary.stopped = m_stopped;
    observer.runEnded(summary);
    return summary;
}

void TCheckRun::stop() noexcept
{
    stopCheck(m_checker);
    m_stopped = true;
}
