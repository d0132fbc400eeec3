#pragma once

#include "history/history_store.h"
#include "store/page_texts.h"

#include <mutex>
#include <optional>
#include <string>

// The history store as the checks of a run use it: opened at the first check that needs it, from any of the
// run's threads, one call at a time. A store that cannot be opened is tried again at the next call, and each
// failing call raises the cause, so a run goes on and every row can say why its text was not kept.
class THistoryTexts : public TPageTexts
{
public:
    THistoryTexts(std::string folder, int depth);

    std::optional<std::string> lastText(const std::string& itemId) override;
    bool keep(const std::string& itemId, int64_t checkTime, std::string_view text) override;

    // True when a damaged file was moved aside since the store was opened.
    bool wasDamaged();
    // Calls use(store) while no check of a run can reach the store; raises the cause when it cannot be opened.
    template <class Use>
    auto withStore(Use&& use)
    {
        std::lock_guard lock(m_mutex);
        return use(openStore());
    }
    // The open store for other uses on the caller's thread (listing, removal); raises the cause when it cannot be
    // opened. Not to be used while a run is in flight.
    THistoryStore& store();

private:
    THistoryStore& openStore();

    std::mutex m_mutex;
    std::string m_folder;
    int m_depth;
    std::optional<THistoryStore> m_store;
};
