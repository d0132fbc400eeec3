#pragma once

#include "base/byte_text.h"
#include "base/memory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A half-open range of byte positions into the scanned buffer; empty when begin == end.
struct TRange
{
    size_t begin = 0;
    size_t end = 0;

    bool empty() const noexcept { return begin >= end; }
    size_t size() const noexcept { return empty() ? 0 : end - begin; }
    bool operator==(const TRange&) const = default;
};

struct TTag
{
    enum Kind : uint8_t {
        None = 0, // no tag, an unreadable name or an unterminated comment
        Start = 1,
        End = 2,
        EmptyElement = 3,
        Comment = 4,
        Declaration = 5,
        ProcessingInstruction = 6,
    };

    struct TAttribute
    {
        TRange name;
        TRange value;
    };

    size_t start = 0; // position of "<"
    size_t end = 0; // position after ">" (or the range end)
    Kind kind = None;
    TRange name;
    std::vector<TAttribute> attributes;
};

struct TElement
{
    bool found = false;
    size_t start = 0; // "<" of the start tag
    size_t end = 0; // after the end tag, or after the empty-element tag
    TRange content; // empty for an empty-element tag
    TTag startTag;
};

// Pages as browsers read them.
struct THTMLSyntax
{
    // HTML names ignore letter case: <TITLE> is a title.
    static bool nameEquals(std::string_view a, std::string_view b) noexcept { return equalsIgnoringAsciiCase(a, b); }
    // A tag cut off by the range end is still the tag it began as; page titles have always been read that way.
    static constexpr bool unterminatedTagsCount = true;
    // Numeric and named character references; &nbsp; is a plain space, as the page check has always had it.
    static size_t appendReference(std::string_view text, size_t i, bool utf8, std::string& out);
};

// The item list as written: a file that breaks off must not yield a half-read item.
struct TXMLSyntax
{
    // The list's names are case-sensitive: <Item> is another element than <item>.
    static bool nameEquals(std::string_view a, std::string_view b) noexcept { return a == b; }
    // Anything the range end cuts off is no tag at all.
    static constexpr bool unterminatedTagsCount = false;
    // Only the four entities the list's writer produces; anything else stays as written.
    static size_t appendReference(std::string_view text, size_t i, bool utf8, std::string& out);
};

// A forgiving scanner over one buffer of markup in the internal form (EUC-JP, or UTF-8 for a UTF-8 source). It
// builds no tree and copies nothing until text is asked for; names compare as the syntax says. One scanner
// serves one thread: findElement keeps a small cache of what it learnt about the buffer.
template <class Syntax>
class TTagScanner
{
public:
    explicit TTagScanner(std::string_view text, bool utf8 = false) noexcept
        : m_text(text)
        , m_utf8(utf8)
    {
    }
    explicit TTagScanner(const TMemory& buffer, bool utf8 = false) noexcept
        : TTagScanner(buffer.view(), utf8)
    {
    }

    std::string_view text() const noexcept { return m_text; }
    bool utf8() const noexcept { return m_utf8; }
    TRange whole() const noexcept { return { 0, m_text.size() }; }
    std::string_view view(TRange range) const noexcept;

    // The next tag at or after `from`, not reaching past `rangeEnd`. Without one: kind None, start = end = rangeEnd.
    // An unterminated comment gives kind None with its "<" as start and rangeEnd as end. A found tag always ends
    // after `from`.
    TTag readTag(size_t from, size_t rangeEnd) const { return readTagAt(from, rangeEnd, true); }
    // The first element of that name in the range, the first in document order winning at any depth; found is
    // false when there is none.
    TElement findElement(std::string_view name, TRange range) const;
    // Every element that repeated searches would give, each search starting after the end of the element
    // before it, handed to `visit` in document order. One pass over the range, however the tags nest.
    template <class Visit>
    void forEachElement(std::string_view name, TRange range, Visit&& visit) const;

    // Runs of blanks folded to one space; character references decoded into the internal form. A reference
    // that is unknown or lacks its ";" stays as written.
    std::string decodeText(TRange range) const { return decode(range, TBlanks::Fold); }
    // Character references decoded as by decodeText, blanks kept as they are: an attribute value.
    std::string decodeValue(TRange range) const { return decode(range, TBlanks::Keep); }
    // The decoded text of the range with every tag left out.
    std::string textContent(TRange range) const;
    // The element's content as a value: trimmed, references decoded, every line break and blank character a
    // space, in Shift_JIS. Empty for an element that was not found.
    std::string elementText(const TElement& element) const;
    // Without leading and trailing NUL, TAB, LF, CR and spaces.
    TRange trim(TRange range) const noexcept;

    bool nameEquals(TRange range, std::string_view literal) const noexcept
    {
        return Syntax::nameEquals(view(range), literal);
    }
    bool rangeEquals(TRange a, TRange b) const noexcept { return Syntax::nameEquals(view(a), view(b)); }
    // The trimmed, undecoded content compared byte for byte.
    bool contentEquals(const TElement& element, std::string_view literal) const
    {
        return element.found && view(trim(element.content)) == literal;
    }
    // The value of the first attribute of that name in Shift_JIS, references decoded and blanks kept; empty when
    // absent.
    std::string attributeText(const TTag& tag, std::string_view name) const;
    // The trimmed value of the first attribute of that name compared byte for byte; false when absent.
    bool attributeEquals(const TTag& tag, std::string_view name, std::string_view literal) const
    {
        for (const auto& attribute : tag.attributes)
            if (nameEquals(attribute.name, name))
                return view(trim(attribute.value)) == literal;
        return false;
    }

private:
    enum class TBlanks { Keep, Fold, EachSpace };
    std::string decode(TRange range, TBlanks blanks) const;
    TTag readTagAt(size_t from, size_t rangeEnd, bool withAttributes) const;
    void readAttributes(TTag& tag, size_t from, size_t limit) const;
    size_t nameRunEnd(size_t from, size_t limit) const noexcept;

    std::string_view m_text;
    bool m_utf8 = false;
    // Start tags known to stay open up to m_unclosedEnd, for searches of that name (sorted positions).
    mutable std::vector<size_t> m_unclosed;
    mutable std::string m_unclosedName;
    mutable size_t m_unclosedEnd = static_cast<size_t>(-1);
};

extern template class TTagScanner<THTMLSyntax>;
extern template class TTagScanner<TXMLSyntax>;

template <class Syntax>
template <class Visit>
void TTagScanner<Syntax>::forEachElement(std::string_view name, TRange range, Visit&& visit) const
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
        pos = tag.end;
        if (tag.kind != TTag::Start && tag.kind != TTag::End && tag.kind != TTag::EmptyElement)
            continue;
        if (!nameEquals(tag.name, name))
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
