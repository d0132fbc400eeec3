#pragma once

#include "store/check_item.h"
#include "store/page_texts.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The connection parameters that a check of an item uses, taken from the item itself when it carries its own,
// else from the default item.
struct TCheckParameters
{
    uint32_t timeOut = 60000; // milliseconds, never below 60000
    std::string proxy; // empty: no proxy
    int proxyPort = 0;
    std::string userId;
    std::string password;
    std::string userAgent; // empty: no User-Agent line
};

TCheckParameters effectiveParameters(const TCheckItem& item, const TCheckItem& defaultItem);

// A proxy port text read as a decimal number; 0 when it is no number, below 1 or above 65535.
int proxyPortNumber(std::string_view text) noexcept;

// The status after a successful check with a 2xx answer, by the status before it. A new item (or one with a
// status unknown to us) only records values, so `updated` is cleared for it; `Update` stays `Update`.
ItemStatus statusAfterCheck(ItemStatus before, bool& updated) noexcept;

// Records a finished request whose final answer was below 400: the check time, the comparisons when the status
// code is 2xx, the new status and the header values. The page's text is compared with and kept in pageTexts,
// when there is one. A 304 answer is a check that found no change: only the check time, the response line and the
// status change. Any other code is a failure counted as recordFailure counts it. Returns whether the item counts
// as updated.
bool recordResponse(
    TCheckItem& item, std::string_view header, std::string_view body, std::time_t now, TPageTexts* pageTexts = nullptr);

// Records a failed request (or an answer of 400 and above): Error, with no response line and the reason kept
// beside it, the failure counted in `failures`; from the second failure in a row the reason ends with
// "（N回連続）". Nothing else changes.
void recordFailure(TCheckItem& item, std::string_view reason = {});

// How many checks of the item failed in a row; 0 after a success.
int consecutiveFailures(const TCheckItem& item);

// The longest wait that a Retry-After may ask for.
inline constexpr int64_t MaxRetryAfter = int64_t { 24 } * 60 * 60;

// A Retry-After value, seconds or an HTTP date, as seconds from now, at most MaxRetryAfter; -1 when it is
// neither. A date already past gives 0.
int64_t retryAfterSeconds(std::string_view value, std::time_t now);
