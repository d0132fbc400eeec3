#include "check/check_result.h"
#include "store/item_extension.h"

#include "support/checked_item.h"
#include "support/japanese_pages.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test::hexBytes;

constexpr std::time_t Now = 1796700879; // Tue Dec 08 03:34:39 2026 UTC

std::string okHead(const std::string& lines = {})
{
    return "HTTP/1.0 200 OK\r\n" + lines + "\r\n";
}

// An item that has been checked before, with every comparison off.
TCheckItem checkedItem()
{
    TCheckItem item;
    item.status = ItemStatus::Normal;
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.checkUri() = "http://127.0.0.1/";
    return item;
}

const char* statusName(ItemStatus status)
{
    switch (status) {
    case ItemStatus::Initial:
        return "Initial";
    case ItemStatus::Normal:
        return "Normal";
    case ItemStatus::Update:
        return "Update";
    case ItemStatus::Error:
        return "Error";
    }
    return "other";
}

} // namespace

TEST(CheckResult, StatusTable)
{
    const test::LocalZone utc("UTC0");
    const auto other = static_cast<ItemStatus>(7);
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
        { other, ItemStatus::Normal, ItemStatus::Normal, false },
    };
    const std::string head = okHead("Last-Modified: B\r\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(statusName(row.before));
        TCheckItem item = checkedItem();
        item.status = row.before;
        item.compareLastModified = 1;
        item.lastModified() = "B";
        item.response() = "HTTP/1.0 200 OK";

        TCheckItem failed = item;
        recordFailure(failed);
        EXPECT_EQ(failed.status, ItemStatus::Error);

        TCheckItem notTwo = item;
        EXPECT_FALSE(recordResponse(notTwo, "HTTP/1.0 100 Continue\r\nLast-Modified: C\r\n\r\n", "", Now));
        EXPECT_EQ(notTwo.status, ItemStatus::Error);

        TCheckItem same = item;
        EXPECT_FALSE(recordResponse(same, head, "", Now));
        EXPECT_EQ(same.status, row.unchanged);

        TCheckItem changed = item;
        changed.lastModified() = "A";
        EXPECT_EQ(recordResponse(changed, head, "", Now), row.counted);
        EXPECT_EQ(changed.status, row.changed);
    }
}

TEST(CheckResult, FailureKeepsEverythingButStatusAndResponse)
{
    TCheckItem item = checkedItem();
    item.compareContent = 1;
    item.compareSize = 1;
    item.compareMetaTag = 1;
    test::keepLastAnswer(item);

    TCheckItem expected = item;
    expected.status = ItemStatus::Error;
    expected.response().clear();
    expected.setExtension(ExtKey::Failures, "1");
    recordFailure(item);
    EXPECT_EQ(item, expected);
}

