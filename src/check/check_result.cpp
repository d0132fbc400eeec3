#include "check/check_result.h"

#include "base/exception.h"
#include "check/http_response.h"
#include "check/page_text_check.h"
#include "store/core_texts.h"
#include "store/item_extension.h"
#include "text/date_text.h"
#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view LastModifiedName = "Last-Modified:";
constexpr std::string_view ContentLengthName = "Content-Length:";
constexpr std::string_view ContentTypeName = "Content-Type:";
constexpr std::string_view NotModifiedCode = "304";
constexpr int MaxFailuresCounted = 1000000;

void countFailure(TCheckItem& item, std::string_view reason)
{
    const int failures = std::min(consecutiveFailures(item), MaxFailuresCounted - 1) + 1;
    item.setExtension(ExtKey::Failures, std::to_string(failures));
    item.failureReason = reason;
    if (failures >= 2) {
        item.failureReason += sjisText(TCoreText::CheckNoteOpen);
        item.failureReason += std::to_string(failures);
        item.failureReason += sjisText(TCoreText::CheckFailuresClose);
    }
}

void countSuccess(TCheckItem& item)
{
    item.failureReason.clear();
    item.setExtension(ExtKey::Failures, {});
}

bool allDigits(std::string_view text) noexcept
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Sun, 06 Nov 1994 08:49:37 GMT" as seconds since 1970; nullopt for any other form.
std::optional<std::time_t> httpDate(std::string_view value)
{
    static constexpr std::string_view Months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    std::vector<std::string_view> fields;
    while (!value.empty()) {
        const size_t blank = value.find(' ');
        if (blank != 0)
            fields.push_back(value.substr(0, blank));
        value.remove_prefix(blank == std::string_view::npos ? value.size() : blank + 1);
    }
    if (fields.size() != 6 || fields[5] != "GMT" || !allDigits(fields[1]) || fields[1].size() > 2
        || !allDigits(fields[3]) || fields[3].size() != 4 || fields[4].size() != 8)
        return std::nullopt;
    const std::string_view clock = fields[4];
    if (clock[2] != ':' || clock[5] != ':' || !allDigits(clock.substr(0, 2)) || !allDigits(clock.substr(3, 2))
        || !allDigits(clock.substr(6, 2)))
        return std::nullopt;
    const auto month = std::find(std::begin(Months), std::end(Months), fields[2]);
    if (month == std::end(Months))
        return std::nullopt;
    std::tm time {};
    time.tm_mday = std::stoi(std::string(fields[1]));
    time.tm_mon = static_cast<int>(month - std::begin(Months));
    time.tm_year = std::stoi(std::string(fields[3])) - 1900;
    time.tm_hour = std::stoi(std::string(clock.substr(0, 2)));
    time.tm_min = std::stoi(std::string(clock.substr(3, 2)));
    time.tm_sec = std::stoi(std::string(clock.substr(6, 2)));
    const std::time_t moment = ::timegm(&time);
    if (moment == static_cast<std::time_t>(-1))
        return std::nullopt;
    return moment;
}

int32_t clampedSize(size_t size) noexcept
{
    constexpr auto Max = static_cast<size_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(size > Max ? Max : size);
}

} // namespace

TCheckParameters effectiveParameters(const TCheckItem& item, const TCheckItem& defaultItem)
{
    const TCheckItem& p = item.ownParameters ? item : defaultItem;
    TCheckParameters parameters;
    parameters.timeOut = p.timeout > 60000 ? static_cast<uint32_t>(p.timeout) : 60000u;
    if (p.useProxy) {
        parameters.proxy = p.proxyServer();
        parameters.proxyPort = proxyPortNumber(p.proxyPort());
    }
    if (p.useAuthentication) {
        parameters.userId = p.userId();
        parameters.password = p.password;
    }
    parameters.userAgent = p.userAgent();
    return parameters;
}

int proxyPortNumber(std::string_view text) noexcept
{
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size())
        return 0;
    long value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return 0;
    }
    return negative || value < 1 ? 0 : static_cast<int>(value);
}

ItemStatus statusAfterCheck(ItemStatus before, bool& updated) noexcept
{
    switch (before) {
    case ItemStatus::Normal:
    case ItemStatus::Error:
        return updated ? ItemStatus::Update : ItemStatus::Normal;
    case ItemStatus::Update:
        return ItemStatus::Update;
    default:
        updated = false;
        return ItemStatus::Normal;
    }
}

