#include "text/tag_scanner.h"

#include "text/character_references.h"
#include "text/japanese_code.h"

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
// The four the item list's writer produces, written out in full.
constexpr TEntity XmlEntities[] = { { "&amp;", '&' }, { "&gt;", '>' }, { "&lt;", '<' }, { "&quot;", '"' } };

constexpr uint32_t MaxCodePoint = 0x10FFFF;

} // namespace

// When a character reference begins at the "&" at text[i], appends what it stands for in the internal form and
// gives its length; 0, appending nothing, when it begins none.
size_t THTMLSyntax::appendReference(std::string_view text, size_t i, bool utf8, std::string& out)
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

size_t TXMLSyntax::appendReference(std::string_view text, size_t i, bool, std::string& out)
{
    for (const auto& entity : XmlEntities) {
        if (text.substr(i).starts_with(entity.name)) {
            out.push_back(entity.replacement);
            return entity.name.size();
        }
    }
    return 0;
}

template <class Syntax>
std::string_view TTagScanner<Syntax>::view(TRange range) const noexcept
{
    const size_t end = std::min(range.end, m_text.size());
    if (range.begin >= end)
        return {};
    return m_text.substr(range.begin, end - range.begin);
}

template <class Syntax>
size_t TTagScanner<Syntax>::nameRunEnd(size_t from, size_t limit) const noexcept
{
    if (from >= limit || !isLetter(m_text[from]))
        return from;
    size_t i = from + 1;
    while (i < limit && isNameChar(m_text[i]))
        ++i;
    return i;
}

template <class Syntax>
TTag TTagScanner<Syntax>::readTagAt(size_t from, size_t rangeEnd, bool withAttributes) const
{
    rangeEnd = std::min(rangeEnd, m_text.size());
    TTag tag;
    const size_t lt = findByte(m_text, '<', from, rangeEnd);
    if (lt >= rangeEnd || (Syntax::unterminatedTagsCount && lt + 1 >= rangeEnd)) {
        tag.start = tag.end = rangeEnd;
        return tag;
    }
    tag.start = lt;
    if (m_text.substr(lt, rangeEnd - lt).starts_with("<!--")) {
        const size_t close = findText(m_text, "-->", lt + 4, rangeEnd);
        if (close == rangeEnd) {
            tag.end = rangeEnd; // everything after an unterminated comment is hidden
            return tag;
        }
        tag.kind = TTag::Comment;
        tag.end = close + 3;
        return tag;
    }
    const size_t gt = findByte(m_text, '>', lt + 1, rangeEnd);
    tag.end = gt < rangeEnd ? gt + 1 : rangeEnd;
    if (gt == rangeEnd && !Syntax::unterminatedTagsCount)
        return tag;
    const char next = m_text[lt + 1];
    if (next == '!' || next == '?') {
        tag.kind = next == '!' ? TTag::Declaration : TTag::ProcessingInstruction;
        return tag;
    }

    const bool endTag = next == '/';
    const size_t nameStart = lt + (endTag ? 2 : 1);
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

template <class Syntax>
void TTagScanner<Syntax>::readAttributes(TTag& tag, size_t from, size_t limit) const
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

template <class Syntax>
TElement TTagScanner<Syntax>::findElement(std::string_view name, TRange range) const
{
    // One forward pass matches start and end tags of the name like brackets; the first tag that is an
    // empty-element tag or a closed start tag wins. Only the positions of open start tags are kept.
    // A start tag left open at the range end is never closed from any later search either, and skipping it
    // changes no other match; remembering those keeps a loop of searches over a page full of unclosed tags
    // to one pass in all.
    const size_t rangeEnd = std::min(range.end, m_text.size());
    const bool memoApplies = m_unclosedEnd == rangeEnd && Syntax::nameEquals(m_unclosedName, name);
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

template <class Syntax>
std::string TTagScanner<Syntax>::decode(TRange range, TBlanks blanks) const
{
    const std::string_view text = view(range);
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (blanks != TBlanks::Keep && isBlank(c)) {
            out.push_back(' ');
            ++i;
            if (blanks == TBlanks::Fold) {
                while (i < text.size() && isBlank(text[i]))
                    ++i;
            } else if (c == '\r' && i < text.size() && text[i] == '\n') {
                ++i;
            }
            continue;
        }
        if (c == '&') {
            if (const size_t length = Syntax::appendReference(text, i, m_utf8, out)) {
                i += length;
                continue;
            }
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

template <class Syntax>
std::string TTagScanner<Syntax>::elementText(const TElement& element) const
{
    if (!element.found)
        return {};
    return internalToSjis(decode(trim(element.content), TBlanks::EachSpace), m_utf8);
}

template <class Syntax>
std::string TTagScanner<Syntax>::attributeText(const TTag& tag, std::string_view name) const
{
    for (const auto& attribute : tag.attributes) {
        if (nameEquals(attribute.name, name))
            return internalToSjis(decodeValue(attribute.value), m_utf8);
    }
    return {};
}

template <class Syntax>
TRange TTagScanner<Syntax>::trim(TRange range) const noexcept
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

template <class Syntax>
std::string TTagScanner<Syntax>::textContent(TRange range) const
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

template class TTagScanner<THTMLSyntax>;
template class TTagScanner<TXMLSyntax>;
