#include "base/exception.h"
#include "exchange/exchange_commands.h"
#include "exchange/html_exporter.h"
#include "exchange/text_exporter.h"
#include "exchange/xml_exporter.h"

#include "exchange_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using test::crlf;
using test::sjis;

class ExportTest : public ::testing::Test
{
protected:
    void SetUp() override { test::useJapanTime(); }
    test::TempDir dir;
};

// An item with every switch on and values that need escaping.
TCheckItem fullItem()
{
    TCheckItem item = test::markedItem("A&B <x> \"q\"" + test::SjisTrail5C + test::SjisTrail7C,
        "http://example.com/?a=1&b=2", "http://example.com/view");
    item.status = ItemStatus::Update;
    item.lastCheck() = test::ExportDate;
    item.useGet = 1;
    item.response() = "HTTP/1.0 200 OK";
    item.lastModified() = "Mon, 07 Dec 2026 10:00:00 GMT";
    item.contentLength() = "1024";
    item.compareSize = 1;
    item.bodySize = -1;
    item.compareContent = 1;
    item.compareMetaTag = 1;
    item.metaTagName() = "robots";
    item.metaTagValue() = "line1\r\nline2";
    item.ownParameters = 1;
    item.useProxy = 1;
    item.proxyServer() = "proxy.local";
    item.proxyPort() = "8080";
    item.useAuthentication = 1;
    item.userId() = "me";
    item.setPassword("pw");
    item.userAgent() = std::string("Agent\0X", 7);
    return item;
}

// Every comparison off, no own parameters (their switches on, which must not matter), nothing filled in.
TCheckItem bareItem()
{
    TCheckItem item = test::markedItem("", "");
    item.check = 0;
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.useProxy = 1;
    item.useAuthentication = 1;
    item.proxyServer() = "unused";
    return item;
}

const std::string XmlHead = crlf({ "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "<itemlist>", "\t<head>",
    "\t\t<date>Tue Dec 08 03:32:10 2026</date>", "\t</head>" });

} // namespace

