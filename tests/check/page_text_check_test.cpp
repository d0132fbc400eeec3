#include "check/http_checker.h"

#include "history/history_texts.h"
#include "store/core_texts.h"
#include "store/item_extension.h"
#include "support/checker_test.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "text/japanese_code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string page(const std::string& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><head><title>t</title></head><body>"
        + body + "</body></html>";
}

// A ticked item that decides by its page's text alone, under the given extension lines (UTF-8 here).
TCheckItem textItem(const std::string& url, const std::string& rules)
{
    TCheckItem item;
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.checkUri() = url;
    item.extensionText() = utf8ToSjis("id=" + newItemId() + "\n" + rules);
    return item;
}

class PageTextCheck : public test::CheckerTest
{
protected:
    test::TempDir dir;
    THistoryTexts texts { dir.path(), 50 };
    void SetUp() override { checker.pageTexts = &texts; }
};

} // namespace

TEST_F(PageTextCheck, TheTextAReaderSeesDecidesUnderTheItemsRules)
{
    struct Case
    {
        const char* what;
        std::string rules;
        std::string before;
        std::string after;
        bool updated;
        size_t kept; // versions in the history after both checks
    };
    const std::string article = "<div id=main><p>記事の本文</p></div>";
    const Case cases[] = {
        { "a new script nonce", "compareText=1", "<script>n='a1'</script>" + article,
            "<script>n='b2'</script>" + article, false, 1 },
        { "a new paragraph", "compareText=1", article, article + "<p>追記</p>", true, 2 },
        { "white space alone", "compareText=1", "<p>a b</p><p>c</p>", "\n<p>a \n\n  b</p>\n\n\n<p> c </p>", false, 1 },
        { "outside the region", "compareText=1\nregion=#main", article + "<p>広告 1</p>", article + "<p>広告 2</p>",
            false, 1 },
        { "inside the region", "compareText=1\nregion=div#main > p", article, "<div id=main><p>新しい本文</p></div>",
            true, 2 },
        { "an ignored clock line", "compareText=1\nignore=^更新 \\\\d+:\\\\d+$", article + "<p>更新 10:15</p>",
            article + "<p>更新 10:16</p>", false, 1 },
        { "numbers that do not count", "compareText=1\nignoreNumbers=1", "<p>閲覧数 1,024</p>", "<p>閲覧数 1,031</p>",
            false, 2 },
        { "the rules belong to the text switch", "ignoreNumbers=1", "<p>閲覧数 1</p>", "<p>閲覧数 2</p>", false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::HttpServer server({ test::Reply::bytes(page(c.before)), test::Reply::bytes(page(c.after)) });
        TCheckItem item = textItem(server.url("/"), c.rules);
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Normal);
        EXPECT_EQ(check(item), c.updated);
        EXPECT_EQ(item.status, c.updated ? ItemStatus::Update : ItemStatus::Normal);
        EXPECT_TRUE(item.failureReason.empty()) << item.failureReason;
        // Text comparison fetches the page; without it the item is checked with HEAD as ever.
        EXPECT_EQ(server.request(0).substr(0, 4), item.comparesText() ? "GET " : "HEAD");
        // Digits that do not count still show in the kept text.
        EXPECT_EQ(texts.store().versions(item.id()).size(), c.kept);
    }
}

TEST_F(PageTextCheck, ARuleThatCannotBeUsedFailsTheCheckAndKeepsTheStoredValues)
{
    struct Case
    {
        const char* what;
        std::string rules;
        std::string reason; // UTF-8, the start of the row's reason
    };
    const Case cases[] = {
        { "a region that is gone", "compareText=1\nregion=#gone", "指定した部分が見つかりません" },
        { "a pattern that does not compile", "compareText=1\nignore=(", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::HttpServer server({ test::Reply::bytes(page("<p>a</p>")) });
        TCheckItem item = textItem(server.url("/"), c.rules);
        item.status = ItemStatus::Normal;
        item.response() = "HTTP/1.0 200 OK";
        item.lastCheck() = "Mon Dec 07 10:00:00 2026";
        TCheckItem before = item;
        EXPECT_FALSE(check(item));
        EXPECT_EQ(item.status, ItemStatus::Error);
        const std::string reason = sjisToUtf8(item.failureReason);
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason);
        EXPECT_EQ(item.lastCheck(), before.lastCheck());
        EXPECT_TRUE(texts.store().versions(item.id()).empty());
    }
}

TEST_F(PageTextCheck, AStoreThatCannotBeWrittenNeverStopsTheCheck)
{
    test::HttpServer server({ test::Reply::bytes(page("<p>a</p>")) });
    // A folder that is a file: no store can be made there, whoever runs the test.
    const std::string notAFolder = dir.file("plain");
    test::writeFile(notAFolder, "x");
    THistoryTexts broken(notAFolder, 50);
    checker.pageTexts = &broken;
    TCheckItem item = textItem(server.url("/"), "compareText=1");
    EXPECT_FALSE(check(item));
    EXPECT_EQ(item.status, ItemStatus::Normal);
    EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");
    EXPECT_EQ(sjisToUtf8(item.failureReason).rfind("履歴を保存できません（", 0), 0u) << item.failureReason;
}
