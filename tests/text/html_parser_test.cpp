#include "text/html_parser.h"

#include "support/japanese_pages.h"
#include "support/temp_dir.h"
#include "text/japanese_code.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace {

using test::hexBytes;

std::string nameOf(const HTMLParser& parser, const TTag& tag)
{
    return std::string(parser.view(tag.name));
}

std::string attributesOf(const HTMLParser& parser, const TTag& tag)
{
    std::string out;
    for (const auto& a : tag.attributes)
        out += "[" + std::string(parser.view(a.name)) + "=" + std::string(parser.view(a.value)) + "]";
    return out;
}

std::string titleOf(std::string_view page)
{
    return readPageFacts(page, true, std::nullopt).title;
}

} // namespace

TEST(HtmlParser, ReadsEachKindOfTag)
{
    struct Case
    {
        std::string text;
        TTag::Kind kind;
        size_t start;
        size_t end;
        const char* name;
    };
    const Case cases[] = {
        { "x<a>y", TTag::Start, 1, 4, "a" },
        { "</Title>", TTag::End, 0, 8, "Title" },
        { "<br/>", TTag::EmptyElement, 0, 5, "br" },
        { "<img src=x />", TTag::EmptyElement, 0, 13, "img" },
        { "<!-- <a> -->z", TTag::Comment, 0, 12, "" },
        { "<!---->", TTag::Comment, 0, 7, "" },
        { "<!DOCTYPE html>", TTag::Declaration, 0, 15, "" },
        { "<!-x>", TTag::Declaration, 0, 5, "" },
        { "<?xml version=\"1.0\"?>", TTag::ProcessingInstruction, 0, 21, "" },
        { "<h1 class=x>", TTag::Start, 0, 12, "h1" },
        { "<x-y:z>", TTag::Start, 0, 7, "x-y:z" },
        { "a < b > c", TTag::None, 2, 7, "" },
        { "<3>", TTag::None, 0, 3, "" },
        { "</>", TTag::None, 0, 3, "" },
        { "<!-- never closed <title>", TTag::None, 0, 25, "" },
        { "<a href=x", TTag::Start, 0, 9, "a" },
        { "no tag here", TTag::None, 11, 11, "" },
        { "text<", TTag::None, 5, 5, "" },
        { "", TTag::None, 0, 0, "" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.text);
        const TTag tag = parser.readTag(0, c.text.size());
        EXPECT_EQ(tag.kind, c.kind) << c.text;
        EXPECT_EQ(tag.start, c.start) << c.text;
        EXPECT_EQ(tag.end, c.end) << c.text;
        EXPECT_EQ(nameOf(parser, tag), c.name) << c.text;
    }
}

TEST(HtmlParser, StaysWithinTheGivenRange)
{
    const std::string text = "<a><b>";
    const HTMLParser parser(text);
    EXPECT_EQ(parser.readTag(1, text.size()).start, 3u);
    const TTag cut = parser.readTag(0, 2);
    EXPECT_EQ(cut.kind, TTag::Start);
    EXPECT_EQ(cut.end, 2u);
    EXPECT_EQ(parser.readTag(0, 1).kind, TTag::None); // a "<" as the last byte of the range
}

TEST(HtmlParser, ReadsAttributesAsWritten)
{
    struct Case
    {
        std::string text;
        const char* attributes;
    };
    const Case cases[] = {
        { "<a href=\"x y\" title='t \"q\"'>", "[href=x y][title=t \"q\"]" },
        { "<a href=x.html title=t>", "[href=x.html][title=t]" },
        { "<input checked name=n>", "[checked=][name=n]" },
        { "<a href = x>", "[href=]" },
        { "<a href= x>", "[href=][x=]" },
        { "<a href =x>", "[href=]" },
        { "<a\thref=x\r\ntitle=y>", "[href=x][title=y]" },
        { "<a href=\"open>", "[href=open]" },
        { "<a title=\"a>b\">", "[title=a]" },
        { "<a data-x:y=1 _bad=2>", "[data-x:y=1]" },
        { "<meta content=x/>", "[content=x/]" },
        { "<a href=''>", "[href=]" },
        { "<a B=1 b=2>", "[B=1][b=2]" },
        { "</a href=x>", "[href=x]" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.text);
        EXPECT_EQ(attributesOf(parser, parser.readTag(0, c.text.size())), c.attributes) << c.text;
    }
}

