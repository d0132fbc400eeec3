#include "base/exception.h"
#include "exchange/exchange_commands.h"
#include "exchange/html_importer.h"
#include "exchange/item_importer.h"
#include "exchange/xml_exporter.h"
#include "exchange/xml_importer.h"
#include "store/item_extension.h"

#include "exchange_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test::crlf;
using test::sjis;

std::vector<std::string> linesOf(std::string text)
{
    const TTabTextLines lines(std::move(text));
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.count(); ++i)
        out.emplace_back(lines.lineText(i));
    return out;
}

std::vector<std::string> titles(const TCheckItems& items)
{
    std::vector<std::string> out;
    for (const TCheckItem& item : items)
        out.push_back(item.title());
    return out;
}

std::vector<std::string> checkUris(const TCheckItems& items)
{
    std::vector<std::string> out;
    for (const TCheckItem& item : items)
        out.push_back(item.checkUri());
    return out;
}

// A default item that carries parameters of its own, so the parameters rule shows.
TConfig configWithParameters(bool own)
{
    TConfig config;
    TCheckItem& d = config.defaultItem;
    d.ownParameters = own ? 1 : 0;
    d.useProxy = 1;
    d.proxyServer() = "proxy.default";
    d.proxyPort() = "3128";
    d.useAuthentication = 1;
    d.userId() = "default-user";
    d.setPassword("secret");
    d.userAgent() = "Default/1.0";
    d.lastModified() = "default lm";
    d.lastModifiedTime = 77;
    d.contentLengthValue = 88;
    d.lastCheckTime = 99;
    d.getTitle = 1;
    d.timeout = 90000;
    d.content = TMemory(std::string_view("default body"));
    return config;
}

void expectNoParameters(const TCheckItem& item)
{
    EXPECT_FALSE(item.useProxy);
    EXPECT_FALSE(item.useAuthentication);
    EXPECT_EQ(item.proxyServer(), "");
    EXPECT_EQ(item.proxyPort(), "");
    EXPECT_EQ(item.userId(), "");
    EXPECT_EQ(item.scrambledPassword(), "");
    EXPECT_EQ(item.password, "");
    EXPECT_EQ(item.userAgent(), "");
}

class ImportTest : public ::testing::Test
{
protected:
    void SetUp() override { test::useJapanTime(); }

    std::string file(std::string_view name, std::string_view bytes)
    {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }

    test::TempDir dir;
};

} // namespace

TEST(TabTextLines, SplitsLinesAtLfCrAndCrLf)
{
    EXPECT_EQ(linesOf(""), (std::vector<std::string> { "" }));
    EXPECT_EQ(linesOf("a"), (std::vector<std::string> { "a" }));
    EXPECT_EQ(linesOf("a\r\nb\r\n"), (std::vector<std::string> { "a", "b", "" }));
    EXPECT_EQ(linesOf("a\nb\rc\r\nd"), linesOf("a\r\nb\r\nc\r\nd"));
    EXPECT_EQ(linesOf("\r\r\n\n"), (std::vector<std::string> { "", "", "", "" }));
    EXPECT_EQ(linesOf("\n\r"), (std::vector<std::string> { "", "", "" })); // LF CR is two line ends

    const TTabTextLine line("a\t\tb\t");
    ASSERT_EQ(line.count(), 4u);
    EXPECT_EQ(line.column(0), "a");
    EXPECT_EQ(line.column(1), "");
    EXPECT_EQ(line.column(2), "b");
    EXPECT_EQ(line.column(3), "");
    EXPECT_EQ(line.column(4), "");
    EXPECT_EQ(TTabTextLine("").count(), 1u);
    EXPECT_EQ(TTabTextLine(" x ").column(0), " x "); // nothing is trimmed

    const std::string nulText("ab\0cd\tef", 8); // the line only points into its text
    const TTabTextLine withNul(nulText);
    EXPECT_EQ(withNul.column(0).size(), 5u);
    EXPECT_EQ(withNul.text(0), "ab");
    EXPECT_EQ(withNul.text(1), "ef");
}