TEST_F(ExportTest, XmlWritesEveryGroupByItsSwitch)
{
    TCheckItems items;
    items.append(fullItem());
    items.append(bareItem());

    TCheckItem third = test::markedItem("t3", "u3");
    third.status = ItemStatus::Normal;
    third.compareContentLength = 0;
    third.compareMetaTag = 1;
    third.ownParameters = 1;
    third.useAuthentication = 1;
    items.append(third);

    TCheckItem fourth = test::markedItem("t4", "u4");
    fourth.status = ItemStatus::Error;
    fourth.compareLastModified = 0;
    fourth.compareContentLength = 0;
    fourth.compareSize = 1;
    items.append(fourth);

    TCheckItem unknown = test::markedItem("t5", "u5");
    unknown.status = static_cast<ItemStatus>(9);
    unknown.compareLastModified = 0;
    unknown.compareContentLength = 0;
    items.append(unknown);

    TCheckItem unmarked = test::markedItem("not written", "x");
    unmarked.exportMark = 0;
    items.append(unmarked);

    const std::string path = dir.file("list.xml");
    exportXmlFile(path, items, TConfig(), test::ExportMoment);

    const std::string scrambled = scramblePassword("pw");
    ASSERT_EQ(scrambled.size(), 4u);
    const std::string expected = XmlHead
        + crlf({
            "\t<item check=\"on\">",
            "\t\t<title>A&amp;B &lt;x&gt; &quot;q&quot;" + test::SjisTrail5C + test::SjisTrail7C + "</title>",
            "\t\t<check-uri>http://example.com/?a=1&amp;b=2</check-uri>",
            "\t\t<view-uri>http://example.com/view</view-uri>",
            "\t\t<status>update</status>",
            "\t\t<last-check>Tue Dec 08 03:32:10 2026</last-check>",
            "\t\t<request>GET</request>",
            "\t\t<values>",
            "\t\t\t<response>HTTP/1.0 200 OK</response>",
            "\t\t\t<last-modified>Mon, 07 Dec 2026 10:00:00 GMT</last-modified>",
            "\t\t\t<content-length>1024</content-length>",
            "\t\t\t<size>4294967295</size>",
            "\t\t\t<compare>content</compare>",
            "\t\t\t<meta-tag>",
            "\t\t\t\t<name>robots</name>",
            "\t\t\t\t<value>line1", // the line break inside the value is written as it is
            "line2</value>",
            "\t\t\t</meta-tag>",
            "\t\t</values>",
            "\t\t<parameters>",
            "\t\t\t<proxy>",
            "\t\t\t\t<server>proxy.local</server>",
            "\t\t\t\t<port>8080</port>",
            "\t\t\t</proxy>",
            "\t\t\t<authentication>",
            "\t\t\t\t<user-id>me</user-id>",
            "\t\t\t\t<password encode=\"on\">" + scrambled + "</password>",
            "\t\t\t</authentication>",
            "\t\t\t<http>",
            "\t\t\t\t<user-agent>Agent X</user-agent>",
            "\t\t\t</http>",
            "\t\t</parameters>",
            "\t</item>",

            "\t<item check=\"off\">",
            "\t\t<title />",
            "\t\t<check-uri />",
            "\t\t<status />",
            "\t\t<last-check />",
            "\t\t<request>HEAD</request>",
            "\t\t<values>",
            "\t\t\t<response />",
            "\t\t</values>",
            "\t</item>",

            "\t<item check=\"on\">",
            "\t\t<title>t3</title>",
            "\t\t<check-uri>u3</check-uri>",
            "\t\t<status>normal</status>",
            "\t\t<last-check />",
            "\t\t<request>HEAD</request>",
            "\t\t<values>",
            "\t\t\t<response />",
            "\t\t\t<last-modified />",
            "\t\t\t<meta-tag>",
            "\t\t\t\t<name />",
            "\t\t\t\t<value />",
            "\t\t\t</meta-tag>",
            "\t\t</values>",
            "\t\t<parameters>",
            "\t\t\t<authentication>",
            "\t\t\t\t<user-id />",
            "\t\t\t\t<password encode=\"on\" />",
            "\t\t\t</authentication>",
            "\t\t\t<http>",
            "\t\t\t\t<user-agent />",
            "\t\t\t</http>",
            "\t\t</parameters>",
            "\t</item>",

            "\t<item check=\"on\">",
            "\t\t<title>t4</title>",
            "\t\t<check-uri>u4</check-uri>",
            "\t\t<status>error</status>",
            "\t\t<last-check />",
            "\t\t<request>HEAD</request>",
            "\t\t<values>",
            "\t\t\t<response />",
            "\t\t\t<size>0</size>",
            "\t\t</values>",
            "\t</item>",

            "\t<item check=\"on\">",
            "\t\t<title>t5</title>",
            "\t\t<check-uri>u5</check-uri>",
            "\t\t<status />",
            "\t\t<last-check />",
            "\t\t<request>HEAD</request>",
            "\t\t<values>",
            "\t\t\t<response />",
            "\t\t</values>",
            "\t</item>",
            "</itemlist>",
        });
    EXPECT_EQ(test::readFile(path), expected);
}

TEST(XmlExport, EscapesOnlyRealAsciiCharacters)
{
    EXPECT_EQ(escapeXmlValue(std::string("a&b<c>d\"e\0f\tg", 13)), "a&amp;b&lt;c&gt;d&quot;e f\tg");
    // The second byte of these characters must never be read as an ASCII character; nor must stray bytes.
    const std::string japanese = test::SjisTrail5C + test::SjisTrail5C2 + test::SjisTrail7C + "\x82\xa0\xb1\xff";
    EXPECT_EQ(escapeXmlValue(japanese + "&"), japanese + "&amp;");
    // 0x26 cannot follow a lead byte, so after one it is an ampersand of its own.
    EXPECT_EQ(escapeXmlValue("\x81&"), "\x81&amp;");
    EXPECT_EQ(escapeXmlValue(""), "");
}