TEST(HtmlParser, FindsElementsByNameInAnyLetterCase)
{
    struct Case
    {
        std::string text;
        const char* name;
        bool found;
        const char* content;
    };
    const Case cases[] = {
        { "<title>a</title>", "title", true, "a" },
        { "<TITLE>a</TITLE>", "title", true, "a" },
        { "<TiTle>a</tItLE>", "title", true, "a" },
        { "<!-- <title>a</title> -->", "title", false, "" },
        { "<!-- <title>a</title> --><title>b</title>", "title", true, "b" },
        { "<div>1<div>2</div>3</div>", "div", true, "1<div>2</div>3" },
        { "<p>1<p>2</p>", "p", true, "2" },
        { "</x><x>1</x>", "x", true, "1" },
        { "<x/><x>1</x>", "x", true, "" },
        { "<x>1<x/>2</x>", "x", true, "1<x/>2" },
        { "<xy>1</xy><x>2</x>", "x", true, "2" },
        { "<x>never closed", "x", false, "" },
        { "<x>1<!-- </x> -->2</x>", "x", true, "1<!-- </x> -->2" },
        { "<x>1<!-- </x> unterminated", "x", false, "" },
        { "", "x", false, "" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.text);
        const TElement element = parser.findElement(c.name, parser.whole());
        EXPECT_EQ(element.found, c.found) << c.text;
        EXPECT_EQ(parser.view(element.content), c.content) << c.text;
    }

    const std::string text = "ab<X id=1>cd</x>ef";
    const HTMLParser parser(text);
    const TElement element = parser.findElement("x", parser.whole());
    EXPECT_EQ(element.start, 2u);
    EXPECT_EQ(element.end, 16u);
    EXPECT_EQ(element.content, (TRange { 10, 12 }));
    EXPECT_EQ(attributesOf(parser, element.startTag), "[id=1]");
    EXPECT_FALSE(parser.findElement("x", { 3, text.size() }).found);
}

TEST(HtmlParser, ManyUnclosedTagsDoNotHideALaterElement)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "<a>";
    text += "<b>x</b>";
    const HTMLParser parser(text);
    EXPECT_FALSE(parser.findElement("a", parser.whole()).found);
    const TElement b = parser.findElement("b", parser.whole());
    ASSERT_TRUE(b.found);
    EXPECT_EQ(parser.view(b.content), "x");
    text += "</a>";
    const HTMLParser closed(text);
    const TElement last = closed.findElement("a", closed.whole());
    ASSERT_TRUE(last.found);
    EXPECT_EQ(last.start, 3u * 199999);
}

TEST(HtmlParser, DecodesTextFoldingBlanksAndCharacterReferences)
{
    struct Case
    {
        std::string text;
        std::string decoded;
    };
    const Case cases[] = {
        { "  a &amp; b&nbsp; ", " a & b  " },
        { "&lt;b&gt; &quot;q&quot;", "<b> \"q\"" },
        { "&apos;&#39;&#x27;&#X27;&#x0027;&#60;", "'''''<" },
        { "&#32;&#32; &nbsp;&nbsp;", "     " },
        // Unknown, in the wrong case, without ";" or without digits: as written.
        { "&AMP; &Amp; &amp &ampx; &copy &foo; &; &#; &#x; &#12a; &#x1g;",
            "&AMP; &Amp; &amp &ampx; &copy &foo; &; &#; &#x; &#12a; &#x1g;" },
        // No character: a browser shows a replacement mark.
        { "&#0; &#xD800; &#1114112; &#99999999999999999999;", "? ? ? ?" },
        { "a\t\r\n b", "a b" },
        { std::string("a\0\0b", 4), "a b" },
        { "&", "&" },
        { "&&amp;", "&&" },
        { "", "" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.text);
        EXPECT_EQ(parser.decodeText(parser.whole()), c.decoded) << c.text;
    }
}

