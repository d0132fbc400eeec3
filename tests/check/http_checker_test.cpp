#include "check/http_checker.h"
#include "store/item_extension.h"

#include "support/checked_item.h"
#include "support/checker_test.h"
#include "support/http_server.h"
#include "support/japanese_pages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::checkedItem;
using test::hexBytes;
using test::HttpServer;
using test::Reply;

std::string answer(const std::string& status, const std::string& headers = {}, const std::string& body = {})
{
    return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n" + body;
}

std::string ok(const std::string& headers = {}, const std::string& body = {})
{
    return answer("200 OK", headers, body);
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class HttpChecker : public test::CheckerTest
{
};

} // namespace

TEST_F(HttpChecker, EachComparisonDetectsItsChange)
{
    const auto page = [](const std::string& value) {
        return "<html><head><meta name=version content=\"" + value + "\"></head><body></body></html>";
    };
    struct Case
    {
        const char* name;
        std::function<void(TCheckItem&)> setUp;
        std::string first;
        std::string second;
        bool updated;
    };
    const Case cases[] = {
        { "Last-Modified same", [](TCheckItem& i) { i.compareLastModified = 1; }, ok("Last-Modified: A\r\n"),
            ok("Last-Modified: A\r\n"), false },
        { "Last-Modified changed", [](TCheckItem& i) { i.compareLastModified = 1; }, ok("Last-Modified: A\r\n"),
            ok("Last-Modified: B\r\n"), true },
        { "Last-Modified only in case", [](TCheckItem& i) { i.compareLastModified = 1; },
            ok("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"),
            ok("Last-Modified: SUN, 06 NOV 1994 08:49:37 GMT\r\n"), true },
        { "Last-Modified gone", [](TCheckItem& i) { i.compareLastModified = 1; }, ok("Last-Modified: A\r\n"), ok(),
            true },
        { "Content-Length same", [](TCheckItem& i) { i.compareContentLength = 1; }, ok("Content-Length: 10\r\n"),
            ok("Content-Length: 10\r\n"), false },
        { "Content-Length changed", [](TCheckItem& i) { i.compareContentLength = 1; }, ok("Content-Length: 10\r\n"),
            ok("Content-Length: 11\r\n"), true },
        { "size same", [](TCheckItem& i) { i.compareSize = i.useGet = 1; }, ok({}, "hello"), ok({}, "HELLO"), false },
        { "size changed", [](TCheckItem& i) { i.compareSize = i.useGet = 1; }, ok({}, "hello"), ok({}, "hello!"),
            true },
        { "content same", [](TCheckItem& i) { i.compareContent = i.useGet = 1; }, ok({}, "hello"), ok({}, "hello"),
            false },
        { "content changed", [](TCheckItem& i) { i.compareContent = i.useGet = 1; }, ok({}, "hello"), ok({}, "hellO"),
            true },
        // HEAD answers carry no body, so size and content stay the same whatever the server would send.
        { "size and content by HEAD", [](TCheckItem& i) { i.compareSize = i.compareContent = 1; }, ok(), ok(), false },
        { "meta same", [](TCheckItem& i) { i.compareMetaTag = i.useGet = 1; }, ok({}, page("1.0")), ok({}, page("1.0")),
            false },
        { "meta changed", [](TCheckItem& i) { i.compareMetaTag = i.useGet = 1; }, ok({}, page("1.0")),
            ok({}, page("1.1")), true },
        { "meta only in case", [](TCheckItem& i) { i.compareMetaTag = i.useGet = 1; }, ok({}, page("Rel A")),
            ok({}, page("REL a")), false },
        { "nothing compared", [](TCheckItem&) {}, ok("Last-Modified: A\r\n", "x"), ok("Last-Modified: B\r\n", "y"),
            false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({ Reply::bytes(c.first), Reply::bytes(c.second) });
        TCheckItem item;
        item.compareLastModified = 0;
        item.compareContentLength = 0;
        item.metaTagName() = "Version";
        item.checkUri() = server.url("/page.html");
        c.setUp(item);

        // The first check of a new item only records.
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Normal);
        EXPECT_EQ(check(item), c.updated);
        EXPECT_EQ(item.status, c.updated ? ItemStatus::Update : ItemStatus::Normal);
        EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");

        ASSERT_EQ(server.connectionCount(), 2u);
        const std::string method = item.useGet ? "GET" : "HEAD";
        EXPECT_TRUE(startsWith(server.request(1), method + " /page.html HTTP/1.0\r\n")) << server.request(1);
    }
}