TEST_F(ExportTest, UriListTakesCheckOrViewUrlByTheOption)
{
    TCheckItems items;
    items.append(test::markedItem("a", "http://a/check", "http://a/view"));
    items.append(test::markedItem("b", "http://b/check"));
    TCheckItem unmarked = test::markedItem("c", "http://c/");
    unmarked.exportMark = 0;
    items.append(unmarked);
    items.append(test::markedItem("d", "", ""));

    TConfig config;
    config.exportCheckUri = 1;
    const std::string path = dir.file("list.lst");
    exportUriList(path, items, config);
    EXPECT_EQ(test::readFile(path), crlf({ "http://a/check", "http://b/check", "" }));

    config.exportCheckUri = 0;
    exportUriList(path, items, config);
    EXPECT_EQ(test::readFile(path), crlf({ "http://a/view", "http://b/check", "" }));
}

TEST_F(ExportTest, TabTextWritesTextsAsTheyAreHeld)
{
    TCheckItems items;
    TCheckItem item = test::markedItem("ti\ttle" + test::SjisTrail5C, "http://c/", "http://v/");
    item.lastModified() = "Mon, 07 Dec 2026 10:00:00 GMT";
    item.contentLength() = "12";
    items.append(item);
    TCheckItem odd = test::markedItem(std::string("a\r\nb&<\0", 7), "");
    items.append(odd);

    const std::string path = dir.file("list.txt");
    exportTabText(path, items, TConfig());
    EXPECT_EQ(test::readFile(path),
        "ti\ttle" + test::SjisTrail5C + "\thttp://c/\thttp://v/\tMon, 07 Dec 2026 10:00:00 GMT\t12\r\n"
            + std::string("a\r\nb&<\0\t\t\t\t\r\n", 13));
}

