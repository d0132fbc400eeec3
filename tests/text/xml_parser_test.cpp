#include "text/xml_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Found
{
    bool found;
    std::string element; // the whole element's text
    std::string content;
};

Found search(const std::string& text, std::string_view name)
{
    const TMemory buffer(text);
    const TXMLParser parser(buffer);
    const TElement e = parser.findElement(name, parser.whole());
    if (!e.found)
        return { false, "", "" };
    return { true, std::string(parser.view({ e.start, e.end })), std::string(parser.view(e.content)) };
}

} // namespace

TEST(XmlParser, ReadsTokensOfEachKind)
{
    struct Case
    {
        std::string text;
        TTag::Kind kind;
        size_t start;
        size_t end;
        std::string name;
    };
    const Case cases[] = {
        { "x<item>", TTag::Start, 1, 7, "item" },
        { "</check-uri>", TTag::End, 0, 12, "check-uri" },
        { "<title />", TTag::EmptyElement, 0, 9, "title" },
        { "<a:b-1/>", TTag::EmptyElement, 0, 8, "a:b-1" },
        { "<!-- <item> -->", TTag::Comment, 0, 15, "" },
        { "<!-- open", TTag::None, 0, 9, "" },
        { "<!DOCTYPE x>", TTag::Declaration, 0, 12, "" },
        { "<?xml version=\"1.0\"?>", TTag::ProcessingInstruction, 0, 21, "" },
        { "a < b > c", TTag::None, 2, 7, "" },
        { "<1a>", TTag::None, 0, 4, "" },
        { "</ a>", TTag::None, 0, 5, "" },
        { "<item", TTag::None, 0, 5, "" },
        { "no tag", TTag::None, 6, 6, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TMemory buffer(c.text);
        const TXMLParser parser(buffer);
        const TTag tag = parser.readTag(0, buffer.size());
        EXPECT_EQ(tag.kind, c.kind);
        EXPECT_EQ(tag.start, c.start);
        EXPECT_EQ(tag.end, c.end);
        EXPECT_EQ(parser.view(tag.name), c.name);
    }
}

TEST(XmlParser, ReadsAttributesUpToWhereNoNameStarts)
{
    const TMemory buffer(std::string_view("<item a=\"x y\" b='z\"' c=plain\td e=>f\0 = g/>", 42));
    const TXMLParser parser(buffer);
    const TTag tag = parser.readTag(0, buffer.size());
    std::string seen;
    for (const auto& a : tag.attributes)
        seen += "[" + std::string(parser.view(a.name)) + "=" + std::string(parser.view(a.value)) + "]";
    EXPECT_EQ(seen, "[a=x y][b=z\"][c=plain][d=][e=]"); // the token ends at the first ">"
    EXPECT_TRUE(parser.attributeEquals(tag, "a", "x y"));
    EXPECT_FALSE(parser.attributeEquals(tag, "A", "x y"));
    EXPECT_FALSE(parser.attributeEquals(tag, "missing", ""));
}

TEST(XmlParser, FindsTheFirstElementByDepth)
{
    EXPECT_EQ(search("<a><b>1</b></a>", "b").content, "1");
    EXPECT_EQ(search("<x><item>1<item>2</item>3</item>", "item").content, "1<item>2</item>3");
    EXPECT_EQ(search("<item>1<item/>2</item>", "item").content, "1<item/>2");
    EXPECT_EQ(search("<item/><item>x</item>", "item").element, "<item/>");
    // Case-sensitive: other spellings are other names.
    EXPECT_FALSE(search("<Item>x</Item>", "item").found);
    EXPECT_EQ(search("<item>x</ITEM></item>", "item").content, "x</ITEM>");
    // A stray end tag is passed over; so is a start tag that never closes, and the scan resumes after it.
    EXPECT_EQ(search("</item><item>x</item>", "item").content, "x");
    EXPECT_EQ(search("<item>open <item>in</item>", "item").element, "<item>in</item>");
    EXPECT_EQ(search("<item>a<item>b<item/>c", "item").element, "<item/>");
    EXPECT_EQ(search("<item>1<item>2</item><item>3", "item").element, "<item>2</item>");
    EXPECT_FALSE(search("<item>never closed", "item").found);
    // Markup hidden in a comment or a declaration does not count.
    EXPECT_EQ(search("<!-- <item>no</item> --><item>yes</item>", "item").content, "yes");
    EXPECT_EQ(search("<item>a<!-- </item> -->b</item>", "item").content, "a<!-- </item> -->b");
}

TEST(XmlParser, ElementTextIsTrimmedDecodedAndFlattened)
{
    static const char raw[] = "<v>\t \0 a&amp;b&lt;&gt;&quot;&apos;&amp;lt; &amp\r\nx\ry\nz\tw\0q \r\n</v>";
    const std::string text(raw, sizeof raw - 1);
    const TMemory buffer(text);
    const TXMLParser parser(buffer);
    const TElement e = parser.findElement("v", parser.whole());
    ASSERT_TRUE(e.found);
    EXPECT_EQ(parser.elementText(e), "a&b<>\"&apos;&lt; &amp x y z w q");

    const TMemory words(std::string_view("<r> GET\r\n</r><c>&amp;</c>"));
    const TXMLParser wordParser(words);
    EXPECT_TRUE(wordParser.contentEquals(wordParser.findElement("r", wordParser.whole()), "GET"));
    EXPECT_TRUE(wordParser.contentEquals(wordParser.findElement("c", wordParser.whole()), "&amp;")); // not decoded
    EXPECT_FALSE(wordParser.contentEquals(wordParser.findElement("x", wordParser.whole()), ""));
    EXPECT_EQ(parser.elementText(TElement {}), "");
}

TEST(XmlParser, OnePassWalkGivesWhatRepeatedSearchesGive)
{
    const char* const pieces[] = { "<item>", "</item>", "<item/>", "<item a='>'>", "x", "<!--", "-->", "<title>",
        "</title>", "<Item>", "<", ">", "<!x>" };
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i)
            text += pieces[random() % std::size(pieces)];
        SCOPED_TRACE(text);
        const TMemory buffer(text);
        const TXMLParser parser(buffer);
        std::vector<std::pair<size_t, size_t>> walked;
        parser.forEachElement("item", parser.whole(), [&](const TElement& e) { walked.emplace_back(e.start, e.end); });
        std::vector<std::pair<size_t, size_t>> searched;
        for (size_t pos = 0;;) {
            const TElement e = parser.findElement("item", { pos, buffer.size() });
            if (!e.found)
                break;
            searched.emplace_back(e.start, e.end);
            pos = e.end;
        }
        ASSERT_EQ(walked, searched);
    }
}
