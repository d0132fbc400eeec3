#include "check/check_run.h"

#include "check/check_result.h"
#include "check/powersock.h"
#include "check/wait.h"
#include "store/core_texts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

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

char lowerAscii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string serverOf(std::string_view url)
{
    if (url.empty())
        return {};
    std::string text(url);
    std::transform(text.begin(), text.end(), text.begin(), lowerAscii);
    std::string_view rest(text);
    std::string_view port = "80";
    if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
        if (rest.substr(0, scheme) == "https")
            port = "443";
        rest.remove_prefix(scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    // An IPv6 literal keeps its brackets, and its colons are not the port's.
    const size_t hostEnd = rest.starts_with('[') ? std::min(rest.find(']'), rest.size() - 1) + 1 : 0;
    const size_t colon = rest.find(':', hostEnd);
    std::string_view host = rest.substr(0, colon);
    if (colon != std::string_view::npos && colon + 1 < rest.size())
        port = rest.substr(colon + 1);
    return std::string(host) + ':' + std::string(port);
}

// One thread of a run with several checks at once, with its own checker working on a copy of its item.
struct TCheckRun::TSlot
{
    THTTPChecker checker;
    std::atomic<bool> cancel = false; // the run was stopped while this check was in flight
    // Handed between the threads under the slots' mutex.
    bool hasJob = false;
    size_t index = 0;
    TCheckItem item;
    bool updated = false;
    std::exception_ptr failure;
    // Wakes this slot's thread alone: waking every slot for each job costs more than many a check.
    std::condition_variable wake;
    // The run's thread only.
    bool busy = false;
    std::string server;
    std::thread thread;
};

// The threads of a run with several checks at once: each slot has its own checker and works on a copy of its
// item; what ends is queued for the run's thread, which an eventfd wakes.
class TCheckRun::TSlots
{
public:
    TSlots(size_t count, TCheckItem defaultItem, const THTTPChecker& model)
        : m_defaultItem(std::move(defaultItem))
    {
        m_event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (m_event < 0)
            throw TSocketError(socketErrorMessage(socketErrorCode(errno)), socketErrorCode(errno));
        try {
            for (size_t i = 0; i < count; ++i) {
                auto slot = std::make_unique<TSlot>();
                TSlot& s = *slot;
                s.checker.client().Resolve = model.client().Resolve;
                s.checker.pageTexts = model.pageTexts;
                // The cancel is made on the slot's own thread, so its client is never touched from two.
                s.checker.client().Pump = [&s] {
                    if (s.cancel && !s.checker.stopped)
                        stopCheck(s.checker);
                };
                m_slots.push_back(std::move(slot));
                s.thread = std::thread([this, &s] { work(s); });
            }
        } catch (...) {
            shutDown();
            throw;
        }
    }

    ~TSlots() { shutDown(); }
    TSlots(const TSlots&) = delete;
    TSlots& operator=(const TSlots&) = delete;

    size_t count() const noexcept { return m_slots.size(); }

    TSlot* freeSlot()
    {
        for (auto& slot : m_slots) {
            if (!slot->busy)
                return slot.get();
        }
        return nullptr;
    }

    void start(TSlot& slot, size_t index, const TCheckItem& item, std::string server)
    {
        slot.busy = true;
        slot.server = std::move(server);
        slot.cancel = false;
        {
            std::lock_guard lock(m_mutex);
            slot.index = index;
            slot.item = item;
            slot.updated = false;
            slot.failure = nullptr;
            slot.hasJob = true;
        }
        slot.wake.notify_one();
    }

    void cancelAll() noexcept
    {
        for (auto& slot : m_slots) {
            if (slot->busy)
                slot->cancel = true;
        }
    }

    // The slots whose checks have ended, at least one; the pump is called between polls meanwhile.
    std::vector<TSlot*> waitForEnded(const std::function<void()>& pump)
    {
        static const std::atomic<bool> NeverCancelled = false;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (!m_ended.empty()) {
                    std::vector<TSlot*> ended(m_ended.begin(), m_ended.end());
                    m_ended.clear();
                    for (TSlot* slot : ended)
                        slot->busy = false;
                    return ended;
                }
            }
            pollfd fd { m_event, POLLIN, 0 };
            if (waitFor(std::span(&fd, 1), TDeadline::never(), NeverCancelled, pump) == TWaitEnd::Ready) {
                uint64_t count = 0;
                // Empty when the wake-up was taken by an earlier round; the queue is what counts.
                [[maybe_unused]] const ssize_t got = ::read(m_event, &count, sizeof count);
            }
        }
    }