namespace {

std::string htmlPage(const std::string& rows)
{
    // clang-format off
    return crlf({
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
        "<html lang=\"ja\">",
        "<head>",
        "\t<meta http-equiv=\"Content-Type\" content=\"text/html;charset=Shift_JIS\">",
        "\t<meta http-equiv=\"Content-Style-Type\" content=\"text/css\">",
        "\t<meta name=\"Description\" content=\"URL List\">",
        "\t<meta name=\"Author\" content=\"Korvane\">",
        "\t<meta name=\"Generator\" content=\"Vantrel\">",
        "\t<link rel=\"contents\" href=\"http://home.example/\">",
        "\t<link rev=\"made\" href=\"mailto:me@example.org\">",
        "\t<title>URL List - Vantrel -</title>",
        "\t<style type=\"text/css\"><!--",
        "\t\tbody {", "\t\t\tfont-size:100% ;", "\t\t\tfont-weight:normal ;", "\t\t\tfont-style:normal ;",
        "\t\t\tcolor:#000000 ;", "\t\t\tbackground-color:#cccccc ;", "\t\t\tmargin:0 0 0 0 ;",
        "\t\t\tpadding:0 0 0 0 ;", "\t\t}",
        "\t\tdiv.header {", "\t\t\ttext-align:right ;", "\t\t\tfont-size:80% ;",
        "\t\t\tborder-bottom:1px solid #999999 ;", "\t\t\tmargin:8px 8px 8px 8px ;",
        "\t\t\tpadding:8px 8px 8px 8px ;", "\t\t}",
        "\t\tdiv.footer {", "\t\t\ttext-align:right ;", "\t\t\tfont-size:80% ;",
        "\t\t\tborder-top:1px solid #999999 ;", "\t\t\tmargin:8px 8px 8px 8px ;",
        "\t\t\tpadding:8px 8px 8px 8px ;", "\t\t}",
        "\t\ttable {", "\t\t\tbackground-color:#cccccc ;", "\t\t\tborder-top:1px solid #ffffff ;",
        "\t\t\tborder-left:1px solid #ffffff ;", "\t\t\tborder-bottom:1px solid #999999 ;",
        "\t\t\tborder-right:1px solid #999999 ;", "\t\t}",
        "\t\tth {", "\t\t\ttext-align:center ;", "\t\t\tfont-weight:bold ;", "\t\t\tfont-style:normal ;",
        "\t\t\tcolor:#cc0000 ;", "\t\t\tbackground-color:#cccccc ;", "\t\t\tborder-top:1px solid #ffffff ;",
        "\t\t\tborder-left:1px solid #ffffff ;", "\t\t\tborder-bottom:1px solid #999999 ;",
        "\t\t\tborder-right:1px solid #999999 ;", "\t\t\tpadding:2px 4px 2px 4px ;", "\t\t}",
        "\t\ttd {", "\t\t\ttext-align:left ;", "\t\t\tfont-size:80% ;", "\t\t\tfont-weight:normal ;",
        "\t\t\tfont-style:normal ;", "\t\t\tcolor:#000000 ;", "\t\t\tbackground-color:#ffffff ;",
        "\t\t\tborder-top:1px solid #999999 ;", "\t\t\tborder-left:1px solid #999999 ;",
        "\t\t\tborder-bottom:1px solid #ffffff ;", "\t\t\tborder-right:1px solid #ffffff ;",
        "\t\t\tpadding:2px 4px 2px 4px ;", "\t\t}",
        "\t\ta {", "\t\t\ttext-decoration:none ;", "\t\t\tfont-weight:normal ;", "\t\t\tfont-style:normal ;",
        "\t\t\tcolor:#0000ff ;", "\t\t}",
        "\t\ta::link {", "\t\t\ttext-decoration:none ;", "\t\t\tcolor:#0000ff ;", "\t\t}",
        "\t\ta::visited {", "\t\t\ttext-decoration:none ;", "\t\t\tcolor:#000099 ;", "\t\t}",
        "\t\ta::active {", "\t\t\ttext-decoration:underline ;", "\t\t\tcolor:#0000ff ;", "\t\t}",
        "\t\ta::hover {", "\t\t\ttext-decoration:underline ;", "\t\t\tcolor:#0000ff ;", "\t\t}",
        "\t\tspan.statusUP {", "\t\t\tfont-weight:bold ;", "\t\t\tcolor:#0000cc ;", "\t\t}",
        "\t\tspan.statusERR {", "\t\t\tfont-weight:bold ;", "\t\t\tcolor:#ff0000 ;", "\t\t}",
        "\t\tspan.disable {", "\t\t\ttext-decoration:line-through ;", "\t\t\tcolor:#cccccc ;", "\t\t}",
        "\t--></style>",
        "</head>",
        "<body>",
        "<div class=\"header\">",
        "Vantrel<br>",
        "<span style=\"font-style:italic;color:#0000ff;\">Tue Dec 08 03:32:10 2026</span><br>",
        "</div>",
        "<table summary=\"URL List\" align=\"center\" cellspacing=\"4\" cellpadding=\"0\" border=\"2\">",
        "\t<tr>",
        "\t\t<th abbr=\"status\">" + sjis("更新") + "<br></th>",
        "\t\t<th abbr=\"title\">" + sjis("タイトル") + "<br></th>",
        "\t\t<th abbr=\"URL\">URL<br></th>",
        "\t\t<th abbr=\"Last-Modified\">Last-Modified<br></th>",
        "\t</tr>",
    }) + rows + crlf({
        "</table>",
        "<div class=\"footer\">",
        "<a href=\"http://home.example/\" style=\"color:#ff0000;\">Korvane</a><br>",
        "<address>me@example.org</address>",
        "</div>",
        "</body>",
        "</html>",
    });
    // clang-format on
}

TConfig htmlConfig()
{
    TConfig config;
    config.homePageUri() = "http://home.example/";
    config.contactAddress() = "me@example.org";
    return config;
}

} // namespace

