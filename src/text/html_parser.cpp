#include "text/html_parser.h"

#include "text/japanese_code.h"

namespace {

// Where a browser finds the title and the meta tags: the head element inside the html element, or, on a page
// that leaves either out or one of their end tags, everything before the first body start tag.
TRange headRange(const HTMLParser& parser)
{
    const TElement html = parser.findElement("html", parser.whole());
    if (html.found) {
        const TElement head = parser.findElement("head", html.content);
        if (head.found)
            return head.content;
    }
    const size_t end = parser.text().size();
    for (size_t pos = 0; pos < end;) {
        const TTag tag = parser.readTag(pos, end);
        if (tag.start >= end || (tag.kind == TTag::None && tag.end >= end))
            break;
        if ((tag.kind == TTag::Start || tag.kind == TTag::EmptyElement) && parser.nameEquals(tag.name, "body"))
            return { 0, tag.start };
        pos = tag.end;
    }
    return parser.whole();
}

} // namespace

TPageFacts readPageFacts(std::string_view page, bool wantTitle, std::optional<std::string_view> metaName,
    std::string_view storedValue, std::string_view contentType)
{
    TPageFacts facts;
    if (!wantTitle && !metaName)
        return facts;
    const TInternalText internal = readInternal(page, contentType);
    const HTMLParser parser(internal.bytes, internal.utf8);
    const TRange head = headRange(parser);

    if (wantTitle) {
        const TElement title = parser.findElement("title", head);
        if (title.found)
            facts.title = internalToSjis(parser.decodeText(title.content), internal.utf8);
    }

    if (metaName) {
        const std::string wanted = sjisToInternal(*metaName, internal.utf8);
        size_t pos = head.begin;
        while (pos < head.end) {
            const TTag tag = parser.readTag(pos, head.end);
            if (tag.start >= head.end || (tag.kind == TTag::None && tag.end >= head.end))
                break;
            pos = tag.end;
            if (!parser.nameEquals(tag.name, "meta"))
                continue;
            bool marked = false;
            TRange content;
            for (const auto& attribute : tag.attributes) {
                if (parser.nameEquals(attribute.name, "name") && parser.nameEquals(attribute.value, wanted))
                    marked = true;
                else if (parser.nameEquals(attribute.name, "content"))
                    content = attribute.value;
            }
            if (!marked)
                continue;
            facts.metaFound = true;
            facts.metaValue = internalToSjis(parser.decodeValue(content), internal.utf8);
            // Letter case is ignored in EUC-JP, where no second byte of a double-byte character is a letter.
            facts.metaChanged = !equalsIgnoringAsciiCase(sjisToEuc(facts.metaValue), sjisToEuc(storedValue));
            break;
        }
    }
    return facts;
}

std::optional<TLink> readLink(const HTMLParser& parser, const TElement& element)
{
    if (!element.found)
        return std::nullopt;
    std::string title = parser.textContent(parser.trim(element.content));
    std::string url;
    for (const auto& attribute : element.startTag.attributes) {
        if (url.empty() && parser.nameEquals(attribute.name, "href"))
            url = parser.decodeText(parser.trim(attribute.value));
        else if (title.empty() && parser.nameEquals(attribute.name, "title"))
            title = parser.decodeText(parser.trim(attribute.value));
    }
    if (url.empty())
        return std::nullopt;
    return TLink { internalToSjis(title, parser.utf8()), internalUrlToSjis(url, parser.utf8()) };
}
