#include "text/region_selector.h"

#include "base/byte_text.h"
#include "base/exception.h"
#include "text/page_text.h"
#include "text/unicode_text.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::string_view XPathPrefix = "xpath:";
// Far beyond any useful region; it also bounds the depth of the selector's recursion.
constexpr size_t MaxRegionLength = 4096;
// Steps of one XPath evaluation: a 1 MB page walked a few hundred times over, about a second.
constexpr unsigned long XPathOperationLimit = 20'000'000;
// Compound selectors in a group, those inside :not() too: the work of matching grows with their number.
constexpr size_t MaxCompounds = 256;
// Positions in :nth-child() beyond this are all alike on any page.
constexpr int64_t MaxNthNumber = 1'000'000'000;

// A part of the region for a message: the whole of it, or its first 200 bytes (whole characters) and "…".
std::string shown(std::string_view text)
{
    constexpr size_t Limit = 200;
    if (text.size() <= Limit)
        return std::string(text);
    size_t end = Limit;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "…";
}

// The number of the character at a byte position, counted from 1 as a reader counts.
size_t characterNumber(std::string_view text, size_t at)
{
    size_t number = 1;
    for (size_t i = 0; i < at && i < text.size(); ++i)
        if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80)
            ++number;
    return number;
}

std::string lowerAsciiText(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

bool isCssSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// ---- The parsed selector group ----

enum class AttributeOp { Exists, Equals, Word, DashPrefix, Prefix, Suffix, Contains };

struct TAttributeTest
{
    std::string name; // lower case
    AttributeOp op = AttributeOp::Exists;
    std::string value;
    bool ignoreCase = false;
};

// :nth-child(an+b) and its kin; :first-child is 0n+1, :last-child the same from the end.
struct TNth
{
    int64_t a = 0;
    int64_t b = 1;
    bool fromEnd = false;
    bool ofType = false;
};

struct TCompound
{
    std::string type; // lower case; empty for any element
    std::vector<std::string> ids;
    std::vector<std::string> classes;
    std::vector<TAttributeTest> attributes;
    std::vector<TNth> positions;
    std::vector<TCompound> negations; // the element matches none of these
};

struct TComplex
{
    std::vector<TCompound> compounds; // left to right
    std::string combinators; // combinators[i] joins compounds[i] to compounds[i + 1]: ' ', '>', '+' or '~'
    bool fromRoot = false; // compounds[0] is the root element (an XPath that begins with one "/")
};

// ---- The parser ----

class TCssParser
{
public:
    explicit TCssParser(std::string_view text)
        : m_text(text)
    {
    }

    std::vector<TComplex> parseGroup()
    {
        std::vector<TComplex> group;
        skipSpace();
        if (atEnd())
            throw TException("セレクターが空です");
        for (;;) {
            group.push_back(parseComplex());
            if (atEnd())
                break;
            if (peek() != ',')
                fail(m_pos);
            ++m_pos;
            skipSpace();
        }
        return group;
    }

private:
    bool atEnd() const noexcept { return m_pos >= m_text.size(); }
    char peek(size_t ahead = 0) const noexcept { return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0'; }

    [[noreturn]] void fail(size_t at) const
    {
        if (at >= m_text.size())
            throw TException("セレクターが途中で終わっています: " + shown(m_text));
        throw TException(
            "セレクターの" + std::to_string(characterNumber(m_text, at)) + "文字目が読めません: " + shown(m_text));
    }

    [[noreturn]] void failUnsupported(size_t from, size_t to) const
    {
        throw TException("セレクターの" + std::to_string(characterNumber(m_text, from)) + "文字目の「"
            + shown(m_text.substr(from, to - from)) + "」は使えません: " + shown(m_text));
    }

    bool skipSpace() noexcept
    {
        const size_t from = m_pos;
        while (!atEnd() && isCssSpace(peek()))
            ++m_pos;
        return m_pos > from;
    }

    bool isValidEscape(size_t at) const noexcept
    {
        return at + 1 < m_text.size() && m_text[at] == '\\' && m_text[at + 1] != '\n' && m_text[at + 1] != '\r'
            && m_text[at + 1] != '\f';
    }
    bool isNameStart(size_t at) const noexcept
    {
        if (at >= m_text.size())
            return false;
        const char c = m_text[at];
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<uint8_t>(c) >= 0x80
            || isValidEscape(at);
    }
    bool isNameChar(size_t at) const noexcept
    {
        return isNameStart(at) || (at < m_text.size() && (isDigit(m_text[at]) || m_text[at] == '-'));
    }
    bool isIdentStart(size_t at) const noexcept
    {
        if (at < m_text.size() && m_text[at] == '-')
            return isNameStart(at + 1) || (at + 1 < m_text.size() && m_text[at + 1] == '-');
        return isNameStart(at);
    }

    // An escape: up to six hex digits (and one white space after them) for a code point, else the character.
    void appendEscape(std::string& out)
    {
        ++m_pos; // the backslash
        if (atEnd())
            fail(m_pos);
        if (isHexDigit(peek())) {
            char32_t codePoint = 0;
            for (int digits = 0; digits < 6 && !atEnd() && isHexDigit(peek()); ++digits, ++m_pos) {
                const char c = lowerAscii(peek());
                codePoint = codePoint * 16 + static_cast<char32_t>(isDigit(c) ? c - '0' : c - 'a' + 10);
            }
            if (peek() == '\r' && peek(1) == '\n')
                m_pos += 2;
            else if (!atEnd() && isCssSpace(peek()))
                ++m_pos;
            appendUtf8(out, codePoint == 0 ? 0xFFFD : codePoint);
            return;
        }
        const size_t length = readUtf8(m_text, m_pos).length;
        out.append(m_text.substr(m_pos, length));
        m_pos += length;
    }

    // Name characters (and escapes) from here on; an id, a bare value or the rest of an identifier.
    std::string parseName()
    {
        std::string name;
        while (isNameChar(m_pos)) {
            if (peek() == '\\')
                appendEscape(name);
            else
                name += m_text[m_pos++];
        }
        return name;
    }

    std::string parseIdent()
    {
        if (!isIdentStart(m_pos))
            fail(m_pos);
        return parseName();
    }

    std::string parseString()
    {
        const char quote = peek();
        ++m_pos;
        std::string value;
        for (;;) {
            if (atEnd())
                fail(m_pos);
            const char c = peek();
            if (c == quote) {
                ++m_pos;
                return value;
            }
            if (c == '\n' || c == '\r' || c == '\f')
                fail(m_pos);
            if (c != '\\') {
                value += c;
                ++m_pos;
            } else if (peek(1) == '\n' || peek(1) == '\f') {
                m_pos += 2; // an escaped line end continues the string
            } else if (peek(1) == '\r') {
                m_pos += peek(2) == '\n' ? 3 : 2;
            } else {
                appendEscape(value);
            }
        }
    }

    TComplex parseComplex()
    {
        TComplex complex;
        complex.compounds.push_back(parseCompound(false));
        for (;;) {
            const bool space = skipSpace();
            if (atEnd() || peek() == ',')
                return complex;
            char combinator = ' ';
            if (peek() == '>' || peek() == '+' || peek() == '~') {
                combinator = peek();
                ++m_pos;
                skipSpace();
            } else if (!space) {
                fail(m_pos);
            }
            complex.combinators += combinator;
            complex.compounds.push_back(parseCompound(false));
        }
    }

    TCompound parseCompound(bool inNegation)
    {
        if (++m_compounds > MaxCompounds)
            throw TException(
                "セレクターの部分が多すぎます（" + std::to_string(MaxCompounds) + " 個まで）: " + shown(m_text));
        TCompound compound;
        bool any = false;
        if (peek() == '*') {
            ++m_pos;
            any = true;
        } else if (isIdentStart(m_pos)) {
            compound.type = lowerAsciiText(parseIdent());
            any = true;
        }
        for (;; any = true) {
            if (atEnd())
                break;
            const char c = peek();
            if (c == '#') {
                ++m_pos;
                if (!isNameChar(m_pos))
                    fail(m_pos);
                compound.ids.push_back(parseName());
            } else if (c == '.') {
                ++m_pos;
                compound.classes.push_back(parseIdent());
            } else if (c == '[') {
                compound.attributes.push_back(parseAttribute());
            } else if (c == ':') {
                parsePseudoClass(compound, inNegation);
            } else {
                break;
            }
        }
        if (!any)
            fail(m_pos);
        return compound;
    }

    TAttributeTest parseAttribute()
    {
        TAttributeTest test;
        ++m_pos; // [
        skipSpace();
        test.name = lowerAsciiText(parseIdent());
        skipSpace();
        if (peek() == ']') {
            ++m_pos;
            return test;
        }
        switch (peek()) {
        case '=':
            test.op = AttributeOp::Equals;
            break;
        case '~':
            test.op = AttributeOp::Word;
            break;
        case '|':
            test.op = AttributeOp::DashPrefix;
            break;
        case '^':
            test.op = AttributeOp::Prefix;
            break;
        case '$':
            test.op = AttributeOp::Suffix;
            break;
        case '*':
            test.op = AttributeOp::Contains;
            break;
        default:
            fail(m_pos);
        }
        if (test.op != AttributeOp::Equals) {
            ++m_pos;
            if (peek() != '=')
                fail(m_pos);
        }
        ++m_pos;
        skipSpace();
        if (peek() == '"' || peek() == '\'')
            test.value = parseString();
        else if (isNameChar(m_pos))
            test.value = parseName(); // bare values may also be numbers, as [width=100]
        else
            fail(m_pos);
        const bool space = skipSpace();
        if (space && (peek() == 'i' || peek() == 'I' || peek() == 's' || peek() == 'S') && !isNameChar(m_pos + 1)) {
            test.ignoreCase = lowerAscii(peek()) == 'i';
            ++m_pos;
            skipSpace();
        }
        if (peek() != ']')
            fail(m_pos);
        ++m_pos;
        if (test.ignoreCase)
            test.value = lowerAsciiText(test.value);
        return test;
    }

    void parsePseudoClass(TCompound& compound, bool inNegation)
    {
        const size_t start = m_pos;
        ++m_pos; // :
        if (peek() == ':') { // a pseudo-element has no text of its own in the page
            ++m_pos;
            parseIdent();
            failUnsupported(start, m_pos);
        }
        const std::string name = lowerAsciiText(parseIdent());
        if (peek() != '(') {
            TNth first;
            TNth last;
            last.fromEnd = true;
            if (name == "first-of-type" || name == "last-of-type" || name == "only-of-type")
                first.ofType = last.ofType = true;
            if (name == "first-child" || name == "first-of-type")
                compound.positions.push_back(first);
            else if (name == "last-child" || name == "last-of-type")
                compound.positions.push_back(last);
            else if (name == "only-child" || name == "only-of-type")
                compound.positions.insert(compound.positions.end(), { first, last });
            else
                failUnsupported(start, m_pos);
            return;
        }
        ++m_pos; // (
        skipSpace();
        if (name == "not") {
            if (inNegation)
                fail(start);
            for (;;) {
                compound.negations.push_back(parseCompound(true));
                skipSpace();
                if (peek() != ',')
                    break;
                ++m_pos;
                skipSpace();
            }
        } else if (name == "nth-child" || name == "nth-last-child" || name == "nth-of-type"
            || name == "nth-last-of-type") {
            TNth nth = parseNth();
            nth.fromEnd = name.find("last") != std::string::npos;
            nth.ofType = name.find("type") != std::string::npos;
            compound.positions.push_back(nth);
            skipSpace();
        } else {
            failUnsupported(start, m_pos);
        }
        if (peek() != ')')
            fail(m_pos);
        ++m_pos;
    }

    bool parseWord(std::string_view word)
    {
        if (m_text.size() - m_pos < word.size() || !equalsIgnoringAsciiCase(m_text.substr(m_pos, word.size()), word)
            || isNameChar(m_pos + word.size()))
            return false;
        m_pos += word.size();
        return true;
    }

    int64_t parseNumber()
    {
        if (!isDigit(peek()))
            fail(m_pos);
        int64_t number = 0;
        for (; isDigit(peek()); ++m_pos)
            number = std::min<int64_t>(number * 10 + (peek() - '0'), MaxNthNumber);
        return number;
    }

    // odd, even, b, an, an+b with any sign; white space may stand around the sign of b.
    TNth parseNth()
    {
        TNth nth;
        if (parseWord("odd")) {
            nth.a = 2;
            return nth;
        }
        if (parseWord("even")) {
            nth.a = 2;
            nth.b = 0;
            return nth;
        }
        int64_t sign = 1;
        if (peek() == '+' || peek() == '-') {
            sign = peek() == '-' ? -1 : 1;
            ++m_pos;
        }
        const bool digits = isDigit(peek());
        const int64_t number = digits ? parseNumber() : 1;
        if (peek() != 'n' && peek() != 'N') {
            if (!digits)
                fail(m_pos);
            nth.b = sign * number;
            return nth;
        }
        ++m_pos;
        nth.a = sign * number;
        nth.b = 0;
        const size_t beforeSpace = m_pos;
        skipSpace();
        if (peek() == '+' || peek() == '-') {
            const int64_t bSign = peek() == '-' ? -1 : 1;
            ++m_pos;
            skipSpace();
            nth.b = bSign * parseNumber();
        } else {
            m_pos = beforeSpace;
        }
        return nth;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_compounds = 0;
};

// ---- XPath that reads as a selector ----

// The location paths that browsers copy for an element and that people write by hand: "/" or "//" steps of a
// lower-case name or "*", each with predicates [n] or [last()] (first only), [@a], [@a='v'] and
// [contains(@a,'v')], joined by "|". They mean what a selector means, so they stream; nullopt for any other
// expression, which libxml2 evaluates over the tree. Upper-case names are left to libxml2 too: its HTML tree
// holds lower-case names only, so they match nothing there.
class TXPathAsSelector
{
public:
    explicit TXPathAsSelector(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<std::vector<TComplex>> group()
    {
        std::vector<TComplex> group;
        do {
            std::optional<TComplex> path = locationPath();
            if (!path)
                return std::nullopt;
            group.push_back(std::move(*path));
        } while (take('|'));
        skipBlanks();
        if (m_pos != m_text.size())
            return std::nullopt;
        return group;
    }

private:
    std::optional<TComplex> locationPath()
    {
        TComplex path;
        skipBlanks();
        if (!take('/'))
            return std::nullopt;
        path.fromRoot = !take('/');
        for (;;) {
            std::optional<TCompound> compound = step();
            if (!compound || path.compounds.size() == MaxCompounds)
                return std::nullopt;
            path.compounds.push_back(std::move(*compound));
            skipBlanks();
            if (!take('/'))
                return path;
            path.combinators += take('/') ? ' ' : '>';
        }
    }

    std::optional<TCompound> step()
    {
        TCompound compound;
        skipBlanks();
        if (!take('*')) {
            compound.type = name();
            if (compound.type.empty())
                return std::nullopt;
        }
        for (bool first = true; take('['); first = false) {
            skipBlanks();
            if (isDigit(peek()) || m_text.substr(m_pos).starts_with("last()")) {
                if (!first)
                    return std::nullopt; // a position among the elements earlier predicates leave
                TNth nth;
                nth.ofType = !compound.type.empty();
                if (take('l')) {
                    m_pos += 5;
                    nth.fromEnd = true;
                } else if (!number(nth.b)) {
                    return std::nullopt;
                }
                compound.positions.push_back(nth);
            } else if (std::optional<TAttributeTest> test = attributeTest()) {
                compound.attributes.push_back(std::move(*test));
            } else {
                return std::nullopt;
            }
            skipBlanks();
            if (!take(']'))
                return std::nullopt;
        }
        return compound;
    }

    // @a, @a='v' or contains(@a, 'v'), with the value a non-empty literal in contains.
    std::optional<TAttributeTest> attributeTest()
    {
        TAttributeTest test;
        const bool contains = m_text.substr(m_pos).starts_with("contains(");
        if (contains) {
            m_pos += 9;
            skipBlanks();
        }
        if (!take('@'))
            return std::nullopt;
        test.name = name();
        if (test.name.empty())
            return std::nullopt;
        skipBlanks();
        if (contains) {
            if (!take(','))
                return std::nullopt;
            std::optional<std::string> value = literal();
            skipBlanks();
            if (!value || value->empty() || !take(')'))
                return std::nullopt;
            test.op = AttributeOp::Contains;
            test.value = std::move(*value);
        } else if (take('=')) {
            std::optional<std::string> value = literal();
            if (!value)
                return std::nullopt;
            test.op = AttributeOp::Equals;
            test.value = std::move(*value);
        }
        return test;
    }

    std::optional<std::string> literal()
    {
        skipBlanks();
        const char quote = peek();
        if (quote != '\'' && quote != '"')
            return std::nullopt;
        const size_t end = m_text.find(quote, m_pos + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string value(m_text.substr(m_pos + 1, end - m_pos - 1));
        m_pos = end + 1;
        return value;
    }

    // A name of lower-case letters, digits, "-" and "_"; empty for anything else.
    std::string name()
    {
        const size_t from = m_pos;
        while (m_pos < m_text.size()
            && ((m_text[m_pos] >= 'a' && m_text[m_pos] <= 'z') || (m_pos > from && isDigit(m_text[m_pos]))
                || (m_pos > from && (m_text[m_pos] == '-' || m_text[m_pos] == '_'))))
            ++m_pos;
        // A name that goes on in other characters (a prefix, upper case) is not one of these.
        if (m_pos < m_text.size() && (isAsciiNameChar(m_text[m_pos]) || m_text[m_pos] == ':'))
            return {};
        return std::string(m_text.substr(from, m_pos - from));
    }

    bool number(int64_t& value)
    {
        const size_t from = m_pos;
        value = 0;
        while (isDigit(peek()) && m_pos - from < 9)
            value = value * 10 + (m_text[m_pos++] - '0');
        return m_pos > from && !isDigit(peek());
    }

    static bool isAsciiNameChar(char c) noexcept
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_' || c == '.'
            || static_cast<unsigned char>(c) >= 0x80;
    }

    char peek() const noexcept { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && isCssSpace(m_text[m_pos]))
            ++m_pos;
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

// ---- Matching against libxml2's tree ----

bool isElement(const xmlNode* node) noexcept
{
    return node != nullptr && node->type == XML_ELEMENT_NODE;
}

xmlNode* parentElement(const xmlNode* node) noexcept
{
    return isElement(node->parent) ? node->parent : nullptr;
}

xmlNode* previousElement(const xmlNode* node) noexcept
{
    xmlNode* sibling = node->prev;
    while (sibling != nullptr && !isElement(sibling))
        sibling = sibling->prev;
    return sibling;
}

std::string_view nameOf(const xmlChar* name) noexcept
{
    return name != nullptr ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

// The next node of a walk in document order that does not enter `node`.
xmlNode* nextOutside(xmlNode* node) noexcept
{
    while (node != nullptr) {
        if (node->next != nullptr)
            return node->next;
        node = node->parent;
        if (node == nullptr || (node->type != XML_ELEMENT_NODE && node->type != XML_DOCUMENT_FRAG_NODE))
            return nullptr;
    }
    return nullptr;
}

// The elements of a document for which `matches` holds, in document order, without entering a match.
template <class Matches>
std::vector<xmlNode*> outermost(xmlDoc* doc, Matches&& matches)
{
    std::vector<xmlNode*> found;
    if (doc == nullptr)
        return found;
    xmlNode* node = doc->children;
    while (node != nullptr) {
        if (isElement(node)) {
            if (matches(node)) {
                found.push_back(node);
            } else if (node->children != nullptr) {
                node = node->children;
                continue;
            }
        }
        node = nextOutside(node);
    }
    return found;
}

bool containsWord(std::string_view list, std::string_view word) noexcept
{
    if (word.empty())
        return false;
    size_t at = 0;
    while (at < list.size()) {
        while (at < list.size() && isCssSpace(list[at]))
            ++at;
        size_t end = at;
        while (end < list.size() && !isCssSpace(list[end]))
            ++end;
        if (list.substr(at, end - at) == word)
            return true;
        at = end;
    }
    return false;
}

bool attributeMatches(const TAttributeTest& test, std::optional<std::string_view> found)
{
    if (!found)
        return false;
    std::string_view value = *found;
    std::string lowered;
    if (test.ignoreCase) {
        lowered = lowerAsciiText(value);
        value = lowered;
    }
    const std::string_view wanted = test.value;
    switch (test.op) {
    case AttributeOp::Exists:
        return true;
    case AttributeOp::Equals:
        return value == wanted;
    case AttributeOp::Word:
        return wanted.find_first_of(" \t\n\r\f") == std::string_view::npos && containsWord(value, wanted);
    case AttributeOp::DashPrefix:
        return value == wanted
            || (value.starts_with(wanted) && value.size() > wanted.size() && value[wanted.size()] == '-');
    case AttributeOp::Prefix:
        return !wanted.empty() && value.starts_with(wanted);
    case AttributeOp::Suffix:
        return !wanted.empty() && value.ends_with(wanted);
    case AttributeOp::Contains:
        return !wanted.empty() && value.find(wanted) != std::string_view::npos;
    }
    return false;
}

bool nthMatches(const TNth& nth, int64_t index) noexcept
{
    if (nth.a == 0)
        return index == nth.b;
    const int64_t distance = index - nth.b;
    return distance % nth.a == 0 && distance / nth.a >= 0;
}

class TCssMatcher
{
public:
    explicit TCssMatcher(const std::vector<TComplex>& group)
        : m_group(group)
        , m_memo(group.size())
        , m_ancestorMemo(group.size())
        , m_siblingMemo(group.size())
    {
        for (size_t i = 0; i < group.size(); ++i) {
            m_memo[i].resize(group[i].compounds.size());
            m_ancestorMemo[i].resize(group[i].compounds.size());
            m_siblingMemo[i].resize(group[i].compounds.size());
        }
        const auto byType = [](const TCompound& c) {
            return std::any_of(c.positions.begin(), c.positions.end(), [](const TNth& n) { return n.ofType; });
        };
        for (const TComplex& complex : group)
            for (const TCompound& compound : complex.compounds)
                m_byType = m_byType || byType(compound)
                    || std::any_of(compound.negations.begin(), compound.negations.end(), byType);
    }

    bool matches(xmlNode* element)
    {
        for (size_t i = 0; i < m_group.size(); ++i)
            if (matchFrom(i, m_group[i].compounds.size() - 1, element))
                return true;
        return false;
    }

private:
    struct TPosition
    {
        int64_t index = 0; // among the element siblings, from 1
        int64_t fromEnd = 0;
        int64_t typeIndex = 0; // among the siblings of the same name
        int64_t typeFromEnd = 0;
    };

    // compounds[0..step] of one selector with compounds[step] on `element`.
    bool matchFrom(size_t selector, size_t step, xmlNode* element)
    {
        const TComplex& complex = m_group[selector];
        if (!matchCompound(complex.compounds[step], element))
            return false;
        if (step == 0)
            return true;
        switch (complex.combinators[step - 1]) {
        case '>': {
            xmlNode* parent = parentElement(element);
            return parent != nullptr && matchBefore(selector, step - 1, parent);
        }
        case '+': {
            xmlNode* previous = previousElement(element);
            return previous != nullptr && matchBefore(selector, step - 1, previous);
        }
        case '~':
            return anyBefore(selector, step - 1, element, previousElement);
        default:
            return anyBefore(selector, step - 1, element, parentElement);
        }
    }

    // Whether compounds[0..step] match on the element's only candidate (its parent or its previous sibling), or
    // on one of its candidates for a descendant or ~ combinator, which `next` walks through.
    bool matchBefore(size_t selector, size_t step, xmlNode* element)
    {
        if (!branches(selector, step))
            return matchFrom(selector, step, element);
        auto& memo = m_memo[selector][step];
        if (const auto known = memo.find(element); known != memo.end())
            return known->second;
        const bool result = matchFrom(selector, step, element);
        memo.emplace(element, result);
        return result;
    }

    bool anyBefore(size_t selector, size_t step, xmlNode* element, xmlNode* (*next)(const xmlNode*) noexcept)
    {
        if (!branches(selector, step)) {
            for (xmlNode* e = next(element); e != nullptr; e = next(e))
                if (matchFrom(selector, step, e))
                    return true;
            return false;
        }
        // Where the left part branches again (as in "div div div p"), each element is tried once per step and
        // the answer for an element is kept for every element whose walk passes it, so the work grows with the
        // page times the selector, not with the depth of the page to the power of the selector.
        auto& memo = next == parentElement ? m_ancestorMemo[selector][step] : m_siblingMemo[selector][step];
        std::vector<xmlNode*> walked;
        bool result = false;
        for (xmlNode* e = element;;) {
            if (const auto known = memo.find(e); known != memo.end()) {
                result = known->second;
                break;
            }
            walked.push_back(e);
            e = next(e);
            if (e == nullptr)
                break;
            if (matchBefore(selector, step, e)) {
                result = true;
                break;
            }
        }
        for (xmlNode* e : walked)
            memo.emplace(e, result);
        return result;
    }

    // Whether matching compounds[0..step] may try many elements for one: a descendant or ~ combinator among them.
    bool branches(size_t selector, size_t step) const
    {
        return m_group[selector].combinators.find_first_of(" ~") < step;
    }

    std::optional<std::string_view> attribute(const xmlNode* element, std::string_view name)
    {
        for (const xmlAttr* a = element->properties; a != nullptr; a = a->next) {
            if (!equalsIgnoringAsciiCase(nameOf(a->name), name))
                continue;
            const xmlNode* child = a->children;
            if (child == nullptr)
                return std::string_view();
            if (child->next == nullptr && child->type == XML_TEXT_NODE)
                return nameOf(child->content);
            xmlChar* value = xmlNodeListGetString(element->doc, child, 1);
            m_scratch = nameOf(value);
            xmlFree(value);
            return std::string_view(m_scratch);
        }
        return std::nullopt;
    }

    bool matchAttribute(const TAttributeTest& test, const xmlNode* element)
    {
        return attributeMatches(test, attribute(element, test.name));
    }

    // Numbers every element child of the parent at once, so a long list costs one pass, not one per item. The
    // parser gives element names in lower case, so a name's bytes stand for its type.
    const TPosition& position(xmlNode* element)
    {
        if (const auto known = m_positions.find(element); known != m_positions.end())
            return known->second;
        std::vector<std::pair<const xmlNode*, TPosition*>> siblings;
        for (xmlNode* e = element->parent != nullptr ? element->parent->children : element; e != nullptr; e = e->next)
            if (isElement(e))
                siblings.emplace_back(e, &m_positions[e]);
        std::unordered_map<std::string_view, int64_t> typeCounts;
        for (size_t i = 0; i < siblings.size(); ++i) {
            TPosition& p = *siblings[i].second;
            p.index = static_cast<int64_t>(i) + 1;
            p.fromEnd = static_cast<int64_t>(siblings.size() - i);
            if (m_byType)
                p.typeIndex = ++typeCounts[nameOf(siblings[i].first->name)];
        }
        if (m_byType)
            for (const auto& [e, p] : siblings)
                p->typeFromEnd = typeCounts[nameOf(e->name)] - p->typeIndex + 1;
        return m_positions[element];
    }

    bool matchCompound(const TCompound& compound, xmlNode* element)
    {
        if (!compound.type.empty() && !equalsIgnoringAsciiCase(nameOf(element->name), compound.type))
            return false;
        for (const std::string& id : compound.ids) {
            const auto value = attribute(element, "id");
            if (!value || *value != id)
                return false;
        }
        for (const std::string& name : compound.classes) {
            const auto value = attribute(element, "class");
            if (!value || !containsWord(*value, name))
                return false;
        }
        for (const TAttributeTest& test : compound.attributes)
            if (!matchAttribute(test, element))
                return false;
        for (const TNth& nth : compound.positions) {
            const TPosition& p = position(element);
            const int64_t index
                = nth.ofType ? (nth.fromEnd ? p.typeFromEnd : p.typeIndex) : (nth.fromEnd ? p.fromEnd : p.index);
            if (!nthMatches(nth, index))
                return false;
        }
        for (const TCompound& negation : compound.negations)
            if (matchCompound(negation, element))
                return false;
        return true;
    }

    const std::vector<TComplex>& m_group;
    // Per selector and step: whether compounds[0..step] match on an element; on one of its ancestors; on one
    // of its earlier siblings.
    std::vector<std::vector<std::unordered_map<const xmlNode*, bool>>> m_memo;
    std::vector<std::vector<std::unordered_map<const xmlNode*, bool>>> m_ancestorMemo;
    std::vector<std::vector<std::unordered_map<const xmlNode*, bool>>> m_siblingMemo;
    std::unordered_map<const xmlNode*, TPosition> m_positions;
    bool m_byType = false; // a :*-of-type test is in the group
    std::string m_scratch;
};

// ---- Matching while the page streams ----

// Whether a compound's answer needs what comes after the element: its place counted from the end.
bool looksAhead(const TCompound& compound) noexcept
{
    return std::any_of(compound.positions.begin(), compound.positions.end(), [](const TNth& n) { return n.fromEnd; })
        || std::any_of(compound.negations.begin(), compound.negations.end(), looksAhead);
}

// Whether a compound counts its element among siblings of its name.
bool usesType(const TCompound& compound) noexcept
{
    return std::any_of(compound.positions.begin(), compound.positions.end(), [](const TNth& n) { return n.ofType; })
        || std::any_of(compound.negations.begin(), compound.negations.end(), usesType);
}

// The children of one element met so far, counted by name.
using TNameCounts = std::vector<std::pair<std::string, int64_t>>;

// Counts one more child of `name`; the slot of its name in `counts`.
size_t countByName(TNameCounts& counts, std::string_view name)
{
    auto counted = std::find_if(counts.begin(), counts.end(), [&](const auto& count) { return count.first == name; });
    if (counted == counts.end())
        counted = counts.insert(counted, { std::string(name), 0 });
    ++counted->second;
    return static_cast<size_t>(counted - counts.begin());
}

// Where each element stands counted from the end: among its siblings, and among its siblings of its name. Read
// in a first pass over the page, for selectors that ask; elements are numbered in the order they begin.
struct TPlaceFromEnd
{
    int64_t index = 0; // 1 for the last child
    int64_t typeIndex = 0;
};

class TSiblingCounter final : public TElementPicker
{
public:
    // Counting by name costs more, so only a group that asks for it gets it.
    explicit TSiblingCounter(bool byType)
        : m_byType(byType)
    {
        m_frames.resize(1); // the document
    }

    bool enter(std::string_view name, std::span<const TTagAttribute>) override
    {
        const size_t element = m_places.size();
        m_places.emplace_back();
        TFrame& parent = m_frames[m_depth];
        TChild child { element, static_cast<int64_t>(parent.children.size()) + 1, 0, 0 };
        if (m_byType) {
            child.typeSlot = countByName(parent.typeCounts, name);
            child.typeIndex = parent.typeCounts[child.typeSlot].second;
        }
        parent.children.push_back(child);
        // Frames are kept when an element ends, for the next element at that depth.
        if (++m_depth == m_frames.size())
            m_frames.emplace_back();
        m_frames[m_depth].children.clear();
        m_frames[m_depth].typeCounts.clear();
        return false;
    }

    void leave() override { close(m_frames[m_depth--]); }

    bool wantsAttribute(std::string_view) const override { return false; }
    bool takesNothing() const override { return true; }

    // The places once the pass has ended.
    const std::vector<TPlaceFromEnd>& places()
    {
        while (m_depth > 0)
            leave();
        close(m_frames[0]);
        return m_places;
    }

private:
    struct TChild
    {
        size_t element;
        int64_t index;
        int64_t typeIndex;
        size_t typeSlot;
    };

    struct TFrame
    {
        std::vector<TChild> children;
        TNameCounts typeCounts;
    };

    void close(const TFrame& frame)
    {
        const auto total = static_cast<int64_t>(frame.children.size());
        for (const TChild& child : frame.children)
            m_places[child.element] = { total - child.index + 1,
                m_byType ? frame.typeCounts[child.typeSlot].second - child.typeIndex + 1 : 0 };
    }

    bool m_byType;
    std::vector<TFrame> m_frames;
    size_t m_depth = 0;
    std::vector<TPlaceFromEnd> m_places;
};

// Matches a selector group element by element as pageTextOfPicked meets them. For each open element it keeps,
// per selector and step, whether compounds[0..step] match with compounds[step] on it; the same for the element
// or one of its ancestors; for the children met so far and for the last of them. A combinator then looks at
// the parent's bits only, so each element costs the selector's length, whatever the page.
class TStreamMatcher final : public TElementPicker
{
public:
    // With the places of a first pass, tests that count from the end can be answered too.
    explicit TStreamMatcher(const std::vector<TComplex>& group, const std::vector<TPlaceFromEnd>* places = nullptr)
        : m_group(group)
        , m_places(places)
    {
        size_t steps = 0;
        for (const TComplex& complex : group) {
            m_offsets.push_back(steps);
            steps += complex.compounds.size();
            for (const TCompound& compound : complex.compounds) {
                m_byType = m_byType || usesType(compound);
                addAttributeNames(compound);
            }
            // Which of the parent's bits a step's combinator looks at, for the step before it.
            m_parts.push_back(Self);
            for (const char combinator : complex.combinators)
                m_parts.push_back(combinator == '>' ? Self
                        : combinator == ' '         ? Inherited
                        : combinator == '+'         ? LastChild
                                                    : Children);
        }
        m_words = (steps + 63) / 64;
        m_levels.resize(1); // the document
        m_bits.assign(4 * m_words, 0);
    }

    bool enter(std::string_view name, std::span<const TTagAttribute> attributes) override
    {
        const size_t parent = m_depth;
        const size_t level = ++m_depth;
        // Levels and their bits are kept when an element ends, for the next element at that depth.
        if (m_levels.size() <= level) {
            m_levels.emplace_back();
            m_bits.resize((level + 1) * 4 * m_words);
        }
        m_levels[level].children = 0;
        m_levels[level].typeCounts.clear();
        std::fill_n(m_bits.begin() + static_cast<ptrdiff_t>(level * 4 * m_words), 4 * m_words, 0);
        TLevel& up = m_levels[parent];
        const int64_t index = ++up.children;
        int64_t typeIndex = 0;
        if (m_byType) {
            typeIndex = up.typeCounts[countByName(up.typeCounts, name)].second;
        }
        TPlaceFromEnd fromEnd;
        if (m_places != nullptr && m_entered < m_places->size())
            fromEnd = (*m_places)[m_entered];
        ++m_entered;
        const TElement element { name, attributes, index, typeIndex, fromEnd };
        bool matches = false;
        for (size_t selector = 0; selector < m_group.size(); ++selector) {
            const TComplex& complex = m_group[selector];
            for (size_t step = 0; step < complex.compounds.size(); ++step) {
                const size_t at = m_offsets[selector] + step;
                if (step > 0 ? !bit(parent, m_parts[at], at - 1) : complex.fromRoot && parent != 0)
                    continue;
                if (!matchCompound(complex.compounds[step], element))
                    continue;
                setBit(level, Self, m_offsets[selector] + step);
                matches = matches || step + 1 == complex.compounds.size();
            }
        }
        for (size_t w = 0; w < m_words; ++w) {
            const uint64_t self = word(level, Self, w);
            word(level, Inherited, w) = word(parent, Inherited, w) | self;
            word(parent, Children, w) |= self;
            word(parent, LastChild, w) = self;
        }
        return matches;
    }

    bool wantsAttribute(std::string_view name) const override
    {
        return std::find(m_attributeNames.begin(), m_attributeNames.end(), name) != m_attributeNames.end();
    }

    void leave() override { --m_depth; }

private:
    enum Part { Self, Inherited, Children, LastChild };

    struct TLevel
    {
        int64_t children = 0;
        TNameCounts typeCounts; // children by name, when a test counts them
    };

    struct TElement
    {
        std::string_view name;
        std::span<const TTagAttribute> attributes;
        int64_t index;
        int64_t typeIndex;
        TPlaceFromEnd fromEnd;
    };

    void addAttributeNames(const TCompound& compound)
    {
        const auto add = [&](std::string_view name) {
            if (!wantsAttribute(name))
                m_attributeNames.emplace_back(name);
        };
        if (!compound.ids.empty())
            add("id");
        if (!compound.classes.empty())
            add("class");
        for (const TAttributeTest& test : compound.attributes)
            add(test.name);
        for (const TCompound& negation : compound.negations)
            addAttributeNames(negation);
    }

    uint64_t& word(size_t level, Part part, size_t w) { return m_bits[(level * 4 + part) * m_words + w]; }
    bool bit(size_t level, Part part, size_t at) { return (word(level, part, at / 64) >> (at % 64)) & 1; }
    void setBit(size_t level, Part part, size_t at) { word(level, part, at / 64) |= uint64_t(1) << (at % 64); }

    static std::optional<std::string_view> attribute(const TElement& element, std::string_view name)
    {
        for (const TTagAttribute& a : element.attributes)
            if (a.name == name)
                return a.value;
        return std::nullopt;
    }

    static bool matchCompound(const TCompound& compound, const TElement& element)
    {
        if (!compound.type.empty() && compound.type != element.name)
            return false;
        for (const std::string& id : compound.ids) {
            const auto value = attribute(element, "id");
            if (!value || *value != id)
                return false;
        }
        for (const std::string& name : compound.classes) {
            const auto value = attribute(element, "class");
            if (!value || !containsWord(*value, name))
                return false;
        }
        for (const TAttributeTest& test : compound.attributes)
            if (!attributeMatches(test, attribute(element, test.name)))
                return false;
        for (const TNth& nth : compound.positions)
            if (!nthMatches(nth,
                    nth.fromEnd ? (nth.ofType ? element.fromEnd.typeIndex : element.fromEnd.index)
                                : (nth.ofType ? element.typeIndex : element.index)))
                return false;
        for (const TCompound& negation : compound.negations)
            if (matchCompound(negation, element))
                return false;
        return true;
    }

    const std::vector<TComplex>& m_group;
    const std::vector<TPlaceFromEnd>* m_places;
    size_t m_entered = 0;
    std::vector<size_t> m_offsets; // of each selector's first step among all steps
    std::vector<Part> m_parts; // per step
    std::vector<std::string> m_attributeNames; // that the group tests
    size_t m_words = 0;
    bool m_byType = false;
    std::vector<TLevel> m_levels; // the document, then each open element
    size_t m_depth = 0; // of the element entered last; the document is 0
    std::vector<uint64_t> m_bits; // per level its four parts of m_words words
};

// ---- XPath through libxml2 ----

// What failed, in the words of the item dialog; libxml2 leaves the message of its context's error empty.
std::string xpathReason(const xmlError& error)
{
    switch (static_cast<xmlXPathError>(error.code - XML_XPATH_EXPRESSION_OK)) {
    case XPATH_NUMBER_ERROR:
        return "数の書き方";
    case XPATH_UNFINISHED_LITERAL_ERROR:
        return "閉じていない文字列";
    case XPATH_START_LITERAL_ERROR:
        return "文字列の始まり";
    case XPATH_VARIABLE_REF_ERROR:
    case XPATH_UNDEF_VARIABLE_ERROR:
    case XPATH_FORBID_VARIABLE_ERROR:
        return "変数";
    case XPATH_INVALID_PREDICATE_ERROR:
        return "[ ] の中";
    case XPATH_EXPR_ERROR:
        return "式の書き方";
    case XPATH_UNCLOSED_ERROR:
        return "閉じていない括弧";
    case XPATH_UNKNOWN_FUNC_ERROR:
        return "知らない関数";
    case XPATH_INVALID_OPERAND:
    case XPATH_INVALID_TYPE:
        return "値の種類";
    case XPATH_INVALID_ARITY:
        return "関数の引数の数";
    case XPATH_UNDEF_PREFIX_ERROR:
        return "名前空間の接頭辞";
    case XPATH_ENCODING_ERROR:
    case XPATH_INVALID_CHAR_ERROR:
        return "使えない文字";
    case XPATH_MEMORY_ERROR:
    case XPATH_STACK_ERROR:
    case XPATH_OP_LIMIT_EXCEEDED:
    case XPATH_RECURSION_LIMIT_EXCEEDED:
        return "処理の量の上限";
    default:
        return "libxml2 のエラー " + std::to_string(error.code);
    }
}

void ignoreGenericError(void*, const char*, ...) { }

// libxml2 prints some failures of an evaluation (an unknown function) through its generic handler, which is
// per thread; it is silenced for the call and given back after it.
class TQuietGenericErrors
{
public:
    TQuietGenericErrors()
        : m_handler(xmlGenericError)
        , m_context(xmlGenericErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    }
    ~TQuietGenericErrors() { xmlSetGenericErrorFunc(m_context, m_handler); }
    TQuietGenericErrors(const TQuietGenericErrors&) = delete;
    TQuietGenericErrors& operator=(const TQuietGenericErrors&) = delete;

private:
    xmlGenericErrorFunc m_handler;
    void* m_context;
};

struct TXPathContext
{
    explicit TXPathContext(xmlDoc* doc)
        : context(xmlXPathNewContext(doc))
    {
        if (context == nullptr)
            throw TException("XPath の式を使う用意ができません");
        // Errors come back through lastError; without a handler libxml2 would print them.
        context->error = [](void*, auto) {};
        context->opLimit = XPathOperationLimit;
    }
    ~TXPathContext() { xmlXPathFreeContext(context); }
    TXPathContext(const TXPathContext&) = delete;
    TXPathContext& operator=(const TXPathContext&) = delete;

    xmlXPathContext* context;
};

// An element of the page for a node of the result, as the header says; nullptr for none.
xmlNode* elementOf(xmlNode* node) noexcept
{
    switch (node->type) {
    case XML_ELEMENT_NODE:
        return node;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
        return parentElement(node);
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return xmlDocGetRootElement(reinterpret_cast<xmlDoc*>(node));
    default:
        return nullptr;
    }
}

} // namespace

struct TRegionSelector::TImpl
{
    std::vector<TComplex> css;
    std::string expression; // XPath, without its prefix
    xmlXPathCompExpr* xpath = nullptr;
    std::optional<std::vector<TComplex>> xpathAsSelector; // when the expression reads as one

    // The group that streams, when one does.
    const std::vector<TComplex>* streamed() const noexcept
    {
        return xpath == nullptr ? &css : xpathAsSelector ? &*xpathAsSelector : nullptr;
    }

    TImpl() = default;
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;
    ~TImpl()
    {
        if (xpath != nullptr)
            xmlXPathFreeCompExpr(xpath);
    }

    std::vector<xmlNode*> selectXPath(xmlDoc* doc) const
    {
        TXPathContext context(doc);
        xmlXPathObject* result;
        {
            const TQuietGenericErrors quiet;
            result = xmlXPathCompiledEval(xpath, context.context);
        }
        if (result == nullptr)
            throw TException(
                "XPath の式を使えません（" + xpathReason(context.context->lastError) + "）: " + shown(expression));
        struct TFree
        {
            xmlXPathObject* object;
            ~TFree() { xmlXPathFreeObject(object); }
        } const freeResult { result };
        if (result->type != XPATH_NODESET)
            throw TException("XPath の式が要素ではなく数や文字列を返します: " + shown(expression));
        std::unordered_set<const xmlNode*> chosen;
        if (result->nodesetval != nullptr)
            for (int i = 0; i < result->nodesetval->nodeNr; ++i)
                if (const xmlNode* element = elementOf(result->nodesetval->nodeTab[i]))
                    chosen.insert(element);
        if (chosen.empty())
            return {};
        return outermost(doc, [&](const xmlNode* element) { return chosen.contains(element); });
    }
};

TRegionSelector::TRegionSelector(std::string_view region)
    : m_impl(std::make_unique<TImpl>())
{
    const bool xpath = region.size() >= XPathPrefix.size()
        && equalsIgnoringAsciiCase(region.substr(0, XPathPrefix.size()), XPathPrefix);
    const std::string_view text = xpath ? region.substr(XPathPrefix.size()) : region;
    const char* kind = xpath ? "XPath の式" : "セレクター";
    if (region.size() > MaxRegionLength)
        throw TException(
            std::string(kind) + "が長すぎます（" + std::to_string(MaxRegionLength) + " バイトまで）: " + shown(text));
    if (!xpath) {
        m_impl->css = TCssParser(text).parseGroup();
        return;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        throw TException("XPath の式が空です");
    m_impl->expression = std::string(text);
    if (const size_t zero = text.find('\0'); zero != std::string_view::npos)
        throw TException(
            "XPath の式の" + std::to_string(characterNumber(text, zero)) + "文字目が読めません: " + shown(text));
    TXPathContext context(nullptr);
    const TQuietGenericErrors quiet;
    m_impl->xpath = xmlXPathCtxtCompile(context.context, reinterpret_cast<const xmlChar*>(m_impl->expression.c_str()));
    if (m_impl->xpath == nullptr) {
        const xmlError& error = context.context->lastError;
        const auto at = static_cast<size_t>(std::max(error.int1, 0));
        const std::string reason = "（" + xpathReason(error) + "）: " + shown(text);
        if (at >= text.size())
            throw TException("XPath の式が途中で終わっています" + reason);
        throw TException("XPath の式の" + std::to_string(characterNumber(text, at)) + "文字目が読めません" + reason);
    }
    m_impl->xpathAsSelector = TXPathAsSelector(text).group();
}

TRegionSelector::~TRegionSelector() = default;
TRegionSelector::TRegionSelector(TRegionSelector&&) noexcept = default;
TRegionSelector& TRegionSelector::operator=(TRegionSelector&&) noexcept = default;

bool TRegionSelector::isXPath() const noexcept
{
    return m_impl->xpath != nullptr;
}

bool TRegionSelector::streams() const noexcept
{
    return m_impl->streamed() != nullptr;
}

std::optional<TPickedText> TRegionSelector::streamedText(std::string_view utf8Html) const
{
    const std::vector<TComplex>* group = m_impl->streamed();
    if (group == nullptr)
        return std::nullopt;
    const auto any = [group](auto test) {
        return std::any_of(group->begin(), group->end(), [test](const TComplex& complex) {
            return std::any_of(complex.compounds.begin(), complex.compounds.end(), test);
        });
    };
    if (!any(looksAhead)) {
        TStreamMatcher matcher(*group);
        return pageTextOfPicked(utf8Html, matcher);
    }
    TSiblingCounter counter(any(usesType));
    if (!pageTextOfPicked(utf8Html, counter))
        return std::nullopt;
    TStreamMatcher matcher(*group, &counter.places());
    return pageTextOfPicked(utf8Html, matcher);
}

std::vector<_xmlNode*> TRegionSelector::select(_xmlDoc* doc) const
{
    if (m_impl->xpath != nullptr)
        return m_impl->selectXPath(doc);
    TCssMatcher matcher(m_impl->css);
    return outermost(doc, [&](xmlNode* element) { return matcher.matches(element); });
}

std::vector<_xmlNode*> selectRegion(_xmlDoc* doc, std::string_view region)
{
    return TRegionSelector(region).select(doc);
}

void checkRegion(std::string_view region)
{
    const TRegionSelector selector(region);
    if (!selector.isXPath())
        return;
    static constexpr std::string_view Sample = "<!DOCTYPE html><html lang=ja><head><title>t</title></head><body>"
                                               "<div id=a class=b><h1>h</h1><p>p <a href=x>a</a></p>"
                                               "<ul><li>1</li><li>2</li></ul><table><tr><td>d</td></tr></table>"
                                               "</div></body></html>";
    selector.select(THtmlDocument(Sample).doc());
}