TEST_F(ExportTest, HtmlWritesHeadStyleRowsAndFoot)
{
    TCheckItems items;
    TCheckItem updated = test::markedItem("A B&<>\"" + sjis("表"), "http://x/a b", "http://x/v");
    updated.status = ItemStatus::Update;
    updated.lastModified() = "Mon, 07 Dec 2026 10:00:00 GMT";
    items.append(updated);

    TCheckItem failed = test::markedItem("", "", "");
    failed.status = ItemStatus::Error;
    items.append(failed);

    TCheckItem initial = test::markedItem("t", "u", "");
    initial.lastModified() = "<b>&"; // from a server: it must not become markup
    items.append(initial);

    TCheckItem normal = test::markedItem(std::string("a\0b", 3) + test::SjisTrail7C, "u", "v");
    normal.status = ItemStatus::Normal;
    items.append(normal);

    TCheckItem unmarked = test::markedItem("hidden", "h");
    unmarked.exportMark = 0;
    items.append(unmarked);

    const std::string path = dir.file("list.html");
    exportHtmlFile(path, items, htmlConfig(), test::ExportMoment);

    const std::string check = sjis("確認");
    const std::string view = sjis("表示");
    const std::string rows = crlf({
        "\t<tr>",
        "\t\t<td><span class=\"statusUP\">UP</span><br></td>",
        "\t\t<td><a href=\"http://x/a&nbsp;b\">A&nbsp;B&amp;&lt;&gt;&quot;" + sjis("表") + "</a><br></td>",
        "\t\t<td><a href=\"http://x/a&nbsp;b\">" + check + "</a>/<a href=\"http://x/v\">" + view + "</a><br></td>",
        "\t\t<td>Mon, 07 Dec 2026 10:00:00 GMT<br></td>",
        "\t</tr>",
        "\t<tr>",
        "\t\t<td><span class=\"statusERR\">ERR</span><br></td>",
        "\t\t<td><span class=\"disable\">" + sjis("無題") + "</span><br></td>",
        "\t\t<td><span class=\"disable\">" + check + "</span>/<span class=\"disable\">" + view + "</span><br></td>",
        "\t\t<td><br></td>",
        "\t</tr>",
        "\t<tr>",
        "\t\t<td>-<br></td>",
        "\t\t<td><a href=\"u\">t</a><br></td>",
        "\t\t<td><a href=\"u\">" + check + "</a>/<span class=\"disable\">" + view + "</span><br></td>",
        "\t\t<td>&lt;b&gt;&amp;<br></td>",
        "\t</tr>",
        "\t<tr>",
        "\t\t<td>-<br></td>",
        "\t\t<td><a href=\"u\">a&nbsp;b" + test::SjisTrail7C + "</a><br></td>",
        "\t\t<td><a href=\"u\">" + check + "</a>/<a href=\"v\">" + view + "</a><br></td>",
        "\t\t<td><br></td>",
        "\t</tr>",
    });
    EXPECT_EQ(test::readFile(path), htmlPage(rows));
}

