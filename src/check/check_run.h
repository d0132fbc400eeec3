#pragma once

#include "check/http_checker.h"
#include "store/check_item.h"

#include <cstddef>

// What checking one item did to it.
struct TItemDone
{
    ItemStatus previous = ItemStatus::Initial;
    ItemStatus status = ItemStatus::Initial;
    bool updated = false; // the item counts as updated
    bool cancelled = false; // its request was stopped; the item is exactly as it was
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

// Walks the ticked items in list order and checks each with the checker, which it does not own; the
// checker's pump keeps the caller's thread live meanwhile. The run owns the walk and the stop flag.
class TCheckRun
{
public:
    explicit TCheckRun(THTTPChecker& checker) noexcept
        : m_checker(checker)
    {
    }
    TCheckRun(const TCheckRun&) = delete;
    TCheckRun& operator=(const TCheckRun&) = delete;

    // Checks every item whose `check` is on, until stopped. With no ticked item nothing is told and the
    // summary counts nothing; otherwise runStarted and runEnded frame the items.
    TRunSummary run(TCheckItems& items, const TCheckItem& defaultItem, TCheckRunObserver& observer);

    // Cancels the request in flight and ends the run after that item; safe to call from the pump. Outside a
    // run it only sets the flag, which the next run clears.
    void stop() noexcept;
    bool stopped() const noexcept { return m_stopped; }
    bool running() const noexcept { return m_running; }

private:
    THTTPChecker& m_checker;
    bool m_stopped = false;
    bool m_running = false;
};