private:
    void work(TSlot& slot)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            slot.wake.wait(lock, [&] { return m_quit || slot.hasJob; });
            if (m_quit)
                return;
            lock.unlock();
            bool updated = false;
            std::exception_ptr failure;
            try {
                updated = checkItem(slot.checker, slot.item, m_defaultItem);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            slot.updated = updated;
            slot.failure = failure;
            slot.hasJob = false;
            m_ended.push_back(&slot);
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t put = ::write(m_event, &one, sizeof one);
        }
    }

    void shutDown() noexcept
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
            for (auto& slot : m_slots)
                slot->cancel = true;
        }
        for (auto& slot : m_slots)
            slot->wake.notify_all();
        for (auto& slot : m_slots) {
            if (slot->thread.joinable())
                slot->thread.join();
        }
        if (m_event >= 0)
            ::close(m_event);
        m_event = -1;
    }

    const TCheckItem m_defaultItem;
    std::vector<std::unique_ptr<TSlot>> m_slots;
    std::mutex m_mutex;
    bool m_quit = false;
    std::deque<TSlot*> m_ended;
    int m_event = -1;
};

// The ticked items of a run with several checks at once, waiting by server in list order. `ready` holds the
// first waiting item of every server with no check in flight, so the next to start is always the earliest in
// the list that may start.
class TCheckRun::TServerQueues
{
public:
    explicit TServerQueues(const TCheckItems& items)
        : m_serverOfItem(items.count())
    {
        for (size_t index = 0; index < items.count(); ++index) {
            if (!items[index].check)
                continue;
            std::string server = ::serverOf(items[index].checkUri());
            // An item without a URL talks to no server and waits for none.
            if (server.empty())
                server = "\n" + std::to_string(index);
            std::deque<size_t>& queue = m_waiting[server];
            if (queue.empty())
                m_ready.insert(index);
            queue.push_back(index);
            m_serverOfItem[index] = std::move(server);
        }
    }

    bool empty() const noexcept { return m_ready.empty(); }
    const std::string& serverOf(size_t index) const { return m_serverOfItem[index]; }

    // The earliest ready item; its server has it in flight until release.
    size_t take()
    {
        const size_t index = *m_ready.begin();
        m_ready.erase(m_ready.begin());
        m_waiting[m_serverOfItem[index]].pop_front();
        return index;
    }

    // The server's check ended: its next waiting item may start.
    void release(const std::string& server)
    {
        const std::deque<size_t>& queue = m_waiting[server];
        if (!queue.empty())
            m_ready.insert(queue.front());
    }

private:
    std::map<std::string, std::deque<size_t>> m_waiting;
    std::set<size_t> m_ready;
    std::vector<std::string> m_serverOfItem;
};

TCheckRun::TCheckRun(THTTPChecker& checker) noexcept
    : m_checker(checker)
{
}

void TCheckRun::setConcurrent(size_t count) noexcept
{
    m_concurrent = std::clamp<size_t>(count, 1, MaxConcurrent);
}

TRunSummary TCheckRun::run(TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer)
{
    TRunSummary summary;
    summary.taken = static_cast<size_t>(
        std::count_if(items.begin(), items.end(), [](const TCheckItem& item) { return item.check != 0; }));
    m_busyServers.clear();
    m_longestRetryAfter = 0;
    if (summary.taken == 0)
        return summary;

    const TRunningMark mark(m_running);
    m_stopped = false;
    observer.runStarted(summary.taken);
    if (m_concurrent > 1)
        runSeveral(items, defaultItem, observer, summary);
    else
        runOneByOne(items, defaultItem, observer, summary);
    summary.stopped = m_stopped;
    observer.runEnded(summary);
    return summary;
}