TEST_F(ExportTest, HtmlWritesLinksThatRunScriptAsText)
{
    struct TCase
    {
        const char* check;
        const char* view;
        std::string row; // the title and URL cells
    };
    const std::string check = sjis("確認");
    const std::string view = sjis("表示");
    // clang-format off
    const TCase cases[] = {
        { "javascript:alert(1)", "http://x/v",
          "\t\t<td>t<br></td>\r\n\t\t<td>javascript:alert(1)/<a href=\"http://x/v\">" + view + "</a><br></td>\r\n" },
        { "http://x/a?b=1&c", "data:text/html,<script>",
          "\t\t<td><a href=\"http://x/a?b=1&amp;c\">t</a><br></td>\r\n\t\t<td><a href=\"http://x/a?b=1&amp;c\">"
              + check + "</a>/data:text/html,&lt;script&gt;<br></td>\r\n" },
        { " Java\tScript:x", "HTTPS://x/", // a browser drops the space and the tab
          "\t\t<td>t<br></td>\r\n\t\t<td>&nbsp;Java\tScript:x/<a href=\"HTTPS://x/\">" + view + "</a><br></td>\r\n" },
        { "ftp://x/f", "x/y:z",
          "\t\t<td><a href=\"ftp://x/f\">t</a><br></td>\r\n\t\t<td><a href=\"ftp://x/f\">" + check
              + "</a>/<a href=\"x/y:z\">" + view + "</a><br></td>\r\n" },
    };
    // clang-format on
    for (const TCase& c : cases) {
        TCheckItems items;
        items.append(test::markedItem("t", c.check, c.view));
        const std::string path = dir.file("list.html");
        exportHtmlFile(path, items, htmlConfig(), test::ExportMoment);
        const std::string rows = "\t<tr>\r\n\t\t<td>-<br></td>\r\n" + c.row + "\t\t<td><br></td>\r\n\t</tr>\r\n";
        EXPECT_EQ(test::readFile(path), htmlPage(rows)) << c.check << " " << c.view;
    }
}

TEST_F(ExportTest, ReportIsTheExportedPageInTheSettingsFolder)
{
    TConfig config = htmlConfig();
    for (int i = 0; i < 3; ++i)
        config.items.append(test::markedItem("item-" + std::to_string(i), "http://h/" + std::to_string(i)));
    config.exportAll = 0;
    const auto second = [](size_t row) { return row != 1; };

    const std::string report = writeListReport(config, second, dir.path(), test::ExportMoment);
    EXPECT_EQ(report, dir.file("vantrel.html"));
    EXPECT_EQ(listReportPath(dir.path() + "/"), report);

    const std::string exported = dir.file("chosen.html");
    EXPECT_TRUE(runExportCommand(
        TExchangeFormat::Html, config, second, [&] { return exported; }, test::ExportMoment));
    const std::string page = test::readFile(report);
    EXPECT_EQ(page, test::readFile(exported));
    EXPECT_NE(page.find("item-0"), std::string::npos);
    EXPECT_EQ(page.find("item-1"), std::string::npos);
    EXPECT_NE(page.find("item-2"), std::string::npos);
    size_t rows = 0;
    for (size_t at = page.find("\t<tr>\r\n"); at != std::string::npos; at = page.find("\t<tr>\r\n", at + 1))
        ++rows;
    EXPECT_EQ(rows, 3u); // the table head and two items

    // A later report replaces the earlier one.
    config.exportAll = 1;
    writeListReport(config, second, dir.path(), test::ExportMoment);
    EXPECT_NE(test::readFile(report).find("item-1"), std::string::npos);
}

TEST_F(ExportTest, NothingMarkedMeansNoDialogAndNoFile)
{
    TConfig config;
    config.items.append(test::markedItem("a", "http://a/"));
    config.items.append(test::markedItem("b", "http://b/"));
    config.exportAll = 0;
    const auto none = [](size_t) { return false; };
    int asked = 0;
    const std::string path = dir.file("out");
    const auto choose = [&] {
        ++asked;
        return path;
    };
    for (TExchangeFormat format :
        { TExchangeFormat::UriList, TExchangeFormat::TabText, TExchangeFormat::Xml, TExchangeFormat::Html })
        EXPECT_FALSE(runExportCommand(format, config, none, choose));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(writeListReport(config, none, dir.path()), "");
    EXPECT_FALSE(test::fileExists(path));
    EXPECT_FALSE(test::fileExists(dir.file("vantrel.html")));

    // A cancelled dialog writes nothing either.
    EXPECT_FALSE(runExportCommand(
        TExchangeFormat::TabText, config, [](size_t row) { return row == 0; },
        [&] {
            ++asked;
            return std::string();
        }));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(test::fileExists(path));

    // Selected rows only, or every row with exportAll on.
    EXPECT_TRUE(runExportCommand(
        TExchangeFormat::UriList, config, [](size_t row) { return row == 1; }, choose));
    EXPECT_EQ(test::readFile(path), "http://b/\r\n");
    config.exportAll = 1;
    EXPECT_TRUE(runExportCommand(TExchangeFormat::UriList, config, none, choose));
    EXPECT_EQ(test::readFile(path), "http://a/\r\nhttp://b/\r\n");
}

