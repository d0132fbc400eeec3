#include "check/check_result.h"

#include "base/exception.h"
#include "check/http_response.h"
#include "check/page_text_check.h"
#include "store/core_texts.h"
#include "text/date_text.h"
#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <limits>
#include <optional>

namespace {

constexpr std::string_view LastModifiedName = "Last-Modified:";
constexpr std::string_view ContentLengthName = "Content-Length:";
constexpr std::string_view ContentTypeName = "Content-Type:";

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
    } else {
        item.status = ItemStatus::Error;
    }

    item.lastModified() = lastModified;
    item.lastModifiedTime = readLastModifiedTime(lastModified);
    item.contentLength() = contentLength;
    item.contentLengthValue = readContentLengthValue(contentLength);
    item.response() = response.statusLine();
    item.failureReason = historyFailure;
    if (!item.compareContent)
        item.content.clear();
    return updated;
}

void recordFailure(TCheckItem& item, std::string_view reason)
{
    item.response().clear();
    item.failureReason = reason;
    item.status = ItemStatus::Error;
}