void TCheckRun::runOneByOne(
    TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer, TRunSummary& summary)
{
    for (size_t index = 0; index < items.count() && !m_stopped; ++index) {
        TCheckItem& item = items[index];
        if (!item.check)
            continue;
        observer.itemStarted(index, item);
        TItemDone done;
        done.previous = item.status;
        if (!deferred(item, done)) {
            done.updated = checkItem(m_checker, item, defaultItem);
            done.cancelled = m_checker.stopped;
            if (!done.cancelled)
                done.outcome = m_checker.outcome;
        }
        finishItem(index, item, done, observer, summary);
    }
}

// True when the item's server asked this run to wait: the item is not checked and only its reason says why.
bool TCheckRun::deferred(TCheckItem& item, TItemDone& done)
{
    if (m_busyServers.empty() || !m_busyServers.contains(serverOf(item.checkUri())))
        return false;
    item.failureReason = sjisText(TCoreText::CheckServerLater);
    done.deferred = true;
    return true;
}

// The accounting of an item whose check ended (or was not made), then the observer's turn.
void TCheckRun::finishItem(
    size_t index, TCheckItem& item, TItemDone& done, TCheckRunObserver& observer, TRunSummary& summary)
{
    if (done.outcome.serverBusy) {
        m_busyServers.insert(serverOf(item.checkUri()));
        m_longestRetryAfter = std::max(m_longestRetryAfter, std::min(done.outcome.retryAfter, MaxRetryAfter));
    }
    done.status = item.status;
    if (done.updated)
        ++summary.updated;
    done.updatedSoFar = summary.updated;
    observer.itemDone(index, item, done);
}

void TCheckRun::runSeveral(
    TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer, TRunSummary& summary)
{
    TServerQueues queues(items);
    TSlots slots(std::min(m_concurrent, summary.taken), defaultItem, m_checker);
    struct TSlotsMark
    {
        TSlots*& slots;
        ~TSlotsMark() { slots = nullptr; }
    } slotsMark { m_slots };
    m_slots = &slots;

    size_t inFlight = startWhatMay(items, queues, slots, 0, observer, summary);
    while (inFlight > 0) {
        for (TSlot* slot : slots.waitForEnded(m_checker.client().Pump)) {
            --inFlight;
            queues.release(slot->server);
            if (slot->failure)
                std::rethrow_exception(slot->failure);
            applyEnded(*slot, items, observer, summary);
        }
        inFlight += startWhatMay(items, queues, slots, inFlight, observer, summary);
    }
}

// Starts the earliest items that may start, while a slot is free; an item whose server asked us to wait is
// finished at once without a check. Returns how many checks it started.
size_t TCheckRun::startWhatMay(TCheckItems& items, TServerQueues& queues, TSlots& slots, size_t inFlight,
    TCheckRunObserver& observer, TRunSummary& summary)
{
    size_t started = 0;
    while (!m_stopped && inFlight + started < slots.count() && !queues.empty()) {
        const size_t index = queues.take();
        TCheckItem& item = items[index];
        observer.itemStarted(index, item);
        TItemDone done;
        done.previous = item.status;
        if (deferred(item, done)) {
            queues.release(queues.serverOf(index));
            finishItem(index, item, done, observer, summary);
            continue;
        }
        slots.start(*slots.freeSlot(), index, item, queues.serverOf(index));
        ++started;
    }
    return started;
}

void TCheckRun::applyEnded(TSlot& slot, TCheckItems& items, TCheckRunObserver& observer, TRunSummary& summary)
{
    TCheckItem& item = items[slot.index];
    TItemDone done;
    done.previous = item.status;
    // A check in flight when the run was stopped leaves its item exactly as it was, however it ended.
    done.cancelled = slot.cancel;
    if (!done.cancelled) {
        item = std::move(slot.item);
        done.updated = slot.updated;
        done.outcome = slot.checker.outcome;
    }
    finishItem(slot.index, item, done, observer, summary);
}

void TCheckRun::stop() noexcept
{
    stopCheck(m_checker);
    m_stopped = true;
    if (m_slots)
        m_slots->cancelAll();
}
