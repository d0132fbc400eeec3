#include "history/history_texts.h"

#include <utility>

THistoryTexts::THistoryTexts(std::string folder, int depth)
    : m_folder(std::move(folder))
    , m_depth(depth)
{
}

THistoryStore& THistoryTexts::openStore()
{
    if (!m_store)
        m_store.emplace(m_folder, m_depth);
    return *m_store;
}

std::optional<std::string> THistoryTexts::lastText(const std::string& itemId)
{
    std::lock_guard lock(m_mutex);
    return openStore().latestText(itemId);
}

bool THistoryTexts::keep(const std::string& itemId, int64_t checkTime, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    return openStore().record(itemId, checkTime, text);
}

bool THistoryTexts::wasDamaged()
{
    std::lock_guard lock(m_mutex);
    return m_store && m_store->wasDamaged();
}

THistoryStore& THistoryTexts::store()
{
    std::lock_guard lock(m_mutex);
    return openStore();
}
