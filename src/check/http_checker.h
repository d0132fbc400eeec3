#pragma once

#include "check/http_client.h"
#include "store/check_item.h"
#include "store/page_texts.h"

#include <string>

// The check context: one client reused for every item of every run, and the flags its handlers set.
// The handlers capture the context, so it stays where it was made.
class THTTPChecker
{
public:
    THTTPChecker();
    THTTPChecker(const THTTPChecker&) = delete;
    THTTPChecker& operator=(const THTTPChecker&) = delete;

    TNMHTTP& client() noexcept { return m_client; }
    const TNMHTTP& client() const noexcept { return m_client; }

    bool success = false; // the final answer was below 400 and nothing failed
    bool stopped = false; // the user stopped this item's request
    std::string userAgent; // added as the User-Agent line; empty sends none
    // Where the checks compare and keep page texts; none keeps nothing, and a text then never decides.
    TPageTexts* pageTexts = nullptr;

private:
    TNMHTTP m_client;
};

// Checks one item against its server and records the result in it; true when it counts as updated.
// An unticked item, one without a URL and a stopped request leave the item exactly as it was.
bool checkItem(THTTPChecker& checker, TCheckItem& item, const TCheckItem& defaultItem);

// One GET of a URL with the default item's connection parameters, as a check of it sends it; nothing is
// recorded. A failure (of the request, or an answer of 400 and above) is told in `failure`.
struct TFetchedPage
{
    bool ok = false;
    std::string failure;
    std::string header;
    std::string body;
};
TFetchedPage fetchPage(THTTPChecker& checker, const std::string& url, const TCheckItem& defaultItem);

// Stops the request in flight at the client's next wait; safe to call from the client's Pump.
void stopCheck(THTTPChecker& checker) noexcept;
