#pragma once

#include "text/html_parser.h"
#include "text/japanese_code.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The character classes and the name comparison of the XML item list: names are case-sensitive.
struct basic_parser_function
{
    static bool isBlank(char c) noexcept { return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' '; }
    static bool isNameStart(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
    static bool isNameChar(char c) noexcept
    {
        return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == ':';
    }
    static bool nameEquals(std::string_view a, std::string_view b) noexcept { return a == b; }
};

// A tag scanner and element search over one buffer in the internal form (EUC-JP, or UTF-8 for a UTF-8 file). It
// builds no tree; every search is one forward pass over its range, so hostile nesting costs no more than reading
// the range.
template <class Buffer, class Function>
class basic_parser
{
public:
    explicit basic_parser(const Buffer& buffer, bool utf8 = false) noexcept
        : m_text(reinterpret_cast<const char*>(buffer.data()), buffer.size())
        , m_utf8(utf8)
    {
    }
    explicit basic_parser(std::string_view text, bool utf8 = false) noexcept
        : m_text(text)
        , m_utf8(utf8)
    {
    }

    std::string_view text() const noexcept { return m_text; }
    TRange whole() const noexcept { return { 0, m_text.size() }; }
    std::string_view view(TRange range) const noexcept
    {
        if (range.empty() || range.begin >= m_text.size())
            return {};
        return m_text.substr(range.begin, std::min(range.end, m_text.size()) - range.begin);
    }

    // The next token at or after `from`, not reaching past `rangeEnd`. Without one: kind None, start = end =
    // rangeEnd. A token never ends before it starts, and always ends after `from` when one was found.
    TTag readTag(size_t from, size_t rangeEnd) const { return readTagAt(from, rangeEnd, true); }

    // The first element of that name in the range, the first in document order winning at any depth.
    TElement findElement(std::string_view name, TRange range) const;

    // Every element that repeated searches would give, each search starting after the end of the element
    // before it, handed to `visit` in document order. One pass over the range, however the tags nest.
    template <class Visit>
    void forEachElement(std::string_view name, TRange range, Visit&& visit) const;

    // Without leading and trailing NUL, TAB, LF, CR and spaces.
    TRange trim(TRange range) const noexcept
    {
        range.end = std::min(range.end, m_text.size());
        while (range.begin < range.end && Function::isBlank(m_text[range.begin]))
            ++range.begin;
        while (range.end > range.begin && Function::isBlank(m_text[range.end - 1]))
            --range.end;
        return range;
    }

    // The element's content as a value: trimmed, the four entities decoded, every line break and blank
    // character a space, in Shift_JIS (from UTF-8 or EUC-JP, as the buffer is). Empty for an element that was not
    // found.
    std::string elementText(const TElement& element) const;
    // The trimmed, undecoded content compared byte for byte.
    bool contentEquals(const TElement& element, std::string_view literal) const
    {
        return element.found && view(trim(element.content)) == literal;
    }
    // The trimmed value of the first attribute of that name compared byte for byte; false when absent.
    bool attributeEquals(const TTag& tag, std::string_view name, std::string_view literal) const
    {
        for (const auto& attribute : tag.attributes)
            if (Function::nameEquals(view(attribute.name), name))
                return view(trim(attribute.value)) == literal;
        return false;
    }

private:
    TTag readTagAt(size_t from, size_t rangeEnd, bool withAttributes) const;
    void readAttributes(TTag& tag, size_t from, size_t limit) const;
    size_t find(std::string_view needle, size_t from, size_t to) const noexcept
    {
        if (from >= to || to - from < needle.size())
            return to;
        const size_t at = m_text.substr(0, to).find(needle, from);
        return at == std::string_view::npos ? to : at;
    }

