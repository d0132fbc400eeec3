#pragma once

#include "check/http_checker.h"
#include "store/check_item.h"

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>

// What checking one item did to it.
struct TItemDone
{
    ItemStatus previous = ItemStatus::Initial;
    ItemStatus status = ItemStatus::Initial;
    bool updated = false; // the item counts as updated
    bool cancelled = false; // its request was stopped; the item is exactly as it was
    bool deferred = false; // not checked, because its server asked this run to wait; only its reason is set
    TCheckOutcome outcome; // what the check found beyond the item (empty when cancelled or deferred)
    size_t updatedSoFar = 0; // items of this run counted as updated, this one included
};

struct TRunSummary
{
    size_t taken = 0; // ticked items, also those a stop kept the run from reaching
    size_t updated = 0;
    bool stopped = false;
};

// Told about a check run as it goes, on the thread that runs it. An exception thrown from runStarted
// ends the run before any item is checked; from the other calls it ends the run where it stands.
class TCheckRunObserver
{
public:
    virtual ~TCheckRunObserver() = default;
    virtual void runStarted(size_t taken) = 0;
    virtual void itemStarted(size_t index, const TCheckItem& item) = 0;
    virtual void itemDone(size_t index, const TCheckItem& item, const TItemDone& done) = 0;
    virtual void runEnded(const TRunSummary& summary) = 0;
};

// The server a check of this URL talks to first, as "host:port" in lower case with the scheme's port filled in;
// empty for an empty URL. Two URLs of one server give the same text.
std::string serverOf(std::string_view url);

// Walks the ticked items in list order and checks each with the checker, which it does not own; the
// checker's pump keeps the caller's thread live meanwhile. The run owns the walk and the stop flag.
// With several checks at once, each runs on a thread of its own with a checker of its own on a copy of the
// item; the caller's thread starts them in list order, never two to one server at a time, and applies each
// result to its item as the check ends, between calls of the pump.
// A server that answers 429 or 503 is asked nothing more in the run: its later items keep their values and
// status and get the reason "このサーバーは後で確認します".
class TCheckRun
{
public:
    static constexpr size_t MaxConcurrent = 16;

    explicit TCheckRun(THTTPChecker& checker) noexcept;
    ~TCheckRun() = default;
    TCheckRun(const TCheckRun&) = delete;
    TCheckRun& operator=(const TCheckRun&) = delete;

    // How many checks may be in flight at once, 1 to MaxConcurrent (other values are brought into that range).
    void setConcurrent(size_t count) noexcept;
    size_t concurrent() const noexcept { return m_concurrent; }

    // Checks every item whose `check` is on, until stopped. With no ticked item nothing is told and the
    // summary counts nothing; otherwise runStarted and runEnded frame the items.
    TRunSummary run(TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer);

    // Cancels every request in flight, whose items stay as they were, and starts no other; safe to call from
    // the pump. Outside a run it only sets the flag, which the next run clears.
    void stop() noexcept;
    bool stopped() const noexcept { return m_stopped; }
    bool running() const noexcept { return m_running; }

    // The longest Retry-After that a busy server gave in the last run, in seconds, at most a day; 0 when none
    // gave one. The next timed run should not start before it has passed.
    int64_t longestRetryAfter() const noexcept { return m_longestRetryAfter; }

private:
    struct TSlot;
    class TSlots;
    class TServerQueues;

    void runOneByOne(
        TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer, TRunSummary& summary);
    void runSeveral(
        TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer, TRunSummary& summary);
    size_t startWhatMay(TCheckItems& items, TServerQueues& queues, TSlots& slots, size_t inFlight,
        TCheckRunObserver& observer, TRunSummary& summary);
    void applyEnded(TSlot& slot, TCheckItems& items, TCheckRunObserver& observer, TRunSummary& summary);
    bool deferred(TCheckItem& item, TItemDone& done);
    void finishItem(size_t index, TCheckItem& item, TItemDone& done, TCheckRunObserver& observer, TRunSummary& summary);

    THTTPChecker& m_checker;
    size_t m_concurrent = 1;
    bool m_stopped = false;
    bool m_running = false;
    std::set<std::string> m_busyServers; // of the run in progress
    int64_t m_longestRetryAfter = 0;
    // The threads of the run in progress with several checks at once; none otherwise.
    TSlots* m_slots = nullptr;
};
