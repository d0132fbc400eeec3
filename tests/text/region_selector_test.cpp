#include "text/region_selector.h"

#include "base/exception.h"
#include "text/page_text.h"

#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <string>

namespace {

// Each element names itself by its tag and the first text inside it.
const char* const Page = "<!DOCTYPE html><html><head><title>T</title></head><body>"
                         "<div id=main class='box news'><h1>見出し</h1>"
                         "<ul class=list><li>one</li><li class='odd x'>two</li><li>three</li>"
                         "<li lang=en-US>four</li><li>five</li></ul>"
                         "<p data-kind=price-tag>p1 <span>s1</span></p><p title='hello world'>p2</p></div>"
                         "<DIV ID=Side CLASS=Box><P>side</P></DIV><footer><p>foot</p></footer></body></html>";

std::string firstText(const xmlNode* node)
{
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_TEXT_NODE)
            return reinterpret_cast<const char*>(child->content);
        if (std::string text = firstText(child); !text.empty())
            return text;
    }
    return {};
}

std::string labels(const std::vector<xmlNode*>& nodes)
{
    std::string out;
    for (const xmlNode* node : nodes) {
        std::string text = firstText(node);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (!out.empty())
            out += ' ';
        out.append(reinterpret_cast<const char*>(node->name)).append(":").append(text);
    }
    return out;
}

struct TSelection
{
    const char* region;
    const char* expected; // each element by its name and first text
};

const TSelection Selections[] = {
    { "li", "li:one li:two li:three li:four li:five" },
    { "*", "html:T" },
    { "#main", "div:見出し" },
    { "#Side", "div:side" },
    { "#side", "" },
    { ".box", "div:見出し" },
    { ".news.box", "div:見出し" },
    { "DIV", "div:見出し div:side" },
    { "div p", "p:p1 p:p2 p:side" },
    { "[lang]", "li:four" },
    { "[LANG|=en]", "li:four" },
    { "[data-kind^=price]", "p:p1" },
    { "[data-kind$='tag']", "p:p1" },
    { "[data-kind*=\"ce-t\"]", "p:p1" },
    { "[data-kind*='']", "" },
    { "[title~=world]", "p:p2" },
    { "[title~=wor]", "" },
    { "[title='HELLO WORLD' i]", "p:p2" },
    { "[class=Box]", "div:side" },
    { "ul > li:first-child", "li:one" },
    { "li:last-child", "li:five" },
    { "span:only-child", "span:s1" },
    { "li:nth-child(odd)", "li:one li:three li:five" },
    { "li:nth-child(even)", "li:two li:four" },
    { "li:nth-child(3)", "li:three" },
    { "li:nth-child(-n+2)", "li:one li:two" },
    { "li:nth-child(2n+1)", "li:one li:three li:five" },
    { "li:nth-child( 3n - 1 )", "li:two li:five" },
    { "li:nth-last-child(2)", "li:four" },
    { "p:nth-of-type(2)", "p:p2" },
    { "div > p:last-of-type", "p:p2 p:side" },
    { "body > :only-of-type", "footer:foot" },
    { "p:nth-last-of-type(2):not(:only-child)", "p:p1" },
    { "body > :first-of-type", "div:見出し footer:foot" },
    { "h1 + ul", "ul:one" },
    { "h1 ~ p", "p:p1 p:p2" },
    { "li.odd + li", "li:three" },
    { "li ~ li[lang]", "li:four" },
    { "li:not(.odd)", "li:one li:three li:four li:five" },
    { "li:not(:first-child, [lang])", "li:two li:three li:five" },
    { "div:not(#main) > p", "p:side" },
    { "footer, h1", "h1:見出し footer:foot" },
    { "div, p", "div:見出し div:side p:foot" },
    { "div div p, body div p", "p:p1 p:p2 p:side" },
    { "\\#main, #\\6d ain", "div:見出し" },
    { "xpath://li[2]", "li:two" },
    { "xpath://p/text()", "p:p1 p:p2 p:side p:foot" },
    { "xpath://li/@lang", "" },
    { "xpath:/", "html:T" },
    { "xpath://ul | //h1", "h1:見出し ul:one" },
    { "XPath://div//li[last()]", "li:five" },
    { "xpath://nowhere", "" },
    { "xpath://*[@id='main']/ul/li[3]", "li:three" },
    { "xpath:/html/body/div[2]/p", "p:side" },
    { "xpath://p[@data-kind=\"price-tag\"] | //li[ contains( @class , 'od' ) ]", "li:two p:p1" },
    { "xpath://div[@id]/*[last()]", "p:p2 p:side" },
    { "xpath://P", "" },
    { "xpath://li[position() > 3]", "li:four li:five" },
    { "xpath://div[@id][1]", "div:見出し" },
};