TEST_F(ImportTest, UriListAddsOneItemPerUrlLine)
{
    TConfig config = configWithParameters(false);
    config.items.append(test::markedItem("existing", "http://existing/"));
    const std::string path = file("list.lst", "http://a/\r\nhttp://b/\tignored\n\thttp://c/\r\rhttp://d/\r\n");
    importUriList(path, config.items, config);

    EXPECT_EQ(checkUris(config.items),
        (std::vector<std::string> { "http://existing/", "http://a/", "http://b/", "http://d/" }));
    const TCheckItem& item = config.items[1];
    EXPECT_EQ(item.title(), config.defaultItem.title()); // "新規アイテム" with the factory default item
    EXPECT_EQ(TConfig().defaultItem.title(), sjis("新規アイテム"));
    EXPECT_EQ(item.lastModified(), "default lm");
    EXPECT_EQ(item.timeout, 90000);
    EXPECT_EQ(item.content, config.defaultItem.content);
    expectNoParameters(item);

    // A default item with its own parameters passes them on.
    TConfig own = configWithParameters(true);
    importUriList(path, own.items, own);
    ASSERT_EQ(own.items.count(), 3u);
    EXPECT_EQ(own.items[0].proxyServer(), "proxy.default");
    EXPECT_EQ(own.items[0].password, "secret");
    EXPECT_TRUE(own.items[0].useAuthentication);
}

