#include "check/http_checker.h"

#include "check/check_result.h"

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
}

} // namespace

bool checkItem(THTTPChecker& checker, TCheckItem& item, const TCheckItem& defaultItem)
{
    if (!item.check || item.checkUri().empty())
        return false;

    prepareRequest(checker, item, defaultItem);
    TNMHTTP& client = checker.client();
    std::string failure;
    try {
        // The page's text needs the page.
        if (item.getTitle || item.useGet || item.comparesText())
            client.Get(item.checkUri());
        else
            client.Head(item.checkUri());
    } catch (const std::exception& e) {
        // Every kind of failure ends the same way: the item shows Error, with the client's words kept beside it.
        failure = e.what();
        client.Header.clear();
        client.Body.clear();
        checker.success = false;
    }

    if (checker.stopped)
        return false;
    if (!checker.success) {
        // An answer that is itself the failure (404, 500) is told by its status line.
        if (failure.empty())
            failure = client.Header.substr(0, client.Header.find_first_of("\r\n"));
        recordFailure(item, failure);
        return false;
    }
    return recordResponse(item, client.Header, client.Body, std::time(nullptr), checker.pageTexts);
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