// XPath beyond the location paths that read as selectors, which only the tree answers.
bool onlyOnTheTree(std::string_view region)
{
    for (const std::string_view xpath :
        { "//p/text()", "//li/@lang", "/", "//P", "//li[position() > 3]", "//div[@id][1]" })
        if (region.ends_with(xpath) && region.size() == xpath.size() + 6)
            return true;
    return false;
}

} // namespace

TEST(RegionSelector, SelectsOutermostMatchesInDocumentOrder)
{
    const THtmlDocument page(Page);
    for (const TSelection& c : Selections) {
        SCOPED_TRACE(c.region);
        EXPECT_EQ(labels(selectRegion(page.doc(), c.region)), c.expected);
    }
}

TEST(RegionSelector, RefusesInvalidRegionsSayingWhere)
{
    struct Case
    {
        const char* region;
        const char* message;
    };
    const Case cases[] = {
        { "", "セレクターが空です" },
        { "  ", "セレクターが空です" },
        { "div >", "セレクターが途中で終わっています: div >" },
        { "div > > p", "セレクターの7文字目が読めません: div > > p" },
        { "見出し, .1", "セレクターの7文字目が読めません: 見出し, .1" },
        { "a:hover", "セレクターの2文字目の「:hover」は使えません: a:hover" },
        { "p::before", "セレクターの2文字目の「::before」は使えません: p::before" },
        { "li:nth-child(x)", "セレクターの14文字目が読めません: li:nth-child(x)" },
        { "[title=hello world]", "セレクターの14文字目が読めません: [title=hello world]" },
        { ":not(:not(p))", "セレクターの6文字目が読めません: :not(:not(p))" },
        { "p,", "セレクターが途中で終わっています: p," },
        { "[title='x]", "セレクターが途中で終わっています: [title='x]" },
        { "xpath: ", "XPath の式が空です" },
        { "xpath:count(//p)", "XPath の式が要素ではなく数や文字列を返します: count(//p)" },
        { "xpath://p[", "XPath の式が途中で終わっています（式の書き方）: //p[" },
        { "xpath://p[@]", "XPath の式の6文字目が読めません（式の書き方）: //p[@]" },
        { "xpath:'見出し", "XPath の式が途中で終わっています（閉じていない文字列）: '見出し" },
        { "xpath:foo()", "XPath の式を使えません（知らない関数）: foo()" },
        { "xpath://x:p", "XPath の式を使えません（名前空間の接頭辞）: //x:p" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.region);
        try {
            checkRegion(c.region);
            ADD_FAILURE() << "accepted";
        } catch (const TException& e) {
            EXPECT_EQ(e.message(), c.message);
        }
    }
    std::string many = "p";
    for (int i = 0; i < 256; ++i)
        many += " p";
    try {
        checkRegion(many);
        ADD_FAILURE() << "257 compound selectors accepted";
    } catch (const TException& e) {
        EXPECT_EQ(e.message(), "セレクターの部分が多すぎます（256 個まで）: " + many.substr(0, 200) + "…");
    }
}

// An expression whose work grows with the cube of the page stops at its limit rather than hanging a check.
TEST(RegionSelector, XPathWorkIsBounded)
{
    std::string html = "<html><body>";
    for (int i = 0; i < 3000; ++i)
        html += "<p>x</p>";
    const THtmlDocument page(html);
    EXPECT_EQ(selectRegion(page.doc(), "xpath://p[1]").size(), 1u);
    try {
        selectRegion(page.doc(), "xpath://p[count(//p[count(//p) > 1]) > 1]");
        ADD_FAILURE() << "no limit";
    } catch (const TException& e) {
        EXPECT_EQ(e.message(), "XPath の式を使えません（処理の量の上限）: //p[count(//p[count(//p) > 1]) > 1]");
    }
}

// Every CSS selector of the table streams, those counting from the end too, and so do XPath location paths of
// the common forms; each gives the tree's text.
TEST(RegionSelector, StreamedTextIsTheTreesText)
{
    const THtmlDocument page(Page);
    size_t streamed = 0;
    for (const TSelection& c : Selections) {
        SCOPED_TRACE(c.region);
        const TRegionSelector selector(c.region);
        EXPECT_EQ(selector.streams(), !onlyOnTheTree(c.region));
        const std::optional<TPickedText> text = selector.streamedText(Page);
        ASSERT_EQ(text.has_value(), selector.streams());
        if (!text)
            continue;
        const std::vector<xmlNode*> nodes = selector.select(page.doc());
        EXPECT_EQ(text->found, !nodes.empty());
        EXPECT_EQ(text->text, pageTextOfNodes(nodes));
        ++streamed;
    }
    EXPECT_GT(streamed, 35u);
}