TEST(HtmlParser, TrimsBlanksAndComparesNamesWithoutCase)
{
    const std::string text = " \t a b \r\n|Meta|mETA|met";
    const HTMLParser parser(text);
    EXPECT_EQ(parser.view(parser.trim({ 0, 9 })), "a b");
    EXPECT_TRUE(parser.trim({ 0, 3 }).empty());
    EXPECT_TRUE(parser.nameEquals({ 10, 14 }, "meta"));
    EXPECT_TRUE(parser.nameEquals({ 10, 14 }, "META"));
    EXPECT_FALSE(parser.nameEquals({ 10, 14 }, "met"));
    EXPECT_TRUE(parser.rangeEquals({ 10, 14 }, { 15, 19 }));
    EXPECT_FALSE(parser.rangeEquals({ 10, 14 }, { 20, 23 }));
    EXPECT_TRUE(equalsIgnoringAsciiCase(hexBytes("c1 41"), hexBytes("c1 61")));
    EXPECT_FALSE(equalsIgnoringAsciiCase(hexBytes("c1"), hexBytes("e1"))); // high bytes are not letters
}

TEST(HtmlParser, TextContentLeavesTagsOut)
{
    struct Case
    {
        std::string text;
        std::string content;
    };
    const Case cases[] = {
        { "a<b>bold</b>c", "aboldc" },
        { "a <b> x</b>", "a  x" },
        { "<img src=x>", "" },
        { "x<!-- hidden -->y", "xy" },
        { "x<!-- never closed <b>y</b>", "x" },
        { "1 &lt; 2", "1 < 2" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.text);
        EXPECT_EQ(parser.textContent(parser.whole()), c.content) << c.text;
    }
}

