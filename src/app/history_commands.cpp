#include "app/history_commands.h"

#include "base/exception.h"
#include "check/http_checker.h"
#include "check/http_response.h"
#include "text/japanese_code.h"
#include "text/text_diff.h"
#include "text/watch_rules.h"

#include <charconv>
#include <ctime>

namespace {

struct TKept
{
    std::string id;
    std::vector<THistoryVersion> versions; // never empty
};

// The named item's kept versions; none, with a message on err, when there is no such item or it has none.
std::optional<TKept> keptVersions(
    const TCheckItems& items, THistoryStore& history, std::string_view name, std::ostream& err)
{
    const std::optional<size_t> index = findItem(items, name);
    if (!index) {
        err << "そのアイテムはありません: " << name << '\n';
        return std::nullopt;
    }
    TKept kept { items[*index].id(), history.versions(items[*index].id()) };
    if (kept.versions.empty()) {
        err << "このアイテムの履歴はありません: " << name << '\n';
        return std::nullopt;
    }
    return kept;
}

} // namespace

std::optional<size_t> findItem(const TCheckItems& items, std::string_view name)
{
    size_t row = 0;
    const auto [end, failure] = std::from_chars(name.data(), name.data() + name.size(), row);
    if (!name.empty() && failure == std::errc() && end == name.data() + name.size())
        return row >= 1 && row <= items.count() ? std::optional<size_t>(row - 1) : std::nullopt;
    return items.indexOfId(name);
}

std::string historyTimeText(int64_t checkTime)
{
    const auto time = static_cast<std::time_t>(checkTime);
    std::tm local {};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string lastChangeDiff(THistoryStore& history, const std::string& itemId)
{
    const std::vector<THistoryVersion> versions = history.versions(itemId);
    if (versions.size() < 2)
        return {};
    const THistoryVersion& older = versions[versions.size() - 2];
    const THistoryVersion& newer = versions.back();
    return unifiedDiff(history.text(itemId, older.number), history.text(itemId, newer.number),
        historyTimeText(older.checkTime), historyTimeText(newer.checkTime));
}

int printHistory(const TCheckItems& items, THistoryStore& history, const TCommandLine& commandLine, std::ostream& out,
    std::ostream& err)
{
    const std::optional<TKept> kept = keptVersions(items, history, commandLine.item, err);
    if (!kept)
        return 2;
    for (const THistoryVersion& version : kept->versions)
        out << version.number << '\t' << historyTimeText(version.checkTime) << '\t' << version.characters << '\n';
    return 0;
}

int printDiff(const TCheckItems& items, THistoryStore& history, const TCommandLine& commandLine, std::ostream& out,
    std::ostream& err)
{
    const std::optional<TKept> kept = keptVersions(items, history, commandLine.item, err);
    if (!kept)
        return 2;
    const std::string& id = kept->id;
    const std::vector<THistoryVersion>& versions = kept->versions;
    const int last = static_cast<int>(versions.size());
    const int n = commandLine.version == 0 ? last : commandLine.version;
    // Version 1 has no version before it, so it is its change from an empty text.
    if (n < 1 || n > last) {
        err << "その版はありません: " << n << " (1から" << last << "まで)\n";
        return 2;
    }
    const THistoryVersion& newer = versions[static_cast<size_t>(n - 1)];
    const std::string before = n > 1 ? history.text(id, n - 1) : std::string();
    const std::string beforeLabel = n > 1 ? historyTimeText(versions[static_cast<size_t>(n - 2)].checkTime) : "";
    out << unifiedDiff(before, history.text(id, n), beforeLabel, historyTimeText(newer.checkTime));
    return 0;
}

int printPageText(const TCommandLine& commandLine, const TCheckItem& defaultItem, std::ostream& out, std::ostream& err)
{
    TWatchRules rules;
    rules.region = commandLine.region;
    rules.ignore = commandLine.ignore;
    rules.ignoreNumbers = commandLine.ignoreNumbers;
    try {
        const TCompiledRules compiled(rules);
        THTTPChecker checker;
        const TFetchedPage page = fetchPage(checker, commandLine.url, defaultItem);
        if (!page.ok) {
            err << "ページを取得できません: " << sjisToUtf8(page.failure) << '\n';
            return 2;
        }
        const TWatchedText watched
            = watchedText(page.body, THTTPResponse(page.header).value("Content-Type:"), compiled);
        if (watched.regionMissing) {
            err << "指定した部分が見つかりません\n";
            return 2;
        }
        out << watched.text;
        if (!watched.text.empty() && watched.text.back() != '\n')
            out << '\n';
        return 0;
    } catch (const TException& e) {
        err << e.message() << '\n';
        return 2;
    }
}