TEST_F(HttpChecker, StatusTable)
{
    struct Row
    {
        ItemStatus before;
        ItemStatus unchanged;
        ItemStatus changed;
        bool counted;
    };
    const Row rows[] = {
        { ItemStatus::Initial, ItemStatus::Normal, ItemStatus::Normal, false },
        { ItemStatus::Normal, ItemStatus::Normal, ItemStatus::Update, true },
        { ItemStatus::Update, ItemStatus::Update, ItemStatus::Update, true },
        { ItemStatus::Error, ItemStatus::Normal, ItemStatus::Update, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.before));
        HttpServer server({ Reply::bytes(answer("404 Not Found", "Last-Modified: A\r\n")),
            Reply::bytes(answer("100 Continue", "Last-Modified: A\r\n")), Reply::bytes(ok("Last-Modified: A\r\n")),
            Reply::bytes(ok("Last-Modified: B\r\n")) });
        TCheckItem item = checkedItem(server.url("/"));
        item.compareLastModified = 1;
        item.lastModified() = "A";

        item.status = row.before;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Error);
        EXPECT_EQ(item.response(), "");

        item.status = row.before;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Error);
        EXPECT_EQ(item.response(), "HTTP/1.0 100 Continue");

        item.status = row.before;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, row.unchanged);

        item.status = row.before;
        EXPECT_EQ(check(item), row.counted);
        EXPECT_EQ(item.status, row.changed);
    }
}

TEST_F(HttpChecker, UpdateStaysAndIsCountedOnlyForANewChange)
{
    HttpServer server({ Reply::bytes(ok("Last-Modified: A\r\n")), Reply::bytes(ok("Last-Modified: B\r\n")),
        Reply::bytes(ok("Last-Modified: B\r\n")), Reply::bytes(ok("Last-Modified: C\r\n")) });
    TCheckItem item;
    item.checkUri() = server.url("/");
    EXPECT_FALSE(check(item));
    EXPECT_TRUE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Update);
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Update);
    EXPECT_TRUE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Update);
}

TEST_F(HttpChecker, RecordsTheAnswerAndTheCheckTime)
{
    HttpServer server({ Reply::bytes(ok("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 1234\r\n")) });
    TCheckItem item;
    item.checkUri() = server.url("/");
    const std::time_t before = std::time(nullptr);
    EXPECT_FALSE(check(item));
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(item.status, ItemStatus::Normal);
    EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");
    EXPECT_EQ(item.lastModified(), "Sun, 06 Nov 1994 08:49:37 GMT");
    std::tm local {};
    const std::time_t stored = item.lastModifiedTime;
    localtime_r(&stored, &local);
    EXPECT_EQ(local.tm_year, 94);
    EXPECT_EQ(local.tm_mon, 10);
    EXPECT_EQ(local.tm_mday, 6);
    EXPECT_EQ(local.tm_hour, 8);
    EXPECT_EQ(local.tm_min, 49);
    EXPECT_EQ(local.tm_sec, 37);
    EXPECT_EQ(item.contentLength(), "1234");
    EXPECT_EQ(item.contentLengthValue, 1234);
    EXPECT_GE(item.lastCheckTime, before);
    EXPECT_LE(item.lastCheckTime, after);
    const std::time_t checked = item.lastCheckTime;
    localtime_r(&checked, &local);
    char expected[64];
    std::snprintf(expected, sizeof expected, " %02d %02d:%02d:%02d %d", local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec, local.tm_year + 1900);
    ASSERT_EQ(item.lastCheck().size(), 24u);
    EXPECT_EQ(item.lastCheck().substr(7), expected);
}

