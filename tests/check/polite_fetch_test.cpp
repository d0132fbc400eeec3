#include "check/check_result.h"
#include "check/http_checker.h"
#include "store/item_extension.h"

#include "support/checked_item.h"
#include "support/checker_test.h"
#include "support/encoded_text.h"
#include "support/http_server.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using test::HttpServer;
using test::Reply;
using test::sjis;

const std::string Page = "<html><head><title>Polite</title><meta name=\"version\" content=\"2.0\"></head>"
                         "<body>"
    + std::string(3000, 'x') + "</body></html>";

std::string answer(const std::string& status, const std::string& headers = {}, const std::string& body = {})
{
    return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n" + body;
}

// The bytes as zlib writes them with these window bits: 31 gzip, 15 the zlib wrapper, -15 the bare stream.
std::string compressed(const std::string& text, int windowBits)
{
    z_stream stream {};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// An item checked before with GET, every stored value set and every comparison on.
TCheckItem checkedItem(const std::string& url)
{
    TCheckItem item = newItemTemplate();
    item.status = ItemStatus::Normal;
    item.useGet = 1;
    item.checkUri() = url;
    item.compareLastModified = item.compareContentLength = item.compareSize = item.compareContent = 1;
    item.compareMetaTag = 1;
    test::keepLastAnswer(item);
    return item;
}

class PoliteFetch : public test::CheckerTest
{
};

} // namespace

