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