TEST_F(HttpChecker, FailuresMakeAnErrorAndKeepTheStoredValues)
{
    struct Case
    {
        const char* name;
        std::string reply; // empty: nothing listens
        std::string reason; // kept beside the item while the program runs; "*" any text, as the socket tells it
    };
    const Case cases[] = {
        { "refused", "", "Connection Failed" },
        { "404", answer("404 Not Found", "Last-Modified: new\r\nContent-Length: 3\r\n", "new"),
            "HTTP/1.0 404 Not Found" },
        { "500", answer("500 Internal Server Error", "Content-Length: 3\r\n", "err"),
            "HTTP/1.0 500 Internal Server Error" },
        { "closed without an answer", "-", "*" },
        { "head cut short", "HTTP/1.0 200 OK\r\nLast-", "Incomplete response" },
        { "body cut short", ok("Content-Length: 10\r\n", "new"), "Incomplete response" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server;
        std::string url = "http://127.0.0.1:" + std::to_string(test::closedPort()) + "/";
        if (!c.reply.empty()) {
            url = server.url("/");
            if (c.reply != "-")
                server.add(c.reply);
        }
        TCheckItem item = checkedItem(url);
        item.useGet = 1;
        item.compareLastModified = item.compareContentLength = item.compareSize = item.compareContent = 1;
        item.compareMetaTag = 1;
        TCheckItem expected = item;
        expected.status = ItemStatus::Error;
        expected.response().clear();
        EXPECT_FALSE(check(item));
        if (c.reason == "*")
            EXPECT_FALSE(item.failureReason.empty());
        else
            EXPECT_EQ(item.failureReason, c.reason);
        expected.failureReason = item.failureReason;
        expected.setExtension(ExtKey::Failures, "1");
        EXPECT_EQ(item, expected);
    }
}

TEST_F(HttpChecker, AfterAnErrorTheNextAnswerComparesWithTheKeptValues)
{
    const std::string same = ok("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n");
    HttpServer server({ Reply::bytes(answer("404 Not Found")), Reply::bytes(same),
        Reply::bytes(answer("404 Not Found")), Reply::bytes(ok("Last-Modified: Mon, 07 Nov 1994 08:49:37 GMT\r\n")) });
    TCheckItem item = checkedItem(server.url("/"));
    item.compareLastModified = 1;
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Error);
    EXPECT_EQ(item.lastModified(), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Normal);
    EXPECT_EQ(item.failureReason, "");
    EXPECT_FALSE(check(item));
    EXPECT_TRUE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Update);
}

TEST_F(HttpChecker, StatusLineOtherThanTwoHundredIsAnErrorWithTheHeadersKept)
{
    HttpServer server({ Reply::bytes("HTTP/1.0 100 Continue\r\nLast-Modified: B\r\nContent-Length: 7\r\n\r\n") });
    TCheckItem item = checkedItem(server.url("/"));
    item.compareLastModified = 1;
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Error);
    EXPECT_EQ(item.response(), "HTTP/1.0 100 Continue");
    EXPECT_EQ(item.lastModified(), "B");
    EXPECT_EQ(item.contentLength(), "7");
    EXPECT_NE(item.lastCheck(), "Mon Dec 07 10:00:00 2026");
    EXPECT_EQ(item.bodySize, 5);
}

TEST_F(HttpChecker, FollowsARedirectionAndRecordsTheFinalAnswer)
{
    HttpServer server({ Reply::bytes(answer("302 Found", "Location: /moved.html\r\nLast-Modified: first\r\n")),
        Reply::bytes(ok("Last-Modified: final\r\n")) });
    TCheckItem item;
    item.checkUri() = server.url("/old.html");
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Normal);
    EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");
    EXPECT_EQ(item.lastModified(), "final");
    ASSERT_EQ(server.connectionCount(), 2u);
    EXPECT_TRUE(startsWith(server.request(1), "HEAD /moved.html HTTP/1.0\r\n")) << server.request(1);
}