TEST(CheckResult, RecordsTheCheckTimeAndTheHeaderValues)
{
    const test::LocalZone utc("UTC0");
    TCheckItem item = checkedItem();
    EXPECT_FALSE(recordResponse(
        item, okHead("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 1234\r\n"), "", Now));
    EXPECT_EQ(item.lastCheckTime, 1796700879);
    EXPECT_EQ(item.lastCheck(), "Tue Dec 08 03:34:39 2026");
    EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");
    EXPECT_EQ(item.lastModified(), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(item.lastModifiedTime, 784111777);
    EXPECT_EQ(item.contentLength(), "1234");
    EXPECT_EQ(item.contentLengthValue, 1234);

    // Headers that are gone leave empty texts, -1 for the date and 0 for the length.
    EXPECT_FALSE(recordResponse(item, "HTTP/1.0 204 No Content\n\n", "", Now + 1));
    EXPECT_EQ(item.lastCheck(), "Tue Dec 08 03:34:40 2026");
    EXPECT_EQ(item.response(), "HTTP/1.0 204 No Content");
    EXPECT_EQ(item.lastModified(), "");
    EXPECT_EQ(item.lastModifiedTime, -1);
    EXPECT_EQ(item.contentLength(), "");
    EXPECT_EQ(item.contentLengthValue, 0);
}

TEST(CheckResult, StatusLineNotTwoHundredIsAnErrorThatStillStoresHeaders)
{
    const test::LocalZone utc("UTC0");
    for (const char* line : { "HTTP/1.0 100 Continue", "HTTP/1.0 OK", "HTTP/1.0", "", "HTTP/1.0 020 Odd" }) {
        SCOPED_TRACE(line);
        TCheckItem item = checkedItem();
        item.getTitle = 1;
        item.title() = "Old title";
        item.compareSize = 1;
        item.bodySize = 7;
        item.compareLastModified = 1;
        item.lastModified() = "A";
        EXPECT_FALSE(recordResponse(item, std::string(line) + "\r\nLast-Modified: B\r\nContent-Length: 3\r\n\r\n",
            "<html><head><title>New</title></head></html>", Now));
        EXPECT_EQ(item.status, ItemStatus::Error);
        EXPECT_EQ(item.response(), line);
        EXPECT_EQ(item.lastCheck(), "Tue Dec 08 03:34:39 2026");
        EXPECT_EQ(item.lastModified(), "B");
        EXPECT_EQ(item.contentLength(), "3");
        EXPECT_EQ(item.contentLengthValue, 3);
        // Nothing of the body is looked at.
        EXPECT_EQ(item.bodySize, 7);
        EXPECT_EQ(item.title(), "Old title");
        EXPECT_EQ(item.getTitle, 1);
    }
}

TEST(CheckResult, DecidesByLastModifiedAndContentLength)
{
    struct Case
    {
        const char* name;
        bool lastModified; // which comparison is on
        std::string stored;
        std::string head;
        bool updated;
    };
    const Case cases[] = {
        { "same date", true, "Sun, 06 Nov 1994 08:49:37 GMT", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n",
            false },
        { "other date", true, "Sun, 06 Nov 1994 08:49:37 GMT", "Last-Modified: Mon, 07 Nov 1994 08:49:37 GMT\r\n",
            true },
        { "date differing in case", true, "Sun, 06 Nov 1994 08:49:37 GMT",
            "Last-Modified: sun, 06 nov 1994 08:49:37 gmt\r\n", true },
        { "header name in other case", true, "X", "LAST-MODIFIED: X\r\n", false },
        { "header gone", true, "X", "", true },
        { "header still missing", true, "", "", false },
        { "header appears", true, "", "Last-Modified: X\r\n", true },
        { "same length", false, "120", "Content-Length: 120\r\n", false },
        { "other length", false, "120", "Content-Length: 121\r\n", true },
        { "length differing in blanks", false, "120", "Content-Length:  120\r\n", true },
        { "length gone", false, "120", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItem item = checkedItem();
        // The other comparison would always differ: it must not count while off.
        if (c.lastModified) {
            item.compareLastModified = 1;
            item.lastModified() = c.stored;
            item.contentLength() = "never sent";
        } else {
            item.compareContentLength = 1;
            item.contentLength() = c.stored;
            item.lastModified() = "never sent";
        }
        EXPECT_EQ(recordResponse(item, okHead(c.head), "", Now), c.updated);
        EXPECT_EQ(item.status, c.updated ? ItemStatus::Update : ItemStatus::Normal);
    }
}

TEST(CheckResult, DecidesBySizeAndContent)
{
    struct Case
    {
        const char* name;
        bool size;
        bool content;
        int32_t storedSize;
        std::string storedContent;
        std::string body;
        bool updated;
    };
    const Case cases[] = {
        { "same size", true, false, 5, "", "hello", false },
        { "other size", true, false, 5, "", "hello!", true },
        { "same size, other bytes, size only", true, false, 5, "", "HELLO", false },
        { "same content", false, true, 0, "hello", "hello", false },
        { "one byte differs", false, true, 0, "hello", "hellO", true },
        { "longer", false, true, 0, "hello", "hello ", true },
        { "empty to something", false, true, 0, "", "x", true },
        { "bytes with zeros", false, true, 0, std::string("a\0b", 3), std::string("a\0c", 3), true },
        // A HEAD answer has no body: both compare against a length of 0.
        { "no body, nothing stored", true, true, 0, "", "", false },
        { "no body, size stored", true, true, 10, "", "", true },
        { "no body, content stored", true, true, 0, "x", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItem item = checkedItem();
        item.compareSize = c.size;
        item.compareContent = c.content;
        item.bodySize = c.storedSize;
        item.content.assign(c.storedContent.data(), c.storedContent.size());
        EXPECT_EQ(recordResponse(item, okHead(), c.body, Now), c.updated);
        EXPECT_EQ(item.bodySize, c.size ? static_cast<int32_t>(c.body.size()) : 0);
        EXPECT_EQ(item.content.view(), c.content ? c.body : "");
    }
}

TEST(CheckResult, DecidesByTheNamedMetaTag)
{
    const auto page = [](const std::string& head) { return "<html><head>" + head + "</head><body></body></html>"; };
    struct Case
    {
        const char* name;
        std::string stored;
        std::string body;
        bool updated;
        std::string value;
    };
    const Case cases[] = {
        { "same value", "1.0", page("<meta name=\"version\" content=\"1.0\">"), false, "1.0" },
        { "other value", "1.0", page("<meta name=version content=1.1>"), true, "1.1" },
        { "name in other case, content first", "1.0", page("<META CONTENT=\"1.0\" NAME=\"Version\">"), false, "1.0" },
        // A change only in letter case is no update, but the new spelling is kept.
        { "value in other case", "Release A", page("<meta name=version content=\"RELEASE a\">"), false, "RELEASE a" },
        { "no tag keeps the stored value", "1.0", page("<meta name=other content=2.0>"), false, "1.0" },
        { "head end tag left out", "1.0", "<html><head><meta name=version content=2.0></html>", true, "2.0" },
        { "empty content", "1.0", page("<meta name=version content=\"\">"), true, "" },
        { "first marked tag wins", "1.0", page("<meta name=version content=2.0><meta name=version content=1.0>"), true,
            "2.0" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItem item = checkedItem();
        item.compareMetaTag = 1;
        item.metaTagName() = "Version";
        item.metaTagValue() = c.stored;
        EXPECT_EQ(recordResponse(item, okHead(), c.body, Now), c.updated);
        EXPECT_EQ(item.metaTagValue(), c.value);
    }

    // Off, the tag is not read at all.
    TCheckItem off = checkedItem();
    off.metaTagName() = "version";
    off.metaTagValue() = "1.0";
    EXPECT_FALSE(recordResponse(off, okHead(), page("<meta name=version content=2.0>"), Now));
    EXPECT_EQ(off.metaTagValue(), "1.0");
}

TEST(CheckResult, FetchesTheTitleOnce)
{
    struct Case
    {
        const char* name;
        std::string body;
        std::string title;
    };
    const Case cases[] = {
        { "title", "<HTML><Head><TITLE>Page &amp; more</TITLE></Head></HTML>", "Page & more" },
        { "no title", "<html><body>Lost</body></html>", "" },
        { "empty body", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItem item = checkedItem();
        item.getTitle = 1;
        item.title() = "Before";
        EXPECT_FALSE(recordResponse(item, okHead(), c.body, Now));
        EXPECT_EQ(item.title(), c.title);
        EXPECT_EQ(item.getTitle, 0);
        // A later check leaves the title alone.
        item.title() = "Kept";
        recordResponse(item, okHead(), c.body, Now);
        EXPECT_EQ(item.title(), "Kept");
    }
}

TEST(CheckResult, RefreshesEveryValueAfterTheFirstChange)
{
    TCheckItem item = checkedItem();
    item.compareSize = 1;
    item.compareContent = 1;
    item.compareMetaTag = 1;
    item.compareLastModified = 1;
    item.compareContentLength = 1;
    item.getTitle = 1;
    item.metaTagName() = "v";
    item.metaTagValue() = "old";
    item.bodySize = 1;
    item.lastModified() = "old";
    item.contentLength() = "old";
    const std::string body = "<html><head><title>T</title><meta name=v content=new></head></html>";
    EXPECT_TRUE(recordResponse(item, okHead("Last-Modified: new\r\nContent-Length: 67\r\n"), body, Now));
    EXPECT_EQ(item.status, ItemStatus::Update);
    EXPECT_EQ(item.bodySize, static_cast<int32_t>(body.size()));
    EXPECT_EQ(item.content.view(), body);
    EXPECT_EQ(item.title(), "T");
    EXPECT_EQ(item.metaTagValue(), "new");
    EXPECT_EQ(item.lastModified(), "new");
    EXPECT_EQ(item.contentLength(), "67");

    // The same answer again changes nothing; the item stays Update but is not counted.
    EXPECT_FALSE(recordResponse(item, okHead("Last-Modified: new\r\nContent-Length: 67\r\n"), body, Now));
    EXPECT_EQ(item.status, ItemStatus::Update);
}

TEST(CheckResult, NewItemOnlyRecords)
{
    TCheckItem item; // the blank item: Initial, Last-Modified and Content-Length compared
    item.compareSize = 1;
    item.bodySize = 99;
    EXPECT_FALSE(recordResponse(item, okHead("Last-Modified: X\r\nContent-Length: 2\r\n"), "ab", Now));
    EXPECT_EQ(item.status, ItemStatus::Normal);
    EXPECT_EQ(item.lastModified(), "X");
    EXPECT_EQ(item.contentLength(), "2");
    EXPECT_EQ(item.bodySize, 2);
}

TEST(CheckResult, SamePageInThreeCodesGivesTheSameTitleAndMetaValue)
{
    for (const test::JapanesePage& p : test::japanesePages()) {
        SCOPED_TRACE(p.code);
        TCheckItem item = checkedItem();
        item.getTitle = 1;
        item.compareMetaTag = 1;
        item.metaTagName() = test::MetaNameSjis;
        item.metaTagValue() = "old";
        const std::string head = okHead(p.contentType.empty() ? "" : "Content-Type: " + p.contentType + "\r\n");
        EXPECT_TRUE(recordResponse(item, head, p.body, Now));
        EXPECT_EQ(item.title(), test::PageTitleSjis);
        EXPECT_EQ(item.metaTagValue(), test::MetaValueSjis);
        // Read again in the same code, the stored Shift_JIS value matches.
        EXPECT_FALSE(recordResponse(item, head, p.body, Now));
    }
}

TEST(CheckParameters, TakesTheItemsOwnOrTheDefaultItems)
{
    TCheckItem defaults = newItemTemplate();
    defaults.timeout = 90000;
    defaults.useProxy = 1;
    defaults.proxyServer() = "proxy.default";
    defaults.proxyPort() = "8080";
    defaults.useAuthentication = 1;
    defaults.userId() = "d-user";
    defaults.setPassword("d-pass");
    defaults.userAgent() = "Default/1";

    TCheckItem item;
    item.timeout = 120000;
    item.proxyServer() = "proxy.own";
    item.proxyPort() = "3128";
    item.userId() = "own-user";
    item.setPassword("own-pass");
    item.userAgent() = "";

    const TCheckParameters fromDefault = effectiveParameters(item, defaults);
    EXPECT_EQ(fromDefault.timeOut, 90000u);
    EXPECT_EQ(fromDefault.proxy, "proxy.default");
    EXPECT_EQ(fromDefault.proxyPort, 8080);
    EXPECT_EQ(fromDefault.userId, "d-user");
    EXPECT_EQ(fromDefault.password, "d-pass");
    EXPECT_EQ(fromDefault.userAgent, "Default/1");

    // The item's own switches are off: no proxy, no credentials, and no User-Agent line.
    item.ownParameters = 1;
    const TCheckParameters own = effectiveParameters(item, defaults);
    EXPECT_EQ(own.timeOut, 120000u);
    EXPECT_EQ(own.proxy, "");
    EXPECT_EQ(own.proxyPort, 0);
    EXPECT_EQ(own.userId, "");
    EXPECT_EQ(own.password, "");
    EXPECT_EQ(own.userAgent, "");

    item.useProxy = 1;
    item.useAuthentication = 1;
    const TCheckParameters ownOn = effectiveParameters(item, defaults);
    EXPECT_EQ(ownOn.proxy, "proxy.own");
    EXPECT_EQ(ownOn.proxyPort, 3128);
    EXPECT_EQ(ownOn.userId, "own-user");
    EXPECT_EQ(ownOn.password, "own-pass");
}

TEST(CheckParameters, TimeOutIsNeverBelowAMinute)
{
    const std::pair<int32_t, uint32_t> cases[] = {
        { 0, 60000 },
        { 30000, 60000 },
        { 60000, 60000 },
        { 60001, 60001 },
        { 90000, 90000 },
        { -5, 60000 },
    };
    for (const auto& [timeout, expected] : cases) {
        TCheckItem item;
        item.ownParameters = 1;
        item.timeout = timeout;
        EXPECT_EQ(effectiveParameters(item, TCheckItem()).timeOut, expected) << timeout;
    }
}

TEST(CheckParameters, ProxyPortIsADecimalNumber)
{
    const std::pair<const char*, int> cases[] = {
        { "8080", 8080 },
        { "1", 1 },
        { "65535", 65535 },
        { "+80", 80 },
        { "0", 0 },
        { "-5", 0 },
        { "", 0 },
        { "abc", 0 },
        { "80x", 0 },
        { " 80", 0 },
        { "65536", 0 },
        { "99999999999999999999", 0 },
        { "-", 0 },
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(proxyPortNumber(text), port) << text;
}
