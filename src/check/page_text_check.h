#pragma once

#include "store/check_item.h"
#include "store/page_texts.h"
#include "text/watch_rules.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// The text a reader sees of an answer's page, as an item watches it: under its rules when it compares text,
// the whole page's text when it only compares content. Throws TException (a Japanese message in UTF-8) for a
// rule that cannot be used on this page.
TWatchedText watchedPageText(const TCheckItem& item, std::string_view body, std::string_view contentType);

// The item's rules as the text units take them (UTF-8); empty rules when it does not compare text.
TWatchRules watchRulesOf(const TCheckItem& item);

// Compares the page text with the one kept at the item's last check (when it compares text) and keeps the new
// one. Returns whether the text changed; a failure of the store sets `historyFailure` (Shift_JIS) and never
// decides anything.
bool comparePageText(const TCheckItem& item, const TWatchedText& watched, TPageTexts* pageTexts, std::time_t now,
    std::string& historyFailure);
