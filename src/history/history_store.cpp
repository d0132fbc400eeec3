#include "history/history_store.h"

#include "base/exception.h"

#include <algorithm>
#include <set>

namespace {

// A version is compressed against the newest full one (so any version reads with at most two decompressions)
// until this many versions followed it, or until the difference has grown to half the full one's size.
constexpr int64_t KeyframeInterval = 24;

bool isItemId(std::string_view id)
{
    return id.size() == 32
        && std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void requireItemId(std::string_view id)
{
    if (!isItemId(id))
        throw TException("Not an item id for the history: " + std::string(id));
}

size_t codePoints(std::string_view text)
{
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

} // namespace

struct THistoryStore::Stored
{
    int64_t seq = 0;
    std::optional<int64_t> base;
    size_t size = 0;
    std::string data;
};

THistoryStore::THistoryStore(const std::string& folder, int depth)
    : m_db(folder)
    , m_depth(std::clamp(depth, MinDepth, MaxDepth))
{
}

// Runs `body`; when SQLite finds the file damaged on the way, sets it aside, begins a new one and runs `body`
// again there, so that the check in hand is still kept.
template <class Body>
auto THistoryStore::guarded(Body&& body) -> decltype(body())
{
    try {
        return body();
    } catch (const THistoryDamaged&) {
        m_db.resetStatements();
    }
    m_db.replaceDamaged();
    try {
        return body();
    } catch (const THistoryDamaged&) {
        throw TException("The history file is damaged again after it was begun anew");
    }
}

void THistoryStore::setDepth(int depth)
{
    const int clamped = std::clamp(depth, MinDepth, MaxDepth);
    const bool smaller = clamped < m_depth;
    m_depth = clamped;
    if (!smaller)
        return;
    guarded([&] {
        std::vector<std::string> items;
        auto& query = m_db.statements().items;
        while (query.step())
            items.emplace_back(query.text(0));
        m_db.write([&] {
            for (const std::string& item : items)
                if (const auto last = newest(item))
                    trim(item, last->seq);
        });
    });
}

std::optional<THistoryStore::Stored> THistoryStore::stored(const std::string& itemId, int64_t seq)
{
    auto& query = m_db.statements().version;
    query.bind(1, itemId).bind(2, seq);
    if (!query.step())
        return std::nullopt;
    Stored version;
    version.seq = seq;
    if (!query.isNull(0))
        version.base = query.integer(0);
    version.size = static_cast<size_t>(query.integer(1));
    version.data = query.blob(2);
    query.reset();
    return version;
}

std::optional<THistoryStore::Stored> THistoryStore::newest(const std::string& itemId)
{
    auto& query = m_db.statements().newest;
    query.bind(1, itemId);
    if (!query.step())
        return std::nullopt;
    Stored version;
    version.seq = query.integer(0);
    if (!query.isNull(1))
        version.base = query.integer(1);
    version.size = static_cast<size_t>(query.integer(2));
    version.data = query.blob(3);
    query.reset();
    return version;
}

std::string THistoryStore::expand(const std::string& itemId, const Stored& version)
{
    if (!version.base)
        return m_codec.decompress(version.data, version.size);
    const auto base = stored(itemId, *version.base);
    if (!base || base->base)
        throw TException("A text of the history is damaged (the version it was compressed against is missing)");
    const std::string prefix = m_codec.decompress(base->data, base->size);
    return m_codec.decompress(version.data, version.size, prefix);
}

bool THistoryStore::record(const std::string& itemId, int64_t checkTime, std::string_view text)
{
    requireItemId(itemId);
    if (text.size() > THistoryCodec::MaxTextBytes)
        throw TException("The page text is too large for the history (" + std::to_string(text.size()) + " bytes)");
    return guarded([&] { return recordOnce(itemId, checkTime, text); });
}

bool THistoryStore::recordOnce(const std::string& itemId, int64_t checkTime, std::string_view text)
{
    bool added = false;
    m_db.write([&] {
        const auto last = newest(itemId);
        int64_t seq = 1;
        int64_t base = 0; // none: the version stands alone (seqs count from 1)
        std::string frame;
        if (last) {
            seq = last->seq + 1;
            const int64_t keySeq = last->base.value_or(last->seq);
            const auto key = last->base ? stored(itemId, keySeq) : last;
            if (!key || key->base)
                throw TException("A text of the history is damaged (the version it was compressed against is missing)");
            const std::string keyText = m_codec.decompress(key->data, key->size);
            if (last->size == text.size()) {
                const std::string lastText = last->base ? m_codec.decompress(last->data, last->size, keyText) : keyText;
                if (lastText == text)
                    return;
            }
            if (seq - keySeq <= KeyframeInterval) {
                frame = m_codec.compress(text, keyText);
                base = keySeq;
                if (frame.size() > key->data.size() / 2)
                    base = 0;
            }
        }
        if (base == 0)
            frame = m_codec.compress(text);
        auto& insert = m_db.statements().insert;
        insert.bind(1, itemId).bind(2, seq).bind(3, checkTime).bind(4, static_cast<int64_t>(codePoints(text)));
        insert.bind(5, static_cast<int64_t>(text.size()));
        if (base != 0)
            insert.bind(6, base);
        else
            insert.bindNull(6);
        insert.bindBlob(7, frame);
        insert.run();
        trim(itemId, seq);
        added = true;
    });
    return added;
}

void THistoryStore::trim(const std::string& itemId, int64_t newestSeq)
{
    // Versions older than the kept ones stay only while a kept version was compressed against them; they are
    // not listed.
    m_db.statements().trim.bind(1, itemId).bind(2, newestSeq - m_depth + 1).run();
}

std::optional<std::string> THistoryStore::latestText(const std::string& itemId)
{
    requireItemId(itemId);
    return guarded([&]() -> std::optional<std::string> {
        const auto last = newest(itemId);
        if (!last)
            return std::nullopt;
        return expand(itemId, *last);
    });
}

std::vector<THistoryVersion> THistoryStore::listed(const std::string& itemId)
{
    auto& query = m_db.statements().listNewestFirst;
    query.bind(1, itemId).bind(2, m_depth);
    std::vector<THistoryVersion> list;
    while (query.step()) {
        THistoryVersion version;
        version.number = static_cast<int>(query.integer(0)); // the seq until numbered below
        version.checkTime = query.integer(1);
        version.characters = static_cast<size_t>(query.integer(2));
        list.push_back(version);
    }
    std::reverse(list.begin(), list.end());
    return list;
}

std::vector<THistoryVersion> THistoryStore::versions(const std::string& itemId)
{
    requireItemId(itemId);
    return guarded([&] {
        auto list = listed(itemId);
        for (size_t i = 0; i < list.size(); ++i)
            list[i].number = static_cast<int>(i + 1);
        return list;
    });
}

std::string THistoryStore::text(const std::string& itemId, int number)
{
    requireItemId(itemId);
    return guarded([&] {
        const auto list = listed(itemId);
        if (number < 1 || static_cast<size_t>(number) > list.size())
            throw TException("The history has no version " + std::to_string(number) + " of this item ("
                + std::to_string(list.size()) + " kept)");
        const auto version = stored(itemId, list[number - 1].number);
        if (!version)
            throw TException("The history has no version " + std::to_string(number) + " of this item");
        return expand(itemId, *version);
    });
}

void THistoryStore::removeItem(const std::string& itemId)
{
    guarded([&] { m_db.write([&] { m_db.statements().removeItem.bind(1, itemId).run(); }); });
}

void THistoryStore::retainItems(const std::vector<std::string>& ids)
{
    const std::set<std::string, std::less<>> keep(ids.begin(), ids.end());
    guarded([&] {
        std::vector<std::string> drop;
        auto& query = m_db.statements().items;
        while (query.step())
            if (!keep.contains(query.text(0)))
                drop.emplace_back(query.text(0));
        if (drop.empty())
            return;
        m_db.write([&] {
            for (const std::string& item : drop)
                m_db.statements().removeItem.bind(1, item).run();
        });
    });
}
