#pragma once

#include "history/history_codec.h"
#include "history/history_database.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One kept version of an item's page text. Numbers count from 1 = the oldest kept.
struct THistoryVersion
{
    int number = 0;
    int64_t checkTime = 0;
    size_t characters = 0; // Unicode code points of the text
};

// The history of each item's page text (UTF-8), found by the item's id (32 lower-case hex digits), in
// vantrel-history.sqlite of the given folder. Keeps the newest `depth` differing texts of each item.
// Failures to open or write raise TException with a cause a user can read. A file SQLite finds damaged is moved
// aside as vantrel-history.sqlite.damaged and a new one begun, on open or on any later call (see wasDamaged).
// One object is used from one thread at a time; one program per settings folder uses the file.
class THistoryStore
{
public:
    static constexpr const char* FileName = THistoryDatabase::FileName;
    static constexpr int MinDepth = 2;
    static constexpr int MaxDepth = 1000;
    static constexpr int DefaultDepth = 50;

    // Opens or creates the file; `depth` is clamped to MinDepth..MaxDepth.
    explicit THistoryStore(const std::string& folder, int depth = DefaultDepth);

    const std::string& path() const { return m_db.path(); }
    // True once a damaged file was moved aside and a new one begun by this object.
    bool wasDamaged() const { return m_db.wasDamaged(); }
    int depth() const { return m_depth; }
    // Clamped as in the constructor; a smaller depth drops the versions beyond it at once.
    void setDepth(int depth);

    // Keeps `text` as the item's newest version unless it equals the newest kept; true when a version was added.
    bool record(const std::string& itemId, int64_t checkTime, std::string_view text);
    std::optional<std::string> latestText(const std::string& itemId);
    // Oldest first.
    std::vector<THistoryVersion> versions(const std::string& itemId);
    // The text of version `number` (1 = oldest kept); raises TException when there is no such version.
    std::string text(const std::string& itemId, int number);
    void removeItem(const std::string& itemId);
    // Drops the history of every item whose id is not in `ids`.
    void retainItems(const std::vector<std::string>& ids);

private:
    struct Stored;
    std::optional<Stored> stored(const std::string& itemId, int64_t seq);
    std::optional<Stored> newest(const std::string& itemId);
    std::string expand(const std::string& itemId, const Stored& version);
    bool recordOnce(const std::string& itemId, int64_t checkTime, std::string_view text);
    void trim(const std::string& itemId, int64_t newestSeq);
    std::vector<THistoryVersion> listed(const std::string& itemId);
    template <class Body>
    auto guarded(Body&& body) -> decltype(body());

    THistoryDatabase m_db;
    THistoryCodec m_codec;
    int m_depth;
};