TEST_F(HttpChecker, GettingTheTitleForcesGetOnce)
{
    HttpServer server({ Reply::bytes(ok({}, "<html><head><title>First  page</title></head></html>")),
        Reply::bytes(ok({}, "<html><head><title>Second</title></head></html>")),
        Reply::bytes(ok({}, "<html><body>no head</body></html>")) });
    TCheckItem item;
    item.checkUri() = server.url("/");
    item.getTitle = 1;
    check(item);
    EXPECT_EQ(item.title(), "First page");
    EXPECT_EQ(item.getTitle, 0);
    EXPECT_TRUE(startsWith(server.request(0), "GET / HTTP/1.0\r\n"));

    check(item);
    EXPECT_EQ(item.title(), "First page");
    EXPECT_TRUE(startsWith(server.request(1), "HEAD / HTTP/1.0\r\n"));

    item.getTitle = 1;
    check(item);
    EXPECT_EQ(item.title(), "");
    EXPECT_EQ(item.getTitle, 0);
}

TEST_F(HttpChecker, SamePageInEveryCodeGivesTheSameStoredTitleAndMetaValue)
{
    struct Case
    {
        test::JapanesePage page;
        std::string metaName;
        std::string title;
        std::string value;
    };
    std::vector<Case> cases;
    for (test::JapanesePage& page : test::japanesePages())
        cases.push_back({ std::move(page), test::MetaNameSjis, test::PageTitleSjis, test::MetaValueSjis });
    // Shift_JIS has no accented letters and no en dash: the nearest characters stand in.
    for (test::Utf8Label label : { test::Utf8Label::Header, test::Utf8Label::Meta, test::Utf8Label::None })
        cases.push_back({ test::utf8Page(label, "Café naïve – news", "版３"), test::MetaNameSjis, "Cafe naive - news",
            hexBytes("94 c5 82 52") });
    // Half-width katakana alone look like EUC-JP to the byte rule; the header's label says what they are.
    const std::string kana = hexBytes("c6 ad b0 bd"); // ﾆｭｰｽ
    cases.push_back({ { "Shift_JIS half-width katakana, header label",
                          "<html><head><title>" + kana + "</title><meta name=news content=" + kana + "></head></html>",
                          "text/html; charset=Shift_JIS" },
        "news", kana, kana });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.page.code);
        const std::string type = c.page.contentType.empty() ? "text/html" : c.page.contentType;
        const std::string answer = ok("Content-Type: " + type + "\r\n", c.page.body);
        HttpServer server({ Reply::bytes(answer), Reply::bytes(answer) });
        TCheckItem item;
        item.checkUri() = server.url("/");
        item.getTitle = 1;
        item.compareMetaTag = 1;
        item.metaTagName() = c.metaName;
        check(item);
        EXPECT_EQ(item.title(), c.title);
        EXPECT_EQ(item.metaTagValue(), c.value);

        // What was stored is what the page gives again.
        item.useGet = 1;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Normal);
    }
}