TEST_F(ExportTest, DialogsOfTheCommands)
{
    EXPECT_EQ(exportDialog(TExchangeFormat::UriList).title, "エクスポート URIリスト");
    EXPECT_EQ(importDialog(TExchangeFormat::UriList).title, "インポート URIリスト");
    EXPECT_EQ(exportDialog(TExchangeFormat::UriList).filter, "URLリスト (*.lst)|*.lst|全てのファイル (*.*)|*.*");
    EXPECT_EQ(exportDialog(TExchangeFormat::TabText).title, "エクスポート TAB区切りテキスト");
    EXPECT_EQ(importDialog(TExchangeFormat::TabText).title, "インポート TAB区切りテキスト");
    EXPECT_EQ(
        importDialog(TExchangeFormat::TabText).filter, "TAB区切りテキスト (*.txt)|*.txt|全てのファイル (*.*)|*.*");
    EXPECT_EQ(exportDialog(TExchangeFormat::Xml).title, "エクスポート XMLファイル");
    EXPECT_EQ(importDialog(TExchangeFormat::Xml).title, "インポート XMLファイル");
    EXPECT_EQ(exportDialog(TExchangeFormat::Xml).filter, "XMLファイル (*.xml)|*.xml|全てのファイル (*.*)|*.*");
    EXPECT_EQ(exportDialog(TExchangeFormat::Html).title, "エクスポート HTMLファイル");
    EXPECT_EQ(importDialog(TExchangeFormat::Html).title, "インポート HTMLファイル");
    EXPECT_EQ(importDialog(TExchangeFormat::Html).filter,
        "HTMLファイル (*.html;*.htm)|*.html;*.htm|全てのファイル (*.*)|*.*");
    EXPECT_EQ(exportDialog(TExchangeFormat::UriList).defaultExtension, "lst");
    EXPECT_EQ(importDialog(TExchangeFormat::TabText).defaultExtension, "txt");
    EXPECT_EQ(exportDialog(TExchangeFormat::Xml).defaultExtension, "xml");
    EXPECT_EQ(importDialog(TExchangeFormat::Html).defaultExtension, "html");
}

namespace {

// Runs `body` in a child process and gives its exit code, so limits and identities stay there.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST_F(ExportTest, FailedExportKeepsTheEarlierFile)
{
    TConfig config;
    for (int i = 0; i < 200; ++i)
        config.items.append(test::markedItem(std::string(100, 'x'), "http://example.com/" + std::to_string(i)));
    const std::string path = dir.file("old.xml");
    const std::string old = "an earlier export";
    test::writeFile(path, old);

    for (TExchangeFormat format :
        { TExchangeFormat::UriList, TExchangeFormat::TabText, TExchangeFormat::Xml, TExchangeFormat::Html }) {
        const int result = inChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit { 1024, 1024 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            try {
                exportItems(format, path, config.items, config);
            } catch (const TException&) {
                return 0;
            }
            return 1;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(test::readFile(path), old);
    }
    EXPECT_THROW(exportItems(TExchangeFormat::Xml, dir.file("missing/list.xml"), config.items, config), TException);

    // The item list holds scrambled passwords, so a new one is for its owner only.
    exportItems(TExchangeFormat::Xml, dir.file("new.xml"), config.items, config);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(dir.file("new.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
