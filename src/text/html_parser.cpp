#include "text/html_parser.h"

#include "text/character_references.h"
#include "text/japanese_code.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

inline bool isBlank(char c) noexcept
{
    return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}
inline bool isLetter(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool isNameChar(char c) noexcept
{
    return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == ':';
}

// Position of c in [from, to), or `to`.
inline size_t findByte(std::string_view text, char c, size_t from, size_t to) noexcept
{
    if (from >= to)
        return to;
    const void* p = std::memchr(text.data() + from, c, to - from);
    return p ? static_cast<size_t>(static_cast<const char*>(p) - text.data()) : to;
}

// Position of the first byte of `needle` in [from, to), or `to`.
size_t findText(std::string_view text, std::string_view needle, size_t from, size_t to) noexcept
{
    if (from >= to || to - from < needle.size())
        return to;
    const size_t at = text.substr(0, to).find(needle, from);
    return at == std::string_view::npos ? to : at;
}

inline bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}
inline int hexValue(char c) noexcept
{
    if (isDigit(c))
        return c - '0';
    const char lower = lowerAscii(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// The references whose meaning the page check has always had; &nbsp; is a plain space there.
struct TEntity
{
    std::string_view name;
    char replacement;
};
constexpr TEntity Entities[] = { { "amp", '&' }, { "gt", '>' }, { "lt", '<' }, { "nbsp", ' ' }, { "quot", '"' } };

constexpr uint32_t MaxCodePoint = 0x10FFFF;

// When a character reference begins at the "&" at text[i], appends what it stands for in the internal form and
// gives its length; 0, appending nothing, when it begins none.
size_t appendReference(std::string_view text, size_t i, bool utf8, std::string& out)
{
    size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
        ++j;
        const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
        if (hex)
            ++j;
        const size_t digits = j;
        uint32_t value = 0;
        for (; j < text.size(); ++j) {
            const int digit = hex ? hexValue(text[j]) : (isDigit(text[j]) ? text[j] - '0' : -1);
            if (digit < 0)
                break;
            if (value <= MaxCodePoint) // beyond it the value only has to stay out of range
                value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        if (j == digits || j >= text.size() || text[j] != ';')
            return 0;
        out += codePointToInternal(numericCharacterReference(value), utf8);
        return j + 1 - i;
    }
    while (j < text.size() && (isLetter(text[j]) || isDigit(text[j])))
        ++j;
    if (j == i + 1 || j >= text.size() || text[j] != ';')
        return 0;
    const std::string_view name = text.substr(i + 1, j - i - 1);
    for (const auto& entity : Entities) {
        if (name == entity.name) {
            out.push_back(entity.replacement);
            return j + 1 - i;
        }
    }
    const std::optional<char32_t> codePoint = namedCharacterReference(name);
    if (!codePoint)
        return 0;
    out += codePointToInternal(*codePoint, utf8);
    return j + 1 - i;
}

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

std::string_view HTMLParser::view(TRange range) const noexcept
{
    const size_t end = std::min(range.end, m_text.size());
    if (range.begin >= end)
        return {};
    return m_text.substr(range.begin, end - range.begin);
}

size_t HTMLParser::nameRunEnd(size_t from, size_t limit) const noexcept
{
    if (from >= limit || !isLetter(m_text[from]))
        return from;
    size_t i = from + 1;
    while (i < limit && isNameChar(m_text[i]))
        ++i;
    return i;
}

TTag HTMLParser::readTag(size_t from, size_t rangeEnd) const
{
    return readTagAt(from, rangeEnd, true);
}

TTag HTMLParser::readTagAt(size_t from, size_t rangeEnd, bool withAttributes) const
{
    rangeEnd = std::min(rangeEnd, m_text.size());
    TTag tag;
    const size_t lt = findByte(m_text, '<', from, rangeEnd);
    if (lt + 1 >= rangeEnd) {
        tag.start = tag.end = rangeEnd;
        return tag;
    }
    tag.start = lt;
    const char next = m_text[lt + 1];
    if (next == '!') {
        if (lt + 3 < rangeEnd && m_text[lt + 2] == '-' && m_text[lt + 3] == '-') {
            const size_t close = findText(m_text, "-->", lt + 4, rangeEnd);
            if (close == rangeEnd) {
                tag.end = rangeEnd; // everything after an unterminated comment is hidden
                return tag;
            }
            tag.kind = TTag::Comment;
            tag.end = close + 3;
            return tag;
        }
        tag.kind = TTag::Declaration;
        tag.end = std::min(findByte(m_text, '>', lt + 2, rangeEnd) + 1, rangeEnd);
        return tag;
    }
    if (next == '?') {
        tag.kind = TTag::ProcessingInstruction;
        tag.end = std::min(findByte(m_text, '>', lt + 2, rangeEnd) + 1, rangeEnd);
        return tag;
    }

    const bool endTag = next == '/';
    const size_t nameStart = lt + (endTag ? 2 : 1);
    const size_t gt = findByte(m_text, '>', lt + 1, rangeEnd);
    tag.end = gt < rangeEnd ? gt + 1 : rangeEnd;
    const size_t nameEnd = nameRunEnd(nameStart, gt);
    if (nameEnd == nameStart)
        return tag;
    tag.name = { nameStart, nameEnd };
    if (endTag)
        tag.kind = TTag::End;
    else if (gt < rangeEnd && m_text[gt - 1] == '/')
        tag.kind = TTag::EmptyElement;
    else
        tag.kind = TTag::Start;
    if (withAttributes)
        readAttributes(tag, nameEnd, gt);
    return tag;
}

void HTMLParser::readAttributes(TTag& tag, size_t from, size_t limit) const
{
    size_t i = from;
    while (i < limit) {
        while (i < limit && isBlank(m_text[i]))
            ++i;
        const size_t nameEnd = nameRunEnd(i, limit);
        if (nameEnd == i)
            return;
        TTag::TAttribute attribute { { i, nameEnd }, { nameEnd, nameEnd } };
        i = nameEnd;
        if (i < limit && m_text[i] == '=') {
            ++i;
            if (i < limit && (m_text[i] == '"' || m_text[i] == '\'')) {
                const size_t close = findByte(m_text, m_text[i], i + 1, limit);
                attribute.value = { i + 1, close };
                i = close < limit ? close + 1 : limit;
            } else {
                size_t valueEnd = i;
                while (valueEnd < limit && !isBlank(m_text[valueEnd]))
                    ++valueEnd;
                attribute.value = { i, valueEnd };
                i = valueEnd;
            }
        }
        tag.attributes.push_back(attribute);
    }
}

TElement HTMLParser::findElement(std::string_view name, TRange range) const
{
    // One forward pass matches start and end tags of the name like brackets; the first tag that is an
    // empty-element tag or a closed start tag wins. Only the positions of open start tags are kept.
    // A start tag left open at the range end is never closed from any later search either, and skipping it
    // changes no other match; remembering those keeps a loop of searches over a page full of unclosed tags
    // to one pass in all.
    const size_t rangeEnd = std::min(range.end, m_text.size());
    const bool memoApplies = m_unclosedEnd == rangeEnd && equalsIgnoringAsciiCase(m_unclosedName, name);
    if (!memoApplies)
        m_unclosed.clear();
    auto known = std::lower_bound(m_unclosed.begin(), m_unclosed.end(), range.begin);

    std::vector<size_t> open;
    TElement best;
    auto take = [&](size_t start, size_t end, TRange content) {
        best.found = true;
        best.start = start;
        best.end = end;
        best.content = content;
        best.startTag = readTagAt(start, rangeEnd, true);
    };
    size_t pos = range.begin;
    bool reachedEnd = true;
    while (pos < rangeEnd) {
        const TTag tag = readTagAt(pos, rangeEnd, false);
        if (tag.start >= rangeEnd || (tag.kind == TTag::None && tag.end >= rangeEnd))
            break;
        pos = tag.end;
        if (tag.kind != TTag::Start && tag.kind != TTag::End && tag.kind != TTag::EmptyElement)
            continue;
        if (!nameEquals(tag.name, name))
            continue;
        if (tag.kind == TTag::EmptyElement) {
            if (!best.found)
                take(tag.start, tag.end, { tag.end, tag.end });
        } else if (tag.kind == TTag::Start) {
            while (known != m_unclosed.end() && *known < tag.start)
                ++known;
            if (known == m_unclosed.end() || *known != tag.start)
                open.push_back(tag.start);
        } else if (!open.empty()) {
            const size_t matched = open.back();
            open.pop_back();
            if (!best.found || matched < best.start) {
                const TTag startTag = readTagAt(matched, rangeEnd, false);
                take(matched, tag.end, { startTag.end, tag.start });
            }
        }
        if (best.found && (open.empty() || open.front() > best.start)) {
            reachedEnd = false;
            break;
        }
    }
    if (reachedEnd && !open.empty()) {
        std::vector<size_t> merged;
        merged.reserve(m_unclosed.size() + open.size());
        std::merge(m_unclosed.begin(), m_unclosed.end(), open.begin(), open.end(), std::back_inserter(merged));
        m_unclosed = std::move(merged);
        m_unclosedName.assign(name);
        m_unclosedEnd = rangeEnd;
    }
    return best;
}

std::string HTMLParser::decodeText(TRange range) const
{
    return decode(range, true);
}

std::string HTMLParser::decodeValue(TRange range) const
{
    return decode(range, false);
}

std::string HTMLParser::decode(TRange range, bool foldBlanks) const
{
    const std::string_view text = view(range);
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (foldBlanks && isBlank(c)) {
            out.push_back(' ');
            while (i < text.size() && isBlank(text[i]))
                ++i;
            continue;
        }
        if (c == '&') {
            if (const size_t length = appendReference(text, i, m_utf8, out)) {
                i += length;
                continue;
            }
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

TRange HTMLParser::trim(TRange range) const noexcept
{
    size_t begin = range.begin;
    size_t end = std::min(range.end, m_text.size());
    while (begin < end && isBlank(m_text[begin]))
        ++begin;
    while (end > begin && isBlank(m_text[end - 1]))
        --end;
    if (begin >= end)
        return { begin, begin };
    return { begin, end };
}

std::string HTMLParser::textContent(TRange range) const
{
    const size_t rangeEnd = std::min(range.end, m_text.size());
    std::string out;
    size_t pos = range.begin;
    while (pos < rangeEnd) {
        const TTag tag = readTag(pos, rangeEnd);
        if (tag.start >= rangeEnd)
            break;
        out += decodeText({ pos, tag.start });
        pos = tag.end;
    }
    if (pos < rangeEnd)
        out += decodeText({ pos, rangeEnd });
    return out;
}

bool HTMLParser::nameEquals(TRange range, std::string_view literal) const noexcept
{
    return equalsIgnoringAsciiCase(view(range), literal);
}

bool HTMLParser::rangeEquals(TRange a, TRange b) const noexcept
{
    return equalsIgnoringAsciiCase(view(a), view(b));
}

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