TEST_F(HttpChecker, StopDuringARequestLeavesTheItemAsItWas)
{
    const struct
    {
        const char* name;
        Reply reply;
        std::string head, body; // stop once the client has read this much of the answer
    } cases[] = {
        { "before the answer", Reply::stall(), "", "" },
        { "in the head", Reply::stall("HTTP/1.0 200 OK\r\nLast-Modified: new\r\n"),
            "HTTP/1.0 200 OK\r\nLast-Modified: new\r\n", "" },
        { "in the body", Reply::stall(ok("Last-Modified: new\r\n", "<html><head><title>part")),
            ok("Last-Modified: new\r\n"), "<html><head><title>part" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({ c.reply, Reply::bytes(ok("Last-Modified: new\r\n")) });
        TCheckItem item = checkedItem(server.url("/"));
        item.useGet = 1;
        item.getTitle = 1;
        item.compareLastModified = item.compareSize = item.compareContent = item.compareMetaTag = 1;
        const TCheckItem before = item;

        // Stop from inside the client's wait, as the window would, once the request is out and the client has
        // read what the case names of the answer.
        checker.client().Pump = [&] {
            const TNMHTTP& client = checker.client();
            if (contains(server.request(0), "\r\n\r\n") && client.Header == c.head
                && (c.body.empty() || client.Body == c.body))
                stopCheck(checker);
        };
        EXPECT_FALSE(check(item));
        EXPECT_TRUE(checker.stopped);
        EXPECT_EQ(item, before);

        // The client serves the next check as usual.
        checker.client().Pump = nullptr;
        EXPECT_TRUE(check(item));
        EXPECT_EQ(item.lastModified(), "new");
        EXPECT_FALSE(checker.stopped);
    }
}

TEST_F(HttpChecker, SkipsUntickedItemsAndItemsWithoutAUrl)
{
    HttpServer server({ Reply::bytes(ok()) });
    TCheckItem unticked = checkedItem(server.url("/"));
    unticked.check = 0;
    TCheckItem noUrl = checkedItem("");
    const TCheckItem uncheckedBefore = unticked;
    const TCheckItem noUrlBefore = noUrl;
    EXPECT_FALSE(check(unticked));
    EXPECT_FALSE(check(noUrl));
    EXPECT_EQ(unticked, uncheckedBefore);
    EXPECT_EQ(noUrl, noUrlBefore);
    EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(HttpChecker, TimeOutIsAtLeastAMinute)
{
    const std::pair<int32_t, uint32_t> cases[] = { { 0, 60000 }, { 30000, 60000 }, { 90000, 90000 } };
    for (const auto& [timeout, expected] : cases) {
        HttpServer server({ Reply::bytes(ok()), Reply::bytes(ok()) });
        TCheckItem item;
        item.checkUri() = server.url("/");
        item.timeout = 1; // the item's own value counts only with its own parameters
        defaults.timeout = timeout;
        check(item);
        EXPECT_EQ(checker.client().TimeOut, expected) << timeout;

        item.ownParameters = 1;
        item.timeout = timeout;
        defaults.timeout = 1;
        check(item);
        EXPECT_EQ(checker.client().TimeOut, expected) << timeout;
    }
}

TEST_F(HttpChecker, UsesTheDefaultItemsParametersUnlessTheItemHasItsOwn)
{
    HttpServer server({ Reply::bytes(ok()), Reply::bytes(ok()) });
    defaults.useProxy = 1;
    defaults.proxyServer() = "127.0.0.1";
    defaults.proxyPort() = std::to_string(server.port());
    defaults.useAuthentication = 1;
    defaults.userId() = "user";
    defaults.setPassword("pass");
    defaults.userAgent() = "Default-Agent/2";

    // Through the default proxy: the request line carries the whole URL, and the host is never looked up.
    TCheckItem item;
    item.checkUri() = "http://pages.invalid/watched.html";
    item.userAgent() = "Own-Agent";
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Normal);
    const std::string proxied = server.request(0);
    EXPECT_TRUE(startsWith(proxied, "HEAD http://pages.invalid/watched.html HTTP/1.0\r\n")) << proxied;
    EXPECT_TRUE(contains(proxied, "\r\nUser-Agent: Default-Agent/2\r\n")) << proxied;
    EXPECT_TRUE(contains(proxied, "\r\nAuthorization: Basic dXNlcjpwYXNz\r\n")) << proxied;
    EXPECT_FALSE(contains(proxied, "Own-Agent"));

    // With its own parameters (no proxy, no credentials, no User-Agent) the item goes straight to the server.
    item.ownParameters = 1;
    item.userAgent() = "";
    item.checkUri() = server.url("/direct.html");
    EXPECT_FALSE(check(item));
    const std::string direct = server.request(1);
    EXPECT_TRUE(startsWith(direct, "HEAD /direct.html HTTP/1.0\r\n")) << direct;
    EXPECT_FALSE(contains(direct, "User-Agent"));
    EXPECT_FALSE(contains(direct, "Authorization"));
    EXPECT_FALSE(contains(direct, "Proxy-Connection"));
}

TEST_F(HttpChecker, ProxyPortThatIsNoNumberFails)
{
    HttpServer server({ Reply::bytes(ok()) });
    for (const char* port : { "abc", "0", "" }) {
        SCOPED_TRACE(port);
        TCheckItem item = checkedItem(server.url("/"));
        item.ownParameters = 1;
        item.useProxy = 1;
        item.proxyServer() = "127.0.0.1";
        item.proxyPort() = port;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Error);
        EXPECT_EQ(item.response(), "");
    }
    EXPECT_EQ(server.connectionCount(), 0u);
}