TEST_F(ImportTest, TabTextNeedsThreeColumnsAndATitleOrUrl)
{
    TConfig config = configWithParameters(false);
    const std::string text = "a\t\t\n" // title only
                             "only\ttwo\n" // too few columns
                             "\t\tview\n" // neither title nor URL
                             "\thttp://u/\t\n" // URL only
                             "t\thttp://c/\thttp://v/\tMon, 07 Dec 2026 10:00:00 GMT\t1,024\textra\n"
        + std::string("n\0ul\thttp://n/\0x\tv\r\n", 20);
    importTabText(file("list.txt", text), config.items, config);

    ASSERT_EQ(config.items.count(), 4u);
    EXPECT_EQ(config.items[0].title(), "a");
    EXPECT_EQ(config.items[0].checkUri(), "");
    EXPECT_EQ(config.items[0].viewUri(), "");
    EXPECT_EQ(config.items[0].lastModified(), ""); // fewer than four columns: empty, not the default's
    EXPECT_EQ(config.items[1].title(), "");
    EXPECT_EQ(config.items[1].checkUri(), "http://u/");

    const TCheckItem& full = config.items[2];
    EXPECT_EQ(full.title(), "t");
    EXPECT_EQ(full.checkUri(), "http://c/");
    EXPECT_EQ(full.viewUri(), "http://v/");
    EXPECT_EQ(full.lastModified(), "Mon, 07 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(full.contentLength(), "1,024");
    // The texts are not turned into numbers.
    EXPECT_EQ(full.lastModifiedTime, 77);
    EXPECT_EQ(full.contentLengthValue, 88);
    expectNoParameters(full);

    EXPECT_EQ(config.items[3].title(), "n");
    EXPECT_EQ(config.items[3].checkUri(), "http://n/");
    EXPECT_EQ(config.items[3].viewUri(), "v");
}

TEST_F(ImportTest, TabInsideATitleShiftsTheColumnsOnTheWayBack)
{
    TConfig config;
    TCheckItem item = test::markedItem("left\tright", "http://c/", "http://v/");
    item.lastModified() = "lm";
    item.contentLength() = "12";
    config.items.append(item);
    const std::string path = dir.file("round.txt");
    exportItems(TExchangeFormat::TabText, path, config.items, config);

    TCheckItems back;
    importTabText(path, back, config);
    ASSERT_EQ(back.count(), 1u);
    EXPECT_EQ(back[0].title(), "left");
    EXPECT_EQ(back[0].checkUri(), "right");
    EXPECT_EQ(back[0].viewUri(), "http://c/");
    EXPECT_EQ(back[0].lastModified(), "http://v/");
    EXPECT_EQ(back[0].contentLength(), "lm");
}

TEST_F(ImportTest, UriListAndTabTextInUtf8AreConvertedWithOrWithoutAByteOrderMark)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string encodedUrl = "https://example.jp/%E3%83%9A%E3%83%BC%E3%82%B8?q=%E6%97%A5%E6%9C%AC";
    struct Case
    {
        const char* name;
        TExchangeFormat format;
        std::string text;
        std::vector<std::string> titles;
        std::vector<std::string> checkUris;
    };
    const std::string defaultTitle = TConfig().defaultItem.title();
    const std::string uriList = "https://example.jp/ページ?q=日本\r\nhttp://plain/\r\n";
    const std::string tabText = "新着情報のページ\thttps://example.jp/ページ?q=日本\thttp://v/\t月曜\t１２\r\n"
                                "Café du monde\thttp://cafe/\t\r\n";
    const std::vector<std::string> tabTitles { sjis("新着情報のページ"), "Cafe du monde" };
    const Case cases[] = {
        { "URL list", TExchangeFormat::UriList, uriList, { defaultTitle, defaultTitle },
            { encodedUrl, "http://plain/" } },
        { "URL list with BOM", TExchangeFormat::UriList, bom + uriList, { defaultTitle, defaultTitle },
            { encodedUrl, "http://plain/" } },
        { "TAB text", TExchangeFormat::TabText, tabText, tabTitles, { encodedUrl, "http://cafe/" } },
        { "TAB text with BOM", TExchangeFormat::TabText, bom + tabText, tabTitles, { encodedUrl, "http://cafe/" } },
        // A BOM on ASCII alone still says UTF-8 and is dropped.
        { "ASCII with BOM", TExchangeFormat::TabText, bom + "t\thttp://t/\t", { "t" }, { "http://t/" } },
        // Shift_JIS is taken as its bytes are, as before.
        { "Shift_JIS TAB text", TExchangeFormat::TabText, sjis("表示\thttp://s/ソ\t"), { sjis("表示") },
            { sjis("http://s/ソ") } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TConfig config;
        importItems(c.format, file("utf8.txt", c.text), config.items, config);
        EXPECT_EQ(titles(config.items), c.titles);
        EXPECT_EQ(checkUris(config.items), c.checkUris);
        if (c.format == TExchangeFormat::TabText && c.titles.size() == 2) {
            EXPECT_EQ(config.items[0].viewUri(), "http://v/");
            EXPECT_EQ(config.items[0].lastModified(), sjis("月曜"));
            EXPECT_EQ(config.items[0].contentLength(), sjis("１２"));
        }
    }
}

TEST_F(ImportTest, FileThatCannotBeOpenedLeavesTheListUnchanged)
{
    TConfig config;
    config.items.append(test::markedItem("kept", "http://kept/"));
    const TCheckItems before = config.items;
    for (TExchangeFormat format :
        { TExchangeFormat::UriList, TExchangeFormat::TabText, TExchangeFormat::Xml, TExchangeFormat::Html }) {
        EXPECT_THROW(importItems(format, dir.file("absent"), config.items, config), TException);
        EXPECT_THROW(importItems(format, dir.path(), config.items, config), TException); // a folder
        EXPECT_EQ(config.items.items(), before.items());
    }
    // A cancelled dialog reads nothing.
    EXPECT_FALSE(runImportCommand(TExchangeFormat::Xml, config, [] { return std::string(); }));
    EXPECT_EQ(config.items.items(), before.items());

    EXPECT_TRUE(runImportCommand(TExchangeFormat::UriList, config, [&] { return file("one.lst", "http://new/"); }));
    EXPECT_EQ(checkUris(config.items), (std::vector<std::string> { "http://kept/", "http://new/" }));
}

namespace {

const std::string XmlRules = R"(<?xml version="1.0" encoding="Shift_JIS"?>
<itemlist>
	<head><date>Tue Dec 08 03:32:10 2026</date></head>
	<item check=" on ">
		<title> A&amp;B &lt;x&gt; &quot;q&quot; &foo; &amp </title>
		<check-uri>http://a/</check-uri>
		<view-uri>http://a/view</view-uri>
		<status>update</status>
		<last-check>Tue Dec 08 03:32:10 2026</last-check>
		<request> GET </request>
		<values>
			<response>HTTP/1.0 200 OK</response>
			<last-modified>Sun, 06 Nov 1994 08:49:37 GMT</last-modified>
			<content-length>1,024 bytes</content-length>
			<size>4294967295</size>
			<compare>content</compare>
			<meta-tag><name>robots</name></meta-tag>
		</values>
		<parameters>
			<proxy><server>p.example</server></proxy>
			<authentication><user-id>me</user-id><password>pw</password></authentication>
		</parameters>
	</item>
	<item check="ON"><title>second</title><check-uri /><request>get</request>
		<last-check>Tue Dec 08 03:32:10</last-check>
		<values><compare>Content</compare></values>
		<parameters><authentication><password encode="on">)"
    + scramblePassword("xy") + R"(</password></authentication><http><user-agent>UA</user-agent></http></parameters>
	</item>
	<item><Title>case matters</Title><check-uri>http://skipped/</check-uri></item>
	<item><title /><check-uri/></item>
	<item check='on'><title>line
break	and tab</title><check-uri>http://c/</check-uri>
		<item><title>nested</title><check-uri>http://nested/</check-uri></item>
	</item>
</itemlist>
<!-- <item><title>commented</title><check-uri>x</check-uri></item> -->
<item><title>outside the list</title><check-uri>http://outside/</check-uri></item>
<item><title>never closed</title><check-uri>http://open/</check-uri>
<item><title>after the unclosed one</title><check-uri>http://after/</check-uri></item>
)";

} // namespace