    std::string_view m_text;
    bool m_utf8 = false;
};

template <class Buffer, class Function>
TTag basic_parser<Buffer, Function>::readTagAt(size_t from, size_t rangeEnd, bool withAttributes) const
{
    rangeEnd = std::min(rangeEnd, m_text.size());
    TTag tag;
    const size_t lt = find("<", from, rangeEnd);
    if (lt >= rangeEnd) {
        tag.start = tag.end = rangeEnd;
        return tag;
    }
    tag.start = lt;
    const std::string_view rest = m_text.substr(lt, rangeEnd - lt);

    if (rest.starts_with("<!--")) {
        const size_t close = find("-->", lt + 4, rangeEnd);
        if (close >= rangeEnd) {
            tag.end = rangeEnd;
            return tag;
        }
        tag.kind = TTag::Comment;
        tag.end = close + 3;
        return tag;
    }
    const size_t gt = find(">", lt + 1, rangeEnd);
    tag.end = gt >= rangeEnd ? rangeEnd : gt + 1;
    if (gt >= rangeEnd)
        return tag; // unterminated: kind None up to the range end
    if (rest.starts_with("<!")) {
        tag.kind = TTag::Declaration;
        return tag;
    }
    if (rest.starts_with("<?")) {
        tag.kind = TTag::ProcessingInstruction;
        return tag;
    }

    const bool closing = rest.size() > 1 && rest[1] == '/';
    size_t p = lt + (closing ? 2 : 1);
    if (p >= gt || !Function::isNameStart(m_text[p]))
        return tag;
    const size_t nameBegin = p;
    while (p < gt && Function::isNameChar(m_text[p]))
        ++p;
    tag.name = { nameBegin, p };
    if (closing)
        tag.kind = TTag::End;
    else
        tag.kind = m_text[gt - 1] == '/' ? TTag::EmptyElement : TTag::Start;
    if (withAttributes && !closing)
        readAttributes(tag, p, gt);
    return tag;
}

template <class Buffer, class Function>
void basic_parser<Buffer, Function>::readAttributes(TTag& tag, size_t p, size_t limit) const
{
    for (;;) {
        while (p < limit && Function::isBlank(m_text[p]))
            ++p;
        if (p >= limit || !Function::isNameStart(m_text[p]))
            return;
        TTag::TAttribute attribute;
        attribute.name.begin = p;
        while (p < limit && Function::isNameChar(m_text[p]))
            ++p;
        attribute.name.end = p;
        attribute.value = { p, p };
        if (p < limit && m_text[p] == '=') {
            ++p;
            if (p < limit && (m_text[p] == '"' || m_text[p] == '\'')) {
                const char quote = m_text[p];
                const size_t close = find(std::string_view(&quote, 1), p + 1, limit);
                attribute.value = { p + 1, close };
                p = close < limit ? close + 1 : limit;
            } else {
                const size_t begin = p;
                while (p < limit && !Function::isBlank(m_text[p]))
                    ++p;
                attribute.value = { begin, p };
            }
        }
        tag.attributes.push_back(attribute);
    }
}

template <class Buffer, class Function>
TElement basic_parser<Buffer, Function>::findElement(std::string_view name, TRange range) const
{
    // A start tag is closed by the first end tag of its name at which the count of further start and end tags
    // of that name balances: the matching of a stack. Start tags still open at the range end are passed over,
    // and the element found is then the earliest one among those that closed or were empty-element tags.
    const size_t rangeEnd = std::min(range.end, m_text.size());
    std::vector<size_t> open;
    TElement best;
    const auto elementOf = [&](size_t startPos, const TTag* closing) {
        TElement element;
        element.found = true;
        element.startTag = readTagAt(startPos, rangeEnd, true);
        element.start = startPos;
        if (closing) {
            element.content = { element.startTag.end, closing->start };
            element.end = closing->end;
        } else {
            element.content = { element.startTag.end, element.startTag.end };
            element.end = element.startTag.end;
        }
        return element;
    };
    const auto consider = [&](size_t startPos, const TTag* closing) {
        if (!best.found || startPos < best.start)
            best = elementOf(startPos, closing);
    };

    for (size_t pos = range.begin; pos < rangeEnd;) {
        const TTag tag = readTagAt(pos, rangeEnd, false);
        if (tag.start >= rangeEnd)
            break;
        pos = tag.end > pos ? tag.end : pos + 1;
        if (tag.kind != TTag::Start && tag.kind != TTag::End && tag.kind != TTag::EmptyElement)
            continue;
        if (!Function::nameEquals(view(tag.name), name))
            continue;
        if (tag.kind == TTag::Start) {
            open.push_back(tag.start);
        } else if (tag.kind == TTag::EmptyElement) {
            if (open.empty())
                return elementOf(tag.start, nullptr);
            consider(tag.start, nullptr);
        } else if (!open.empty()) {
            const size_t startPos = open.back();
            open.pop_back();
            if (open.empty())
                return elementOf(startPos, &tag);
            consider(startPos, &tag);
        }
    }
    return best;
}

template <class Buffer, class Function>
template <class Visit>
void basic_parser<Buffer, Function>::forEachElement(std::string_view name, TRange range, Visit&& visit) const
{
    // The closing tag of a start tag depends only on what follows it, so one stack matching over the whole
    // range answers every later search too.
    struct TNamedTag
    {
        size_t start;
        size_t end;
        bool empty;
        bool closed = false;
        size_t closeStart = 0;
        size_t closeEnd = 0;
    };
    const size_t rangeEnd = std::min(range.end, m_text.size());
    std::vector<TNamedTag> tags;
    std::vector<size_t> open;
    for (size_t pos = range.begin; pos < rangeEnd;) {
        const TTag tag = readTagAt(pos, rangeEnd, false);
        if (tag.start >= rangeEnd)
            break;
        pos = tag.end > pos ? tag.end : pos + 1;
        if (tag.kind != TTag::Start && tag.kind != TTag::End && tag.kind != TTag::EmptyElement)
            continue;
        if (!Function::nameEquals(view(tag.name), name))
            continue;
        if (tag.kind == TTag::End) {
            if (!open.empty()) {
                TNamedTag& opened = tags[open.back()];
                open.pop_back();
                opened.closed = true;
                opened.closeStart = tag.start;
                opened.closeEnd = tag.end;
            }
            continue;
        }
        if (tag.kind == TTag::Start)
            open.push_back(tags.size());
        tags.push_back({ tag.start, tag.end, tag.kind == TTag::EmptyElement });
    }
    open.clear();
    open.shrink_to_fit();

    size_t pos = range.begin;
    for (const TNamedTag& tag : tags) {
        if (tag.start < pos || (!tag.empty && !tag.closed))
            continue;
        TElement element;
        element.found = true;
        element.start = tag.start;
        element.startTag = readTagAt(tag.start, rangeEnd, true);
        element.content = { tag.end, tag.empty ? tag.end : tag.closeStart };
        element.end = tag.empty ? tag.end : tag.closeEnd;
        pos = element.end;
        visit(element);
    }
}

template <class Buffer, class Function>
std::string basic_parser<Buffer, Function>::elementText(const TElement& element) const
{
    if (!element.found)
        return {};
    const std::string_view raw = view(trim(element.content));
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '&') {
            const std::string_view rest = raw.substr(i);
            if (rest.starts_with("&amp;")) {
                out += '&';
                i += 4;
            } else if (rest.starts_with("&gt;")) {
                out += '>';
                i += 3;
            } else if (rest.starts_with("&lt;")) {
                out += '<';
                i += 3;
            } else if (rest.starts_with("&quot;")) {
                out += '"';
                i += 5;
            } else {
                out += '&';
            }
        } else if (c == '\r') {
            out += ' ';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else if (Function::isBlank(c)) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return internalToSjis(out, m_utf8);
}

using TXMLParser = basic_parser<TMemory, basic_parser_function>;
