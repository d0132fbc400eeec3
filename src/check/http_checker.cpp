#include "check/http_checker.h"

#include "check/check_result.h"
#include "check/content_coding.h"
#include "check/http_response.h"
#include "store/core_texts.h"
#include "store/item_extension.h"

#include <ctime>
#include <exception>

THTTPChecker::THTTPChecker()
{
    m_client.OnSuccess = [this](TNMHTTP&, TNMHTTP::CmdType) { success = true; };
    m_client.OnFailure = [this](TNMHTTP&, TNMHTTP::CmdType) { success = false; };
    m_client.OnConnectionFailed = [this](TPowersock&) { success = false; };
    m_client.OnInvalidHost = [this](TPowersock&, bool& handled) {
        handled = false;
        success = false;
    };
    m_client.OnAboutToSend = [this](TNMHTTP& client) { addUserAgentLine(client.RequestHeaders(), userAgent); };
}

namespace {

// A longer tag is no validator a server means seriously, and it would swell the items file.
constexpr size_t MaxEtagLength = 1024;

void prepareRequest(THTTPChecker& checker, const TCheckItem& item, const TCheckItem& defaultItem)
{
    TNMHTTP& client = checker.client();
    const TCheckParameters parameters = effectiveParameters(item, defaultItem);
    client.TimeOut = parameters.timeOut;
    client.Proxy = parameters.proxy;
    // The field is 16 bits wide; the connect reads it back as an unsigned port.
    client.ProxyPort = static_cast<int16_t>(static_cast<uint16_t>(parameters.proxyPort));
    client.HeaderInfo.UserId = parameters.userId;
    client.HeaderInfo.Password = parameters.password;
    checker.userAgent = parameters.userAgent;

    checker.success = false;
    checker.stopped = false;
    client.InputFileMode = false;
    client.OutputFileMode = false;
    client.Header.clear();
    client.Body.clear();
    client.HeaderInfo.IfNoneMatch.clear();
    client.HeaderInfo.IfModifiedSince.clear();
}

// Validators go only with a GET of a page whose values were recorded before: a new item and a title still to
// fetch need the whole page.
void setConditions(THeaderInfo& info, const TCheckItem& item, bool get)
{
    if (!get || item.getTitle || item.status == ItemStatus::Initial)
        return;
    info.IfNoneMatch = item.extension(ExtKey::Etag);
    info.IfModifiedSince = item.lastModified();
}

// After a GET answered 2xx the tag is the answer's (none removes it); a 304 may renew it.
void keepEtag(TCheckItem& item, const THTTPResponse& response)
{
    const std::string_view code = response.statusCode();
    const std::string_view etag = response.value("ETag:");
    if (code == "304" && etag.empty())
        return;
    if (code.starts_with('2') || code == "304")
        item.setExtension(ExtKey::Etag, etag.size() <= MaxEtagLength ? etag : std::string_view());
}

std::string busyReason(int64_t retryAfter)
{
    std::string reason(sjisText(TCoreText::CheckServerBusy));
    if (retryAfter > 0) {
        reason += sjisText(TCoreText::CheckNoteOpen);
        reason += std::to_string(retryAfter);
        reason += sjisText(TCoreText::CheckRetryAfterClose);
    }
    return reason;
}

} // namespace

bool checkItem(THTTPChecker& checker, TCheckItem& item, const TCheckItem& defaultItem)
{
    checker.outcome = {};
    if (!item.check || item.checkUri().empty())
        return false;

    prepareRequest(checker, item, defaultItem);
    TNMHTTP& client = checker.client();
    // The page's text needs the page.
    const bool get = item.getTitle || item.useGet || item.comparesText();
    setConditions(client.HeaderInfo, item, get);
    std::string failure;
    try {
        if (get)
            client.Get(item.checkUri());
        else
            client.Head(item.checkUri());
    } catch (const TDecodeError&) {
        failure = sjisText(TCoreText::CheckUndecodable);
        client.Header.clear();
        client.Body.clear();
        checker.success = false;
    } catch (const std::exception& e) {
        // Every kind of failure ends the same way: the item shows Error, with the client's words kept beside it.
        failure = e.what();
        client.Header.clear();
        client.Body.clear();
        checker.success = false;
    }

    if (checker.stopped)
        return false;
    TCheckOutcome& outcome = checker.outcome;
    outcome.finalUrl = client.Redirected() ? client.FinalURL() : std::string();
    item.finalUrl = outcome.finalUrl;
    const THTTPResponse response(client.Header);
    const std::time_t now = std::time(nullptr);
    if (!checker.success) {
        const std::string_view code = response.statusCode();
        if (failure.empty() && (code == "429" || code == "503")) {
            outcome.serverBusy = true;
            outcome.retryAfter = retryAfterSeconds(response.value("Retry-After:"), now);
            failure = busyReason(outcome.retryAfter);
        }
        // An answer that is itself the failure (404, 500) is told by its status line.
        if (failure.empty())
            failure = response.statusLine();
        recordFailure(item, failure);
        return false;
    }
    outcome.notModified = response.statusCode() == "304";
    const bool updated = recordResponse(item, client.Header, client.Body, now, checker.pageTexts);
    if (get)
        keepEtag(item, response);
    return updated;
}

TFetchedPage fetchPage(THTTPChecker& checker, const std::string& url, const TCheckItem& defaultItem)
{
    TCheckItem probe;
    probe.checkUri() = url;
    prepareRequest(checker, probe, defaultItem);
    TNMHTTP& client = checker.client();
    TFetchedPage page;
    try {
        client.Get(url);
    } catch (const std::exception& e) {
        page.failure = e.what();
        return page;
    }
    if (!checker.success) {
        page.failure = client.Header.substr(0, client.Header.find_first_of("\r\n"));
        return page;
    }
    page.ok = true;
    page.header = std::move(client.Header);
    page.body = std::move(client.Body);
    return page;
}

void stopCheck(THTTPChecker& checker) noexcept
{
    checker.stopped = true;
    try {
        checker.client().Cancel();
    } catch (...) {
        // A failed cancel changes nothing: the stopped flag alone keeps the item as it was.
    }
}