TEST_F(ImportTest, XmlImportFollowsEveryRule)
{
    TConfig config = configWithParameters(true);
    config.defaultItem.status = ItemStatus::Error;
    importXmlFile(file("rules.xml", XmlRules), config.items, config);

    EXPECT_EQ(titles(config.items),
        (std::vector<std::string> { "A&B <x> \"q\" &foo; &amp", "second", "", "line break and tab", "outside the list",
            "after the unclosed one" }));

    const TCheckItem& a = config.items[0];
    EXPECT_EQ(a.status, ItemStatus::Initial); // the status element is not read
    EXPECT_TRUE(a.check);
    EXPECT_EQ(a.checkUri(), "http://a/");
    EXPECT_EQ(a.viewUri(), "http://a/view");
    EXPECT_EQ(a.lastCheck(), test::ExportDate);
    EXPECT_EQ(a.lastCheckTime, test::ExportMoment);
    EXPECT_TRUE(a.useGet);
    EXPECT_EQ(a.response(), "HTTP/1.0 200 OK");
    EXPECT_TRUE(a.compareLastModified);
    EXPECT_EQ(a.lastModified(), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(a.lastModifiedTime, 784111777 - 9 * 3600);
    EXPECT_TRUE(a.compareContentLength);
    EXPECT_EQ(a.contentLength(), "1,024 bytes");
    EXPECT_EQ(a.contentLengthValue, 1024);
    EXPECT_TRUE(a.compareSize);
    EXPECT_EQ(a.bodySize, -1);
    EXPECT_TRUE(a.compareContent);
    EXPECT_TRUE(a.compareMetaTag);
    EXPECT_EQ(a.metaTagName(), "robots");
    EXPECT_EQ(a.metaTagValue(), "");
    EXPECT_TRUE(a.ownParameters);
    EXPECT_TRUE(a.useProxy);
    EXPECT_EQ(a.proxyServer(), "p.example");
    EXPECT_EQ(a.proxyPort(), "");
    EXPECT_TRUE(a.useAuthentication);
    EXPECT_EQ(a.userId(), "me");
    EXPECT_EQ(a.password, "pw"); // without encode="on" the text is the plain password
    EXPECT_EQ(a.scrambledPassword(), scramblePassword("pw"));
    EXPECT_EQ(a.userAgent(), ""); // no http element
    // Not carried by the format: from the default item.
    EXPECT_EQ(a.timeout, 90000);
    EXPECT_TRUE(a.getTitle);
    EXPECT_EQ(a.content, config.defaultItem.content);

    const TCheckItem& b = config.items[1];
    EXPECT_FALSE(b.check); // "ON" is not "on"
    EXPECT_EQ(b.checkUri(), "");
    EXPECT_FALSE(b.useGet); // "get" is not "GET"
    EXPECT_EQ(b.lastCheckTime, 99); // a short last-check text keeps the default item's time
    EXPECT_EQ(b.response(), "");
    EXPECT_FALSE(b.compareLastModified);
    EXPECT_EQ(b.lastModified(), "default lm"); // an absent comparison keeps the default item's values
    EXPECT_EQ(b.lastModifiedTime, 77);
    EXPECT_FALSE(b.compareContentLength);
    EXPECT_EQ(b.contentLengthValue, 88);
    EXPECT_FALSE(b.compareContent);
    EXPECT_TRUE(b.ownParameters);
    EXPECT_FALSE(b.useProxy);
    EXPECT_EQ(b.proxyServer(), "proxy.default"); // an absent group keeps the default item's texts
    EXPECT_EQ(b.scrambledPassword(), scramblePassword("xy"));
    EXPECT_EQ(b.password, "xy");
    EXPECT_EQ(b.userId(), "");
    EXPECT_EQ(b.userAgent(), "UA");

    const TCheckItem& empty = config.items[2];
    EXPECT_FALSE(empty.check); // no check attribute
    EXPECT_EQ(empty.checkUri(), "");
    EXPECT_FALSE(empty.ownParameters);
    expectNoParameters(empty); // no parameters element: none, whatever the default item has
    EXPECT_FALSE(empty.compareLastModified);

    EXPECT_TRUE(config.items[3].check);
    EXPECT_EQ(config.items[3].checkUri(), "http://c/");
    EXPECT_EQ(config.items[5].checkUri(), "http://after/");
}

TEST_F(ImportTest, XmlInAnyOfTheThreeCodesGivesTheSameTitles)
{
    // Whatever the declaration says. (Half-width katakana are left out: in EUC-JP their prefix byte reads as
    // Shift_JIS, and ISO-2022-JP has no form for them.)
    const std::string utf8
        = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<itemlist>"
          "<item><title>漢字のタイトル 表示</title><check-uri>http://j/</check-uri></item>"
          "<item><title>ソフト&amp;ポート</title><check-uri>http://k/</check-uri></item></itemlist>\r\n";
    const std::vector<std::string> expected { sjis("漢字のタイトル 表示"), sjis("ソフト&ポート") };
    for (const char* code : { "CP932", "EUC-JP", "ISO-2022-JP" }) {
        SCOPED_TRACE(code);
        TCheckItems items;
        importXmlFile(file("codes.xml", test::encodeAs(code, utf8)), items, TConfig());
        EXPECT_EQ(titles(items), expected);
    }
}

TEST_F(ImportTest, XmlInUtf8GivesTitlesAsAUserReadsThem)
{
    const std::string items = "<itemlist>"
                              "<item><title>新着情報のページ</title><check-uri>http://j/</check-uri></item>"
                              "<item><title>Café du monde &amp; ソフト</title><check-uri>http://c/</check-uri>"
                              "<values><meta-tag><name>版</name><value>３</value></meta-tag></values></item>"
                              "</itemlist>\r\n";
    const std::vector<std::string> expected { sjis("新着情報のページ"), sjis("Cafe du monde & ソフト") };
    for (const std::string declaration :
        { "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", "", "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n" }) {
        SCOPED_TRACE(declaration);
        TCheckItems imported;
        importXmlFile(file("utf8.xml", declaration + items), imported, TConfig());
        EXPECT_EQ(titles(imported), expected);
        ASSERT_EQ(imported.count(), 2u);
        EXPECT_EQ(imported[1].metaTagName(), sjis("版"));
        EXPECT_EQ(imported[1].metaTagValue(), sjis("３"));
    }
}

TEST_F(ImportTest, XmlRoundTripKeepsEveryCarriedField)
{
    TConfig config;
    config.defaultItem.timeout = 120000;
    std::vector<TCheckItem> originals;
    for (int i = 0; i < 5; ++i) {
        TCheckItem item = test::markedItem("A&B <x> \"" + test::SjisTrail5C + test::SjisTrail7C + std::to_string(i),
            "http://example.com/?q=" + std::to_string(i) + "&r=1", i % 2 ? "" : "http://view/");
        item.status = static_cast<ItemStatus>(i % 4);
        item.check = i % 2;
        item.useGet = i % 3 == 0;
        item.lastCheck() = test::ExportDate;
        item.lastCheckTime = test::ExportMoment;
        item.response() = "HTTP/1.0 200 OK";
        item.compareLastModified = i != 1;
        item.lastModified() = "Sun, 06 Nov 1994 08:49:37 GMT";
        item.lastModifiedTime = 784111777 - 9 * 3600;
        item.compareContentLength = i != 2;
        item.contentLength() = std::to_string(100 * i);
        item.contentLengthValue = 100 * i;
        item.compareSize = i >= 2;
        item.bodySize = i == 4 ? -5 : 4000 + i;
        item.compareContent = i == 3;
        item.compareMetaTag = i >= 3;
        item.metaTagName() = "robots";
        item.metaTagValue() = "noindex";
        item.ownParameters = i >= 1;
        item.useProxy = i >= 2;
        item.proxyServer() = "proxy";
        item.proxyPort() = "8080";
        item.useAuthentication = i >= 3;
        item.userId() = "user" + std::to_string(i);
        item.setPassword(i == 4 ? "" : "p&ss<" + std::to_string(i));
        item.userAgent() = "Agent/" + std::to_string(i);
        if (!item.ownParameters) {
            item.useProxy = item.useAuthentication = 0;
            item.proxyServer().clear();
            item.proxyPort().clear();
            item.userId().clear();
            item.setPassword("");
            item.userAgent().clear();
        }
        if (!item.useProxy) {
            item.proxyServer().clear();
            item.proxyPort().clear();
        }
        if (!item.useAuthentication) {
            item.userId().clear();
            item.setPassword("");
        }
        // Watch settings travel, with an unknown key and an unreadable line; the list's own keys do not.
        if (i % 2 == 0) {
            item.extensionText() = "etag=\"x\"\ncompareText=1\nregion=div.a > p:not(.ad)\nignore=^\\d+ "
                + test::SjisTrail5C + "\\n\nfailures=2\nfuture=\t<&>  \n not a line ";
        }
        originals.push_back(item);
        config.items.append(item);
    }
    const std::string path = dir.file("round.xml");
    exportXmlFile(path, config.items, config, test::ExportMoment);

    TCheckItems back;
    importXmlFile(path, back, config);
    ASSERT_EQ(back.count(), originals.size());
    for (size_t i = 0; i < originals.size(); ++i) {
        SCOPED_TRACE(i);
        TCheckItem want = originals[i];
        want.status = ItemStatus::Initial;
        want.timeout = 120000;
        want.exportMark = 0;
        want.extensionText()
            = TItemExtension(want.extensionText()).without({ ExtKey::Id, ExtKey::Etag, ExtKey::Failures }).text();
        want.setExtension(ExtKey::Id, back[i].id());
        EXPECT_EQ(back[i].id().size(), 32u);
        // What an absent comparison leaves is the default item's.
        if (!want.compareLastModified) {
            want.lastModified().clear();
            want.lastModifiedTime = 0;
        }
        if (!want.compareContentLength) {
            want.contentLength().clear();
            want.contentLengthValue = 0;
        }
        if (!want.compareSize)
            want.bodySize = 0;
        if (!want.compareMetaTag) {
            want.metaTagName().clear();
            want.metaTagValue().clear();
        }
        EXPECT_EQ(back[i].title(), want.title());
        EXPECT_EQ(back[i].password, want.password);
        EXPECT_EQ(back[i], want);
    }
}

TEST_F(ImportTest, HtmlImportTakesEveryLinkWithAnHref)
{
    TConfig config = configWithParameters(false);
    const std::string page = sjis("<html><body>"
                                  "<a href=\"http://one/\">最初 &amp; 一番</a>"
                                  "<A NAME=\"anchor\">no href</A>"
                                  "<a href=\"two.html\" title=\"ignored\">二番目</a>"
                                  "<a>nothing</a>"
                                  "<a href=\"http://three/\" title=\"題名\"><img src=\"x.png\"></a>"
                                  "</body></html>");
    importHtmlLinks(file("links.html", page), config.items, config);

    EXPECT_EQ(titles(config.items), (std::vector<std::string> { sjis("最初 & 一番"), sjis("二番目"), sjis("題名") }));
    EXPECT_EQ(checkUris(config.items), (std::vector<std::string> { "http://one/", "two.html", "http://three/" }));
    for (const TCheckItem& item : config.items) {
        expectNoParameters(item);
        EXPECT_EQ(item.lastModified(), "default lm");
    }

    // The same page in EUC-JP gives the same items.
    TCheckItems euc;
    importHtmlLinks(
        file("links-euc.html",
            test::encodeAs("EUC-JP", "<a href=\"http://one/\">最初 &amp; 一番</a><a href=\"two.html\">二番目</a>")),
        euc, config);
    EXPECT_EQ(titles(euc), (std::vector<std::string> { sjis("最初 & 一番"), sjis("二番目") }));

    TCheckItems none;
    importHtmlLinks(file("plain.html", "<p>no links</p>"), none, config);
    EXPECT_TRUE(none.empty());
}

TEST_F(ImportTest, BookmarksExportedInUtf8GiveTitlesAsABrowserShowsThem)
{
    const std::string bookmarks
        = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
          "<!-- This is an automatically generated file.\n     It will be read and overwritten.\n"
          "     DO NOT EDIT! -->\n"
          "%LABEL%<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"
          "    <DT><H3 ADD_DATE=\"1765000000\" LAST_MODIFIED=\"1765000000\">ブックマーク バー</H3>\n    <DL><p>\n"
          "        <DT><A HREF=\"https://example.jp/news/\" ADD_DATE=\"1765000000\">新着情報のページ</A>\n"
          "        <DT><A HREF=\"https://cafe.example/\" ADD_DATE=\"1765000000\" ICON=\"data:image/png;base64,iVBO\">"
          "Café du monde</A>\n"
          "        <DT><A HREF=\"https://ja.wikipedia.org/wiki/日本\">日本 &mdash; Wikipedia</A>\n"
          "    </DL><p>\n</DL><p>\n";
    const std::vector<std::string> expectedTitles { sjis("新着情報のページ"), "Cafe du monde",
        sjis("日本 ― Wikipedia") };
    const std::vector<std::string> expectedUris { "https://example.jp/news/", "https://cafe.example/",
        "https://ja.wikipedia.org/wiki/%E6%97%A5%E6%9C%AC" };
    const char* const labels[] = { "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n",
        "<meta charset=\"utf-8\">\n", "" };
    for (const std::string label : labels) {
        SCOPED_TRACE(label);
        std::string page = bookmarks;
        page.replace(page.find("%LABEL%"), 7, label);
        TCheckItems imported;
        importHtmlLinks(file("bookmarks.html", page), imported, TConfig());
        EXPECT_EQ(titles(imported), expectedTitles);
        EXPECT_EQ(checkUris(imported), expectedUris);
    }
}
