#include "check/check_run.h"

#include "check/powersock.h"
#include "check/wait.h"

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

// The threads of a run with several checks at once: each slot has its own checker and works on a copy of its
// item; what ends is queued for the run's thread, which an eventfd wakes.
class TCheckRun::TSlots
{
public:
    struct TSlot
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
        done.updated = checkItem(m_checker, item, defaultItem);
        done.cancelled = m_checker.stopped;
        done.status = item.status;
        if (done.updated)
            ++summary.updated;
        done.updatedSoFar = summary.updated;
        observer.itemDone(index, item, done);
    }
}

void TCheckRun::runSeveral(
    TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer, TRunSummary& summary)
{
    // Each server's items wait in list order; `ready` holds the first waiting item of every server that has
    // no check in flight, so the next check to start is always the earliest in the list that may start.
    std::map<std::string, std::deque<size_t>> waiting;
    std::set<size_t> ready;
    std::vector<std::string> serverOfItem(items.count());
    for (size_t index = 0; index < items.count(); ++index) {
        if (!items[index].check)
            continue;
        std::string server = serverOf(items[index].checkUri());
        // An item without a URL talks to no server and waits for none.
        if (server.empty())
            server = "\n" + std::to_string(index);
        std::deque<size_t>& queue = waiting[server];
        if (queue.empty())
            ready.insert(index);
        queue.push_back(index);
        serverOfItem[index] = std::move(server);
    }

    TSlots slots(std::min(m_concurrent, summary.taken), defaultItem, m_checker);
    struct TSlotsMark
    {
        TSlots*& slots;
        ~TSlotsMark() { slots = nullptr; }
    } slotsMark { m_slots };
    m_slots = &slots;

    size_t inFlight = 0;
    auto startWhatMay = [&] {
        while (!m_stopped && inFlight < slots.count() && !ready.empty()) {
            const size_t index = *ready.begin();
            ready.erase(ready.begin());
            const std::string& server = serverOfItem[index];
            waiting[server].pop_front();
            observer.itemStarted(index, items[index]);
            slots.start(*slots.freeSlot(), index, items[index], server);
            ++inFlight;
        }
    };

    startWhatMay();
    while (inFlight > 0) {
        for (TSlots::TSlot* slot : slots.waitForEnded(m_checker.client().Pump)) {
            --inFlight;
            const std::deque<size_t>& queue = waiting[slot->server];
            if (!queue.empty())
                ready.insert(queue.front());
            if (slot->failure)
                std::rethrow_exception(slot->failure);

            const size_t index = slot->index;
            TCheckItem& item = items[index];
            TItemDone done;
            done.previous = item.status;
            // A check in flight when the run was stopped leaves its item exactly as it was, however it ended.
            done.cancelled = slot->cancel;
            if (!done.cancelled) {
                item = std::move(slot->item);
                done.updated = slot->updated;
            }
            done.status = item.status;
            if (done.updated)
                ++summary.updated;
            done.updatedSoFar = summary.updated;
            observer.itemDone(index, item, done);
        }
        startWhatMay();
    }
}

void TCheckRun::stop() noexcept
{
    stopCheck(m_checker);
    m_stopped = true;
    if (m_slots)
        m_slots->cancelAll();
}
