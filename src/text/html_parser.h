#pragma once

#include "base/byte_text.h"
#include "base/memory.h"

#include <cstddef>
#include <cstdint>
#include <optional>
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

// A forgiving scanner over one buffer of markup in the internal form (EUC-JP, or UTF-8 for a UTF-8 source). It
// builds no tree and copies nothing until text is asked for. Every name is compared without regard to ASCII case.
// One parser serves one thread: findElement keeps a small cache of what it learnt about the buffer.
class HTMLParser
{
public:
    explicit HTMLParser(std::string_view text, bool utf8 = false) noexcept
        : m_text(text)
        , m_utf8(utf8)
    {
    }

    std::string_view text() const noexcept { return m_text; }
    bool utf8() const noexcept { return m_utf8; }
    TRange whole() const noexcept { return { 0, m_text.size() }; }
    std::string_view view(TRange range) const noexcept;

    // The next tag at or after `from`, not reaching past `rangeEnd`. Without one: kind None, start = end = rangeEnd.
    // An unterminated comment gives kind None with its "<" as start and rangeEnd as end.
    TTag readTag(size_t from, size_t rangeEnd) const;
    // The first element of that name in the range; found is false when there is none.
    TElement findElement(std::string_view name, TRange range) const;
    // Runs of blanks folded to one space; character references decoded into the internal form. &nbsp; is a
    // plain space; a reference that is unknown or lacks its ";" stays as written.
    std::string decodeText(TRange range) const;
    // Character references decoded as by decodeText, blanks kept as they are: an attribute value.
    std::string decodeValue(TRange range) const;
    TRange trim(TRange range) const noexcept;
    // The decoded text of the range with every tag left out.
    std::string textContent(TRange range) const;
    bool nameEquals(TRange range, std::string_view literal) const noexcept;
    bool rangeEquals(TRange a, TRange b) const noexcept;

private:
    std::string decode(TRange range, bool foldBlanks) const;
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


struct TPageFacts
{
    std::string title; // Shift_JIS; empty when the page has none or it was not wanted
    bool metaFound = false;
    std::string metaValue; // Shift_JIS, when found
    bool metaChanged = false; // the found value differs from the stored one other than in ASCII case
};

// The title and the named meta tag's content of a page in UTF-8 or any of the three Japanese codes, both taken
// from the head element inside the html element, or from before the first body start tag when the page leaves
// either element or an end tag out. contentType is the answer's Content-Type header, which may name the code.
// metaName (when given) and storedValue are Shift_JIS.
TPageFacts readPageFacts(std::string_view page, bool wantTitle, std::optional<std::string_view> metaName,
    std::string_view storedValue = {}, std::string_view contentType = {});

struct TLink
{
    std::string title; // Shift_JIS
    std::string url; // Shift_JIS
};

// The link of an `a` element of a buffer in the internal form; nothing when it has no (non-empty) href. A URL
// from UTF-8 has its non-ASCII bytes percent-encoded.
std::optional<TLink> readLink(const HTMLParser& parser, const TElement& element);