bool recordResponse(
    TCheckItem& item, std::string_view header, std::string_view body, std::time_t now, TPageTexts* pageTexts)
{
    const THTTPResponse response(header);
    // The server kept the body to itself because nothing changed since the validators we sent.
    if (response.statusCode() == NotModifiedCode) {
        item.lastCheckTime = static_cast<int32_t>(now);
        item.lastCheck() = formatCheckTime(now);
        bool unchanged = false;
        item.status = statusAfterCheck(item.status, unchanged);
        item.response() = response.statusLine();
        countSuccess(item);
        return false;
    }
    const bool answered = !response.statusCode().empty() && response.statusCode().front() == '2';

    // The page's text comes first: a region that is gone or a rule that cannot be used fails the check before
    // any stored value changes.
    std::optional<TWatchedText> watched;
    if (answered && (item.comparesText() || item.compareContent)) {
        try {
            watched = watchedPageText(item, body, response.value(ContentTypeName));
        } catch (const TException& e) {
            recordFailure(item, utf8ToSjis(e.message()));
            return false;
        }
        if (watched->regionMissing) {
            recordFailure(item, sjisText(TCoreText::RegionMissing));
            return false;
        }
    }

    item.lastCheckTime = static_cast<int32_t>(now);
    item.lastCheck() = formatCheckTime(now);

    const std::string_view lastModified = response.value(LastModifiedName);
    const std::string_view contentLength = response.value(ContentLengthName);
    bool updated = false;

    std::string historyFailure;
    if (answered) {
        // Once one comparison finds a change the later ones are not evaluated, but every value is refreshed.
        if (item.compareSize) {
            if (!updated && static_cast<size_t>(item.bodySize) != body.size())
                updated = true;
            item.bodySize = clampedSize(body.size());
        } else {
            item.bodySize = 0;
        }

        if (item.compareContent) {
            if (!updated && item.content.view() != body)
                updated = true;
            item.content.assign(body.data(), body.size());
        } else {
            item.content.clear();
        }

        if (watched) {
            // The text is kept whether or not an earlier comparison already found the change.
            const bool textChanged = comparePageText(item, *watched, pageTexts, now, historyFailure);
            if (item.comparesText() && !updated && textChanged)
                updated = true;
        }

        if (item.getTitle || item.compareMetaTag) {
            std::optional<std::string_view> metaName;
            if (item.compareMetaTag)
                metaName = item.metaTagName();
            const TPageFacts facts = readPageFacts(
                body, item.getTitle != 0, metaName, item.metaTagValue(), response.value(ContentTypeName));
            if (item.getTitle) {
                item.title() = facts.title;
                item.getTitle = 0;
            }
            if (item.compareMetaTag && facts.metaFound) {
                if (!updated && facts.metaChanged)
                    updated = true;
                item.metaTagValue() = facts.metaValue;
            }
        }

        if (item.compareLastModified && !updated && item.lastModified() != lastModified)
            updated = true;
        if (item.compareContentLength && !updated && item.contentLength() != contentLength)
            updated = true;

        item.status = statusAfterCheck(item.status, updated);
        countSuccess(item);
    } else {
        item.status = ItemStatus::Error;
        countFailure(item, response.statusLine());
    }

    item.lastModified() = lastModified;
    item.lastModifiedTime = readLastModifiedTime(lastModified);
    item.contentLength() = contentLength;
    item.contentLengthValue = readContentLengthValue(contentLength);
    item.response() = response.statusLine();
    if (answered)
        item.failureReason = historyFailure;
    if (!item.compareContent)
        item.content.clear();
    return updated;
}

void recordFailure(TCheckItem& item, std::string_view reason)
{
    item.response().clear();
    countFailure(item, reason);
    item.status = ItemStatus::Error;
}

int consecutiveFailures(const TCheckItem& item)
{
    // A count that is no number (a hand-edited file) starts again from nothing.
    const std::string text = item.extension(ExtKey::Failures);
    return allDigits(text) && text.size() <= 7 ? std::stoi(text) : 0;
}

int64_t retryAfterSeconds(std::string_view value, std::time_t now)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (allDigits(value)) {
        int64_t seconds = 0;
        for (char c : value) {
            seconds = seconds * 10 + (c - '0');
            if (seconds > MaxRetryAfter)
                return MaxRetryAfter;
        }
        return seconds;
    }
    const std::optional<std::time_t> moment = httpDate(value);
    if (!moment)
        return -1;
    return std::clamp<int64_t>(static_cast<int64_t>(*moment) - static_cast<int64_t>(now), 0, MaxRetryAfter);
}
