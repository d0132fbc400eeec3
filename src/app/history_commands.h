#pragma once

#include "app/command_line.h"
#include "history/history_store.h"
#include "store/check_item.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// The item a command line names: a row number counted from 1, or an id; none when the list has no such item.
std::optional<size_t> findItem(const TCheckItems& items, std::string_view name);

// A check time as the history commands print it: "2026-12-08 10:15:00", local time.
std::string historyTimeText(int64_t checkTime);

// The change that the item's newest kept text made from the one before, as a unified diff labelled with both
// check times; empty when fewer than two texts are kept or they do not differ.
std::string lastChangeDiff(THistoryStore& history, const std::string& itemId);

// `--history ITEM` and `--diff ITEM [N]` on a list and its history; each prints its answer on `out`, says on
// `err` what it could not find, and returns the exit status (0, or 2 for no such item, no history or a version
// out of range).
int printHistory(const TCheckItems& items, THistoryStore& history, const TCommandLine& commandLine, std::ostream& out,
    std::ostream& err);
int printDiff(const TCheckItems& items, THistoryStore& history, const TCommandLine& commandLine, std::ostream& out,
    std::ostream& err);

// `--page-text URL`: fetches the page with the default item's connection parameters as a check that compares
// its text does and prints the text it would keep (UTF-8), under the command line's rules. 2 when the fetch
// fails, a rule cannot be used or the region is not on the page.
int printPageText(const TCommandLine& commandLine, const TCheckItem& defaultItem, std::ostream& out, std::ostream& err);