TEST_F(PoliteFetch, RequestBytesCarryTheKeptValidatorsOnGetOnly)
{
    const std::string accepts = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                                "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
    const std::string tail
        = "Content-type: application/x-www-form-urlencoded\r\nUser-Agent: " + defaults.userAgent() + "\r\n\r\n";
    const std::string get = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n" + accepts + "Accept-Encoding: gzip, deflate\r\n";
    const std::string since = "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n";
    struct Case
    {
        const char* name;
        bool useGet;
        bool getTitle;
        ItemStatus status;
        std::string etag;
        std::string lastModified;
        std::string request;
        std::string etagAfter; // the answer brings ETag "new"
    };
    const Case cases[] = {
        { "both validators", true, false, ItemStatus::Normal, "W/\"v1\"", "Sun, 06 Nov 1994 08:49:37 GMT",
            get + since + "If-None-Match: W/\"v1\"\r\n" + tail, "\"new\"" },
        { "a tag alone", true, false, ItemStatus::Update, "\"v1\"", "", get + "If-None-Match: \"v1\"\r\n" + tail,
            "\"new\"" },
        { "a date alone", true, false, ItemStatus::Error, "", "Sun, 06 Nov 1994 08:49:37 GMT", get + since + tail,
            "\"new\"" },
        { "nothing kept", true, false, ItemStatus::Normal, "", "", get + tail, "\"new\"" },
        { "the title needs the page", true, true, ItemStatus::Normal, "\"v1\"", "Sun, 06 Nov 1994 08:49:37 GMT",
            get + tail, "\"new\"" },
        { "a new item needs the page", true, false, ItemStatus::Initial, "\"v1\"", "Sun, 06 Nov 1994 08:49:37 GMT",
            get + tail, "\"new\"" },
        { "HEAD as ever", false, false, ItemStatus::Normal, "\"v1\"", "Sun, 06 Nov 1994 08:49:37 GMT",
            "HEAD / HTTP/1.0\r\nHost: 127.0.0.1\r\n" + accepts + tail, "\"v1\"" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({ Reply::bytes(answer("200 OK", "ETag: \"new\"\r\n", "page")) });
        TCheckItem item = checkedItem(server.url("/"));
        item.useGet = c.useGet;
        item.getTitle = c.getTitle;
        item.status = c.status;
        item.setExtension(ExtKey::Etag, c.etag);
        item.lastModified() = c.lastModified;
        check(item);
        EXPECT_EQ(server.request(0), c.request);
        EXPECT_EQ(item.extension(ExtKey::Etag), c.etagAfter);
        EXPECT_FALSE(checker.outcome.notModified);
    }
}

TEST_F(PoliteFetch, NotModifiedKeepsEveryStoredValue)
{
    struct Case
    {
        ItemStatus before;
        ItemStatus after;
        std::string headers; // of the 304 answer
        std::string etagAfter;
    };
    const Case cases[] = {
        { ItemStatus::Normal, ItemStatus::Normal, "ETag: \"v1\"\r\n", "\"v1\"" },
        { ItemStatus::Update, ItemStatus::Update, "", "\"v1\"" },
        { ItemStatus::Error, ItemStatus::Normal, "ETag: \"v2\"\r\nLast-Modified: later\r\nContent-Length: 0\r\n",
            "\"v2\"" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        HttpServer server({ Reply::bytes(answer("304 Not Modified", c.headers)) });
        TCheckItem item = checkedItem(server.url("/"));
        item.status = c.before;
        item.setExtension(ExtKey::Etag, "\"v1\"");
        item.setExtension(ExtKey::Failures, c.before == ItemStatus::Error ? "2" : "");
        item.failureReason = c.before == ItemStatus::Error ? "earlier" : "";
        TCheckItem expected = item;
        const std::time_t before = std::time(nullptr);

        EXPECT_FALSE(check(item));
        EXPECT_TRUE(checker.outcome.notModified);
        EXPECT_GE(item.lastCheckTime, before);
        EXPECT_NE(item.lastCheck(), expected.lastCheck());
        expected.lastCheck() = item.lastCheck();
        expected.lastCheckTime = item.lastCheckTime;
        expected.response() = "HTTP/1.0 304 Not Modified";
        expected.status = c.after;
        expected.failureReason.clear();
        expected.setExtension(ExtKey::Failures, {});
        expected.setExtension(ExtKey::Etag, c.etagAfter);
        EXPECT_EQ(item, expected);
    }
}

TEST_F(PoliteFetch, CompressedBodiesAreDecodedWithinTheBound)
{
    const std::string gzip = compressed(Page, 31);
    const std::string bomb = compressed(std::string(TNMHTTP::MaxBodyLength + 1, '\0'), 31);
    struct Case
    {
        const char* name;
        std::string coding;
        std::string body;
        std::string reason; // empty: the page decodes
    };
    const Case cases[] = {
        { "gzip", "gzip", gzip, "" },
        { "deflate with the zlib wrapper", "deflate", compressed(Page, 15), "" },
        { "bare deflate", "Deflate", compressed(Page, -15), "" },
        { "not compressed", "identity", Page, "" },
        { "gzip cut short", "gzip", gzip.substr(0, gzip.size() / 2), sjis("圧縮された内容を展開できません") },
        { "not deflate at all", "deflate", "this is plain text", sjis("圧縮された内容を展開できません") },
        { "inflates past the bound", "gzip", bomb, "Response body too large" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({ Reply::bytes(answer("200 OK",
            "Content-Encoding: " + c.coding + "\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n",
            c.body)) });
        TCheckItem item = checkedItem(server.url("/"));
        item.getTitle = 1;
        TCheckItem before = item;
        const bool updated = check(item);
        EXPECT_EQ(item.failureReason, c.reason);
        if (!c.reason.empty()) {
            EXPECT_EQ(item.status, ItemStatus::Error);
            EXPECT_EQ(item.content, before.content);
            EXPECT_EQ(item.bodySize, before.bodySize);
            continue;
        }
        EXPECT_TRUE(updated);
        EXPECT_EQ(item.bodySize, static_cast<int32_t>(Page.size()));
        EXPECT_EQ(item.content.view(), Page);
        EXPECT_EQ(item.title(), "Polite");
        EXPECT_EQ(item.metaTagValue(), "2.0");
    }
}

TEST_F(PoliteFetch, FailuresInARowAreCountedUntilASuccess)
{
    HttpServer server({ Reply::bytes(answer("500 Internal Server Error")), Reply::bytes(answer("503 Busy")),
        Reply::bytes(answer("404 Not Found")), Reply::bytes(answer("200 OK", {}, "hello")) });
    struct Step
    {
        std::string reason;
        int failures;
        ItemStatus status;
    };
    const Step steps[] = {
        { "HTTP/1.0 500 Internal Server Error", 1, ItemStatus::Error },
        { sjis("サーバーが混雑しています（2回連続）"), 2, ItemStatus::Error },
        { sjis("HTTP/1.0 404 Not Found（3回連続）"), 3, ItemStatus::Error },
        { "", 0, ItemStatus::Update },
    };
    TCheckItem item = checkedItem(server.url("/"));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.failures);
        check(item);
        EXPECT_EQ(item.failureReason, step.reason);
        EXPECT_EQ(consecutiveFailures(item), step.failures);
        EXPECT_EQ(item.status, step.status);
    }
    EXPECT_FALSE(TItemExtension(item.extensionText()).has(ExtKey::Failures));
}

TEST_F(PoliteFetch, BusyServersTellHowLongToWait)
{
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::tm parts {};
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", ::gmtime_r(&now, &parts));
    struct Case
    {
        std::string status;
        std::string retryAfter; // empty: no Retry-After line
        int64_t seconds;
        std::string reason;
    };
    const Case cases[] = {
        { "429 Too Many Requests", "120", 120, "サーバーが混雑しています（120秒後に再試行）" },
        { "503 Service Unavailable", "", -1, "サーバーが混雑しています" },
        { "503 Service Unavailable", "9999999", MaxRetryAfter, "サーバーが混雑しています（86400秒後に再試行）" },
        { "429 Too Many Requests", date, 0, "サーバーが混雑しています" },
        { "429 Too Many Requests", "soon", -1, "サーバーが混雑しています" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status + " " + c.retryAfter);
        HttpServer server(
            { Reply::bytes(answer(c.status, c.retryAfter.empty() ? "" : "Retry-After: " + c.retryAfter + "\r\n")) });
        TCheckItem item = checkedItem(server.url("/"));
        check(item);
        EXPECT_TRUE(checker.outcome.serverBusy);
        EXPECT_EQ(checker.outcome.retryAfter, c.seconds);
        EXPECT_EQ(item.failureReason, sjis(c.reason));
    }
    // A date ahead counts from the moment given.
    std::time_t later = now + 300;
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", ::gmtime_r(&later, &parts));
    EXPECT_EQ(retryAfterSeconds(date, now), 300);
}

TEST_F(PoliteFetch, KeepsWhereARedirectionLed)
{
    HttpServer server;
    const std::string landing = "http://localhost:" + std::to_string(server.port()) + "/on";
    server.add(answer("302 Found", "Location: /moved\r\n"));
    server.add(answer("301 Moved Permanently", "Location: " + landing + "\r\n"));
    server.add(answer("200 OK", {}, "there"));
    server.add(answer("200 OK", {}, "here"));
    TCheckItem item = checkedItem(server.url("/"));
    check(item);
    EXPECT_EQ(server.request(1).substr(0, 21), "GET /moved HTTP/1.0\r\n");
    EXPECT_EQ(item.finalUrl, landing);
    EXPECT_EQ(checker.outcome.finalUrl, landing);
    check(item);
    EXPECT_EQ(item.finalUrl, "");
    EXPECT_EQ(checker.outcome.finalUrl, "");
}
