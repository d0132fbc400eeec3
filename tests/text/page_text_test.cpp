#include "text/page_text.h"

#include "support/encoded_text.h"
#include "support/temp_dir.h"

#include <libxml/tree.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <set>
#include <string>
#include <string_view>

namespace {

// Every HTML case's expected text is what Chromium's document.body.innerText gives for the same page with
// scripts off (scripts/compare-page-text.py).
struct Case
{
    const char* name;
    std::string body;
    const char* contentType;
    std::string text;
};

const Case Cases[] = {
    { "hidden",
        "<html><head><title>T</title><style>p{color:red}</style></head><body><p>shown</p><div hidden>no</div>"
        "<span style=\"color: red; display : none\">no</span><script>var a = '<p>no</p>';</script>"
        "<template><p>no</p></template>after</body></html>",
        "text/html", "shown\n\nafter" },
    { "blocks",
        "<body><h1>Title</h1><p>One\n  two</p><p>three</p><div>four<div>five</div></div><ul><li>a<li>b</ul>"
        "x <blockquote>q</blockquote>y</body>",
        "text/html", "Title\n\nOne two\n\nthree\n\nfour\nfive\na\nb\nx\nq\ny" },
    { "br", "<p>a<br>b<br><br>c</p><div>d<br></div>e", "text/html", "a\nb\n\nc\n\nd\n\ne" },
    { "table",
        "<table><caption>Cap</caption><tr><th>h1<th> h2 </tr><tr><td>1</td><td><p>2</p></td></tr><tr><td>3<td>"
        "</table>after",
        "text/html", "Cap\nh1\th2\n1\t\n\n2\n\n\n3\t\nafter" },
    { "pre", "<p>x</p><pre>\n  a  b\n\tc\n</pre><p>y   z</p>", "text/html", "x\n\n  a  b\n\tc\n\n\ny z" },
    { "references", "<p>&lt;a&gt; &amp; &copy; &#169; &#x263A; &euro;&nbsp;x &unknown; &amp</p>", "text/html",
        "<a> & © © ☺ €\u00A0x &unknown; &" },
    { "whitespace", "<div>  a <span> b </span> <b>c</b>  </div> <div> d</div>", "text/html", "a b c\nd" },
    { "details and dialog",
        "<details><summary>S</summary>body</details><details open><summary>T</summary>shown</details>"
        "<dialog>no</dialog>",
        "text/html", "S\nT\nshown" },
    { "controls",
        "<p>a <img src=x alt=pic> b <input value=v> c <button>go</button> <select><option>o1<option>o2</select> d "
        "<textarea>t</textarea> e</p>",
        "text/html", "a  b  c go \no1\no2\n d  e" },
    { "noscript shows with scripts off", "<p>x<noscript>no scripts</noscript>y</p>", "text/html", "xno scriptsy" },
    { "no body", "text before <b>bold</b><p>para", "", "text before bold\n\npara" },
    { "broken markup",
        "<div><p>a</div>b<li>c</i>d</span>e<p>f<!-- <p>no</p> -->g</p></li><h2>h<h3>i</h2>j<dl><dt>k<dd>l<dt>m</dl>",
        "text/html", "a\n\nb\ncde\n\nfg\n\nh\ni\nj\nk\nl\nm" },
    { "cut off in a tag", "<p>one</p><p>two</p><pre", "text/html", "one\n\ntwo" },
    { "plain text", "<p>a</p>\r\nb\rc\n", "text/plain; charset=utf-8", "<p>a</p>\nb\nc\n" },
    { "no markup", "a &amp; b\r\n  c", "text/html", "a &amp; b\n  c" },
    { "Shift_JIS by header", test::sjis("<p>日本語の\n<b>ページ</b></p><p>ソ表</p>"), "text/html; charset=Shift_JIS",
        "日本語の ページ\n\nソ表" },
    { "EUC-JP by meta", test::encodeAs("EUC-JP", "<meta charset=\"euc-jp\"><p>更新情報&amp;お知らせ</p>"), "text/html",
        "更新情報&お知らせ" },
    { "ISO-2022-JP by bytes", test::encodeAs("ISO-2022-JP", "<div>漢字と<i>かな</i></div>"), "", "漢字とかな" },
    { "windows-1252 by meta",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"><p>caf\xE9 \x93q\x94</p>", "",
        "café “q”" },
    { "KOI8-R by header, over the page's own label",
        test::encodeAs("KOI8-R", "<meta charset=\"utf-8\"><p>Привет, мир</p>"), "text/html; charset=KOI8-R",
        "Привет, мир" },
    { "UTF-8 with a byte order mark and a broken sequence", "\xEF\xBB\xBF<p>\xE2\x82 ok \xC3\xA9</p>", "",
        "\xEF\xBF\xBD ok é" },
};

} // namespace

TEST(PageText, ReadsPagesAsTheBrowserShowsThem)
{
    for (const Case& c : Cases)
        EXPECT_EQ(pageText(c.body, c.contentType), c.text) << c.name;
}

// The region path builds a libxml2 tree and takes the text of the elements it selects; for the body element that
// is the whole page's text.
TEST(PageText, TheTreeOfAPageGivesTheSameText)
{
    // libxml2 leaves a reference without its ";" as written, so the references case is left out.
    const std::set<std::string_view> names = { "blocks", "br", "table", "pre", "whitespace", "details and dialog",
        "controls", "noscript shows with scripts off", "broken markup" };
    std::string page = "<html><head><title>T</title></head><body>";
    for (const Case& c : Cases)
        if (names.contains(c.name))
            page += "<div>" + c.body + "</div>";
    page += "</body></html>";
    const std::string utf8 = pageUtf8(page, "text/html");
    const THtmlDocument document(utf8);
    ASSERT_NE(document.body(), nullptr);
    EXPECT_EQ(pageTextOfNodes({ document.body() }), pageText(page, "text/html"));

    // Each selected element begins a line; a text inside pre keeps its blanks.
    const THtmlDocument small("<body><p>a  b</p><pre>x  <b>y  z</b></pre><span>c</span></body>");
    xmlNode* body = small.body();
    ASSERT_NE(body, nullptr);
    xmlNode* p = xmlFirstElementChild(body);
    xmlNode* pre = xmlNextElementSibling(p);
    xmlNode* bold = xmlFirstElementChild(pre);
    xmlNode* span = xmlNextElementSibling(pre);
    EXPECT_EQ(pageTextOfNodes({ span, bold, p }), "c\ny  z\n\na b");
}

// libxml2 complains about broken markup on stderr unless told not to; the program must stay silent.
TEST(PageText, TheTreeOfBrokenMarkupWritesNoMessage)
{
    const test::TempDir dir;
    const std::string log = dir.file("stderr");
    const int saved = dup(STDERR_FILENO);
    const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDERR_FILENO);
    close(file);
    std::string text;
    {
        const THtmlDocument document("<p><b>a</p></i>&bogus; <table><td>x</tr></td></div><!-- y <z/> </q>\xFF");
        text = pageTextOfNodes({ document.body() });
    }
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(test::readFile(log), "");
    EXPECT_NE(text.find('a'), std::string::npos);
}