TEST(HtmlParser, FindsTheTitleInTheHeadOrElseBeforeTheBody)
{
    struct Case
    {
        std::string page;
        std::string title;
    };
    const Case cases[] = {
        { "<html><head><title>T</title></head></html>", "T" },
        { "<HTML><HEAD><TITLE>T</TITLE></HEAD></HTML>", "T" },
        { "<Html><Head><Title>T</Title></Head></Html>", "T" },
        { "<html><head><!-- <title>T</title> --></head></html>", "" },
        { "<html><head><title>  a &amp; b&nbsp; </title></head></html>", " a & b  " },
        // With both elements only the head is searched.
        { "<html><title>T</title><head></head></html>", "" },
        { "<html><head></head><body><title>T</title></body></html>", "" },
        // Without them, or without an end tag, everything before the first body start tag.
        { "<html><head><title>T</title></html>", "T" },
        { "<html><head><title>T</title></head>", "T" },
        { "<head><title>T</title></head>", "T" },
        { "<!DOCTYPE html><meta charset=utf-8><title>T</title><p>text", "T" },
        { "<html><title>T</title><body>x</body></html>", "T" },
        { "<html><body><title>T</title></body>", "" },
        { "<html><BODY/><title>T</title>", "" },
        { "<html><!-- <body> --><title>T</title>", "T" },
        { "<html><!-- <head><title>T</title></head> -->", "" },
        { "<html><head><title>T</title></head></html><!-- ", "T" },
        { "<!-- <html><head><title>T</title></head></html>", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(titleOf(c.page), c.title) << c.page;
    EXPECT_EQ(readPageFacts("<html><head><title>T</title></head></html>", false, std::nullopt).title, "");
}

TEST(HtmlParser, DecodesCharacterReferencesInTitlesToShiftJis)
{
    const std::string title = "&mdash;|&#8212;|&#x2014;|&#151;|&eacute;|&amp;|&foo;|&|&copy|&#x1F600;";
    const std::string dash = hexBytes("81 5c");
    const std::string expected = dash + "|" + dash + "|" + dash + "|" + dash + "|e|&|&foo;|&|&copy|?";
    // In either internal form: EUC-JP for a page in a Japanese code, UTF-8 for a UTF-8 page.
    for (const char* head : { "", "<meta charset=\"utf-8\">" }) {
        SCOPED_TRACE(head);
        EXPECT_EQ(titleOf("<html><head>" + std::string(head) + "<title>" + title + "</title></head></html>"), expected);
    }
}

TEST(HtmlParser, FindsTheNamedMetaTag)
{
    struct Case
    {
        const char* name;
        std::string head;
        std::string wanted;
        bool found;
        std::string value;
    };
    const Case cases[] = {
        { "name first", "<meta name=\"date\" content=\"1\">", "date", true, "1" },
        { "content first", "<meta content='2' name='date'>", "date", true, "2" },
        { "name in other case", "<META NAME=Date CONTENT=3>", "dATE", true, "3" },
        { "empty-element tag", "<meta name=date content=4 />", "date", true, "4" },
        { "end tag counts too", "</meta name=date content=5>", "date", true, "5" },
        { "first marked tag wins", "<meta name=date content=6><meta name=date content=7>", "date", true, "6" },
        { "last content wins", "<meta name=date content=8 content=9>", "date", true, "9" },
        { "no content is empty", "<meta name=date>", "date", true, "" },
        { "other names passed over", "<meta name=x content=1><meta name=date content=2>", "date", true, "2" },
        { "missing", "<meta name=x content=1>", "date", false, "" },
        { "blanks around = hide it", "<meta name = date content=1>", "date", false, "" },
        { "inside a comment", "<!-- <meta name=date content=1> -->", "date", false, "" },
        { "references decoded, blanks kept", "<meta name=date content=\"a&amp;b  c&#x21;\">", "date", true, "a&b  c!" },
    };
    for (const auto& c : cases) {
        const std::string page = "<html><head>" + c.head + "</head></html>";
        const TPageFacts facts = readPageFacts(page, false, c.wanted, "");
        EXPECT_EQ(facts.metaFound, c.found) << c.name;
        EXPECT_EQ(facts.metaValue, c.value) << c.name;
    }
    const TPageFacts noHeadEnd = readPageFacts("<html><head><meta name=d content=1></html>", true, "d", "");
    EXPECT_TRUE(noHeadEnd.metaFound);
    EXPECT_EQ(noHeadEnd.metaValue, "1");
    EXPECT_FALSE(readPageFacts("<body><meta name=d content=1>", false, "d", "").metaFound);
}

TEST(HtmlParser, MetaValueChangedOnlyInLetterCaseIsNoChange)
{
    const std::string ji = hexBytes("83 57"); // ジ
    struct Case
    {
        std::string page; // the value in the page, UTF-8
        std::string value; // what is read, Shift_JIS
        std::string stored;
        bool changed;
    };
    const Case cases[]
        = { { "New Value", "New Value", "New Value", false }, { "New Value", "New Value", "new value", false },
              { "New Value", "New Value", "NEW VALUE", false }, { "New Value", "New Value", "New  Value", true },
              { "New Value", "New Value", "", true }, { "New Value", "New Value", "New Value ", true },
              // ジ and ヘ differ only in the letter case of their Shift_JIS second bytes, "W" and "w".
              { "ジ", ji, ji, false }, { "ジ", ji, hexBytes("83 77"), true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page + " / " + c.stored);
        const std::string page = "<html><head><meta charset=utf-8><meta name=v content=\"" + c.page + "\">";
        const TPageFacts facts = readPageFacts(page, false, "v", c.stored);
        EXPECT_TRUE(facts.metaFound);
        EXPECT_EQ(facts.metaChanged, c.changed);
        EXPECT_EQ(facts.metaValue, c.value);
    }
}

TEST(HtmlParser, SamePageInThreeCodesGivesTheSameTitleAndMetaValue)
{
    for (const test::JapanesePage& p : test::japanesePages()) {
        const TPageFacts facts = readPageFacts(p.body, true, test::MetaNameSjis, test::MetaValueSjis, p.contentType);
        EXPECT_EQ(facts.title, test::PageTitleSjis) << p.code;
        EXPECT_TRUE(facts.metaFound) << p.code;
        EXPECT_EQ(facts.metaValue, test::MetaValueSjis) << p.code;
        EXPECT_FALSE(facts.metaChanged) << p.code;
    }
}

TEST(HtmlParser, ReadsLinksOfAnchorElements)
{
    struct Case
    {
        const char* name;
        std::string html;
        bool link;
        std::string title;
        std::string url;
    };
    const Case cases[] = {
        { "plain", "<a href=\"http://x/\">X page</a>", true, "X page", "http://x/" },
        { "text trimmed, inner tags left out", "<a href=u>  <b>bold</b> text </a>", true, "bold text", "u" },
        { "title attribute when text is empty", "<a href=u title=\"From attribute\"></a>", true, "From attribute",
            "u" },
        { "text wins over title attribute", "<a title=t href=u>text</a>", true, "text", "u" },
        { "no href", "<a name=top>Top</a>", false, "", "" },
        { "empty href", "<a href=\"\">x</a>", false, "", "" },
        { "first href wins", "<a href=one href=two>x</a>", true, "x", "one" },
        { "href trimmed and decoded", "<a href=\" a?b=1&amp;c=2 \">x</a>", true, "x", "a?b=1&c=2" },
        { "relative url kept", "<a href=../p.html>p</a>", true, "p", "../p.html" },
        { "empty-element anchor", "<a href=u title=\"t\"/>", true, "t", "u" },
    };
    for (const auto& c : cases) {
        const HTMLParser parser(c.html);
        const TElement a = parser.findElement("a", parser.whole());
        ASSERT_TRUE(a.found) << c.name;
        const auto link = readLink(parser, a);
        ASSERT_EQ(link.has_value(), c.link) << c.name;
        if (link) {
            EXPECT_EQ(link->title, c.title) << c.name;
            EXPECT_EQ(link->url, c.url) << c.name;
        }
    }
    EXPECT_FALSE(readLink(HTMLParser(""), TElement {}).has_value());
}

TEST(HtmlParser, LinkTextComesBackAsShiftJis)
{
    // "ソフト" in Shift_JIS holds a backslash second byte; the page is scanned in the internal form.
    const std::string titleSjis = hexBytes("83 5c 83 74 83 67");
    const std::string internal = toInternal("<a href=x>" + titleSjis + "</a>");
    const HTMLParser parser(internal);
    const auto link = readLink(parser, parser.findElement("a", parser.whole()));
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->title, titleSjis);
}

namespace {

// The element search written the plain way, one depth scan per start tag, to hold the one-pass search to.
TElement plainFindElement(const HTMLParser& parser, std::string_view name, TRange range)
{
    size_t pos = range.begin;
    while (pos < range.end) {
        const TTag tag = parser.readTag(pos, range.end);
        if (tag.start >= range.end || (tag.kind == TTag::None && tag.end >= range.end))
            break;
        pos = tag.end;
        if (!parser.nameEquals(tag.name, name))
            continue;
        if (tag.kind == TTag::EmptyElement)
            return { true, tag.start, tag.end, { tag.end, tag.end }, tag };
        if (tag.kind != TTag::Start)
            continue;
        int depth = 0;
        size_t inner = tag.end;
        while (inner < range.end) {
            const TTag next = parser.readTag(inner, range.end);
            if (next.start >= range.end || (next.kind == TTag::None && next.end >= range.end))
                break;
            inner = next.end;
            if (!parser.nameEquals(next.name, name))
                continue;
            if (next.kind == TTag::Start)
                ++depth;
            else if (next.kind == TTag::End && depth-- == 0)
                return { true, tag.start, next.end, { tag.end, next.start }, tag };
        }
    }
    return {};
}

} // namespace

TEST(HtmlParser, OnePassSearchAgreesWithAPlainDepthScan)
{
    static const char* const pieces[] = { "<a>", "</a>", "<A x=1>", "</A>", "<a/>", "<b>", "</b>", "x", " ", "<!--",
        "-->", "<!x>", "<", ">", "<a href=\"", "\"" };
    std::mt19937 random(4);
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(0, 30);
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        for (int i = count(random); i > 0; --i)
            text += pieces[pick(random)];
        const HTMLParser parser(text);
        // The loop of the link import: search on after each element found.
        size_t pos = 0;
        for (;;) {
            const TElement expected = plainFindElement(parser, "a", { pos, text.size() });
            const TElement actual = parser.findElement("a", { pos, text.size() });
            ASSERT_EQ(actual.found, expected.found) << text << " from " << pos;
            if (!expected.found)
                break;
            ASSERT_EQ(actual.start, expected.start) << text;
            ASSERT_EQ(actual.end, expected.end) << text;
            ASSERT_EQ(actual.content, expected.content) << text;
            ASSERT_EQ(actual.startTag.attributes.size(), expected.startTag.attributes.size()) << text;
            pos = actual.end;
        }
    }
}

TEST(HtmlParser, LinkLoopOverManyUnclosedAnchorsFindsEveryClosedOne)
{
    std::string text;
    for (int i = 0; i < 50000; ++i)
        text += "<a><a href=u>x</a>";
    const HTMLParser parser(text);
    size_t pos = 0;
    int links = 0;
    for (;;) {
        const TElement a = parser.findElement("a", { pos, text.size() });
        if (!a.found)
            break;
        if (readLink(parser, a))
            ++links;
        pos = a.end;
    }
    EXPECT_EQ(links, 50000);
}
