#include "text/page_text.h"
#include "text/region_selector.h"
#include "text/watch_rules.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The region's text over libxml2's tree, as watchedText read every region before the streaming pass.
std::string treeText(const TRegionSelector& selector, const std::string& utf8)
{
    const THtmlDocument document(utf8);
    return pageTextOfNodes(selector.select(document.doc()));
}

std::string fileText(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

const char* const Selectors[] = { "*", "body", "div", "p", "li", "a", "h1, h2, h3", "div p", "ul > li",
    "li:nth-child(odd)", "p + p", "h2 ~ p", "pre", "code", "table td", "[href]", "[href^='#']", ":not(div)",
    "li:first-child", "td:first-of-type", "dt + dd", "tr:nth-of-type(2n)", "a:not([href])", "span", "body > *", "head",
    "title", "dl", "div div div", "p:nth-of-type(3) ~ *", "tt, b, i, em, strong", "table", "tr", "ol li" };

const char* const Pages[] = { "/usr/share/doc/bc/bc.html", "/usr/share/doc/bzip2/manual.html",
    "/usr/share/doc/ccache/manual.html", "/usr/share/doc/gcc-12/NEWS.html",
    "/usr/share/doc/libexpat1-dev/expat.html/reference.html", "/usr/share/doc/fontconfig/fontconfig-user.html",
    "/usr/share/doc/base-passwd/users-and-groups.html", "/usr/share/doc/fp-compiler/3.2.2/faq.html" };

} // namespace

TEST(RegionStream, RealPagesGiveTheTreesText)
{
    for (const char* path : Pages) {
        const std::string page = pageUtf8(fileText(path), "text/html");
        if (page.empty())
            continue;
        for (const char* region : Selectors) {
            SCOPED_TRACE(std::string(path) + " " + region);
            const TRegionSelector selector(region);
            const std::optional<TPickedText> streamed = selector.streamedText(page);
            ASSERT_TRUE(streamed.has_value());
            EXPECT_EQ(streamed->text, treeText(selector, page));
        }
    }
}

// Markup that a browser builds otherwise: the region follows libxml2's tree, as the tree path and XPath do, so
// one region gives one text whichever way it was read.
TEST(RegionStream, BrokenMarkupReadsAsLibxml2BuildsIt)
{
    struct Case
    {
        const char* html;
        const char* region;
        const char* expected;
    };
    const Case cases[] = {
        { "<p>a<section>b</section>c", "p", "a\nb\nc" }, // a browser ends p before section
        { "<h1>a<h2>b", "h1", "a\nb" }, // and h1 before h2
        { "<b><p>x</p></b>", "b p", "" }, // libxml2 ends b before p
        { "<b><p>x</p></b>", "body > p", "x" },
        { "<table><td>x<td>y</table>", "tr", "" }, // no implied row
        { "<ul><li>a<li>b</ul>", "li + li", "b" },
        { "<p><style>a</span>b</style>c", "p", "c" },
        { "<p>a<wbr>b</p>", "wbr", "b" }, // wbr, source, track and embed are no empty elements
        { "text<div>d</div>", "p", "text" }, // text outside body is a paragraph
        { "<p>a</body>b<p>c", "body", "a" }, // content after body's end goes beside it
        { "<div/>x", "div", "" },
        { "<div>&amp x &#150; &check; &lt;</div>", "div", "&amp x \u0096 &check; <" },
        { "<html class=a><body><html class=b><p>x", "html.b", "" },
        { "<pre>\nx\r\ny</pre>", "pre", "x\ny" },
        { "<pre><span>a\n b</span></pre>", "span", "a\n b" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.html) + " " + c.region);
        const TRegionSelector selector(c.region);
        const std::optional<TPickedText> streamed = selector.streamedText(c.html);
        ASSERT_TRUE(streamed.has_value());
        EXPECT_EQ(streamed->text, c.expected);
        EXPECT_EQ(streamed->text, treeText(selector, c.html));
    }
}

// Markup that libxml2 reads in ways the pass does not follow leaves the region to the tree.
TEST(RegionStream, UnusualMarkupLeavesTheRegionToTheTree)
{
    const char* const pages[] = {
        "<p>a&#0;b", // libxml2 drops the reference
        "<p>a\fb", // and control characters
        "<p>a<!DOCTYPE html>b", // a misplaced declaration
        "<p>a<!-- never closed",
        "<p title='cut", // the page ends inside a tag
        "<p>&caf\xC3\xA9;", // a reference named in other letters
    };
    const TRegionSelector selector("p");
    for (const char* page : pages) {
        SCOPED_TRACE(page);
        EXPECT_FALSE(selector.streamedText(page).has_value());
    }
    std::string deep;
    for (int i = 0; i < 300; ++i)
        deep += "<div>";
    EXPECT_FALSE(TRegionSelector("div").streamedText(deep).has_value());
    EXPECT_TRUE(TRegionSelector("div").streamedText(deep.substr(0, 200 * 5)).has_value());
}

// regionText, which watchedText starts from, gives the tree's text whichever way it read the region, and
// watchedText says so when nothing matches.
TEST(RegionStream, RegionTextIsTheTreesText)
{
    const std::string page = fileText("/usr/share/doc/bzip2/manual.html");
    if (page.empty())
        GTEST_SKIP() << "no page";
    for (const char* region : { "h2, h3", "div.sect1 > p:first-of-type", "nowhere", "p:last-child" }) {
        SCOPED_TRACE(region);
        TWatchRules rules;
        rules.region = region;
        const TCompiledRules compiled(rules);
        const TRegionSelector& selector = *compiled.region();
        const std::string utf8 = pageUtf8(page, "text/html");
        ASSERT_EQ(selector.streamedText(utf8).has_value(), selector.streams());
        const THtmlDocument document(utf8);
        const std::vector<_xmlNode*> nodes = selector.select(document.doc());
        const std::optional<std::string> text = regionText(page, "text/html", compiled);
        ASSERT_EQ(text.has_value(), !nodes.empty());
        if (text) {
            EXPECT_EQ(*text, pageTextOfNodes(nodes));
        }
        EXPECT_EQ(watchedText(page, "text/html", compiled).regionMissing, nodes.empty());
    }
}
