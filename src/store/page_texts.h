#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where the text a reader sees of each watched page is kept, by item id. A run's checks may call it from
// several threads at once. Failures are TException with a cause a user can read.
class TPageTexts
{
public:
    virtual ~TPageTexts() = default;
    // The text kept at the item's last check that kept one; none when nothing was kept yet.
    virtual std::optional<std::string> lastText(const std::string& itemId) = 0;
    // Keeps the text as the item's newest unless it equals the newest kept; true when a version was added.
    virtual bool keep(const std::string& itemId, int64_t checkTime, std::string_view text) = 0;
};
