// The text of picked elements in one pass that builds the tree as libxml2's HTML parser (2.9) builds it, so that
// a region read this way gives the text that the same region gives over THtmlDocument. The rules here are
// libxml2's, not the browser's of pageText: which start tags end which open elements, how far an end tag
// reaches, the implied html, head, body and p elements, script and style as raw text, references that need
// their ";". Markup whose tree is not certain this way gives up (nullopt) rather than guess.
//
// Where libxml2 and a browser build different trees (a section inside an open p, h2 inside h1, b ended by p,
// no implied row for a cell), a region follows libxml2: it is the tree XPath sees and the one the selectors
// that look ahead are matched on, so a region's text does not depend on how it was read. pageText keeps the
// browser's rules, since no selector is matched on its tree.
#include "text/page_text.h"

#include "base/byte_text.h"
#include "text/text_builder.h"
#include "text/unicode_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using E = THtmlElement;

// Deeper than this libxml2 stops parsing (its limit of 256 nodes) unless told otherwise.
constexpr size_t MaxDepth = 250;
// libxml2 reads names of at most 100 characters.
constexpr size_t MaxName = 99;

bool isXmlBlank(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Control characters other than tab, line feed and carriage return, which libxml2 leaves out of text (and
// which imply no paragraph where they stand alone).
bool isControl(char c) noexcept
{
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Where a run of character data stops: markup, a reference, or a character libxml2 leaves out.
constexpr std::array<bool, 256> StopBytes = [] {
    std::array<bool, 256> table {};
    for (int c = 0; c < 0x20; ++c)
        table[static_cast<size_t>(c)] = c != '\t' && c != '\n' && c != '\r';
    table['<'] = table['&'] = true;
    return table;
}();

// The first stop byte at or after `from`, or the end. Text runs are most of a page, so sixteen bytes are looked
// at a time where the processor allows.
size_t nextStop(std::string_view s, size_t from) noexcept
{
    size_t at = from;
#ifdef __SSE2__
    const __m128i lessThan = _mm_set1_epi8('<');
    const __m128i ampersand = _mm_set1_epi8('&');
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i minusOne = _mm_set1_epi8(-1);
    while (at + 16 <= s.size()) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
        // Bytes below 0x20 (signed, so not those from 0x80) may stop; tab, line feed and return are looked at
        // one by one below.
        const __m128i control = _mm_and_si128(_mm_cmplt_epi8(bytes, space), _mm_cmpgt_epi8(bytes, minusOne));
        const __m128i candidates
            = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lessThan), _mm_cmpeq_epi8(bytes, ampersand)), control);
        const int mask = _mm_movemask_epi8(candidates);
        if (mask == 0) {
            at += 16;
            continue;
        }
        at += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        if (StopBytes[static_cast<unsigned char>(s[at])])
            return at;
        ++at;
    }
#endif
    while (at < s.size() && !StopBytes[static_cast<unsigned char>(s[at])])
        ++at;
    return at;
}

// Where a byte next stands, or npos. The distances in markup are short, where a loop beats a call to memchr.
size_t findByte(std::string_view s, char c, size_t from) noexcept
{
    const size_t near = std::min(s.size(), from + 32);
    for (size_t at = from; at < near; ++at)
        if (s[at] == c)
            return at;
    return near < s.size() ? s.find(c, near) : std::string_view::npos;
}

bool isAsciiLetter(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// Characters of a tag or attribute name as libxml2's HTML parser reads them.
bool isHtmlNameChar(char c) noexcept
{
    return isAsciiLetter(c) || isDigit(c) || c == ':' || c == '-' || c == '_' || c == '.';
}

bool isHtmlNameStart(char c) noexcept
{
    return isAsciiLetter(c) || c == '_' || c == ':' || c == '.';
}

// The characters XML allows; libxml2 turns a reference to any other into nothing.
bool isXmlChar(uint32_t c) noexcept
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isAny(std::string_view name, std::initializer_list<std::string_view> names) noexcept
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// How far an end tag reaches past open elements of other names: not past one of a higher priority.
int endPriority(std::string_view name) noexcept
{
    if (name == "div")
        return 150;
    if (name == "td" || name == "th")
        return 160;
    if (name == "tr")
        return 170;
    if (name == "thead" || name == "tbody" || name == "tfoot")
        return 180;
    if (name == "table")
        return 190;
    if (name == "head" || name == "body")
        return 200;
    if (name == "html")
        return 220;
    return 100;
}

// The names of HTML 4 and the older ones libxml2 knows, sorted; a tag's place among them (from 1, 0 for any other
// name) stands for its name in the tables below.
// clang-format off
constexpr std::string_view RuleNames[] = {
    "a", "abbr", "acronym", "address", "applet", "area", "b", "base", "basefont", "bdo", "big", "blockquote",
    "body", "br", "button", "caption", "center", "cite", "code", "col", "colgroup", "dd", "del", "dfn",
    "dir", "div", "dl", "dt", "em", "embed", "fieldset", "font", "form", "frame", "frameset", "h1",
    "h2", "h3", "h4", "h5", "h6", "head", "hr", "html", "i", "iframe", "img", "input",
    "ins", "isindex", "kbd", "label", "legend", "li", "link", "listing", "map", "menu", "meta", "nobr",
    "noframes", "noscript", "object", "ol", "optgroup", "option", "p", "param", "plaintext", "pre", "q", "s",
    "samp", "script", "select", "small", "span", "strike", "strong", "style", "sub", "sup", "table", "tbody",
    "td", "textarea", "tfoot", "th", "thead", "title", "tr", "tt", "u", "ul", "var", "xmp",
};
// clang-format on
constexpr size_t RuleNameCount = std::size(RuleNames);

constexpr uint8_t constantCode(std::string_view name) noexcept
{
    const auto* found = std::lower_bound(std::begin(RuleNames), std::end(RuleNames), name);
    return found != std::end(RuleNames) && *found == name ? static_cast<uint8_t>(found - std::begin(RuleNames) + 1) : 0;
}

constexpr std::string_view ruleName(std::string_view name) noexcept
{
    return name;
}

constexpr TNameTable<512> RuleNameTable(RuleNames, ruleName);

// The place of a name among RuleNames, at the speed of a hash: every start and end tag asks it.
inline uint8_t ruleCode(std::string_view name) noexcept
{
    return name.size() > 10 ? 0 : RuleNameTable.find(name, RuleNames, ruleName);
}

struct TRuleTables
{
    std::array<std::array<bool, RuleNameCount + 1>, RuleNameCount + 1> closes {}; // [open][next]
    std::array<bool, RuleNameCount + 1> empty {};
    std::array<int, RuleNameCount + 1> priority {};
    std::array<THtmlElement, RuleNameCount + 1> element {};
};

// Whether a start tag of `name` inside an element of the same name ends it, as libxml2 builds the tree; its
// own lookup answers only for two different names.
bool closesItself(std::string_view name)
{
    const std::string html = "<body><" + std::string(name) + ">a<" + std::string(name) + ">b";
    const THtmlDocument document(html);
    const xmlNode* body = document.body();
    for (const xmlNode* e = body != nullptr ? body->children : nullptr; e != nullptr; e = e->next) {
        if (e->type != XML_ELEMENT_NODE || reinterpret_cast<const char*>(e->name) != name)
            continue;
        for (const xmlNode* child = e->children; child != nullptr; child = child->next)
            if (child->type == XML_ELEMENT_NODE && reinterpret_cast<const char*>(child->name) == name)
                return false;
        return true;
    }
    return false;
}

// libxml2's own answers, asked once: which start tags end which open elements (htmlAutoCloseTag asks its table
// for a new element without children), and which elements are empty. So the pass follows the libxml2 it runs
// with, whatever its version.
const TRuleTables& ruleTables()
{
    static const TRuleTables tables = [] {
        TRuleTables t;
        t.priority[0] = endPriority({});
        std::vector<xmlNode*> nodes;
        for (const std::string_view name : RuleNames)
            nodes.push_back(xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>(std::string(name).c_str())));
        for (size_t i = 0; i < RuleNameCount; ++i) {
            const std::string name(RuleNames[i]);
            const htmlElemDesc* description = htmlTagLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
            t.empty[i + 1] = description != nullptr && description->empty;
            t.element[i + 1] = elementOfName(name);
            t.priority[i + 1] = endPriority(name);
            for (size_t j = 0; j < RuleNameCount; ++j)
                t.closes[i + 1][j + 1] = i == j
                    ? !t.empty[i + 1] && name != "script" && name != "style" && name != "html" && name != "head"
                        && name != "body" && closesItself(name)
                    : htmlAutoCloseTag(nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nodes[j]) == 1;
        }
        for (xmlNode* node : nodes)
            xmlFreeNode(node);
        return t;
    }();
    return tables;
}

class TPickStream
{
public:
    TPickStream(std::string_view html, TElementPicker& picker)
        : m_s(html)
        , m_picker(picker)
    {
        m_open.reserve(64);
    }

    std::optional<TPickedText> run()
    {
        if (std::memchr(m_s.data(), '\0', m_s.size()) != nullptr)
            return std::nullopt; // libxml2 stops reading at a NUL byte
        m_hasCarriageReturn = std::memchr(m_s.data(), '\r', m_s.size()) != nullptr;
        if (m_s.starts_with("\xEF\xBB\xBF"))
            m_pos = 3; // libxml2 reads a byte order mark at the start as none
        const size_t n = m_s.size();
        while (m_pos < n && !m_doubt) {
            if ((topCode() == Script || topCode() == Style) && m_s.substr(m_pos, 2) != "</" && !startTagCloses()) {
                rawText();
                continue;
            }
            const char c = m_s[m_pos];
            if (c == '<')
                markup();
            else if (c == '&')
                reference();
            else
                charData();
        }
        flushText();
        while (!m_open.empty() && !m_doubt)
            pop();
        if (m_doubt)
            return std::nullopt;
        TPickedText picked;
        picked.text = m_builder.take();
        picked.found = m_found;
        return picked;
    }

private:
    struct TOpen
    {
        uint8_t code; // ruleCode(name)
        std::string name; // only for a name without a code
        THtmlElement element;
        bool picked; // the outermost picked element
        bool wrapped; // picked inside a pre-formatted element
        bool keepsBlanks;
    };

    static constexpr size_t NoPick = static_cast<size_t>(-1);

    bool picking() const noexcept { return m_pickedAt != NoPick; }
    uint8_t topCode() const noexcept { return m_open.empty() ? 0 : m_open.back().code; }

    static std::string_view nameOf(const TOpen& open) noexcept
    {
        return open.code != 0 ? RuleNames[open.code - 1] : std::string_view(open.name);
    }

    static bool isNamed(const TOpen& open, uint8_t code, std::string_view name) noexcept
    {
        return open.code == code && (code != 0 || open.name == name);
    }

    // ---- The tree ----

    void push(std::string_view name, uint8_t code, std::span<const TTagAttribute> attributes)
    {
        flushText();
        if (m_open.size() >= MaxDepth || (m_open.empty() && m_rootEnded)) {
            m_doubt = true;
            return;
        }
        // The elements that keep blanks all have a code; others need their element only for the builder.
        const THtmlElement e = code != 0 ? m_rules.element[code] : E::Other;
        TOpen entry { code, code != 0 ? std::string() : std::string(name), e, false, false, false };
        entry.keepsBlanks = e == E::Pre || e == E::Listing || e == E::Xmp || e == E::Plaintext || e == E::Textarea;
        const bool picked = m_picker.enter(name, attributes);
        if (picked && !picking()) {
            m_found = true;
            entry.picked = true;
            m_pickedAt = m_open.size();
            m_builder.beginLine();
            entry.wrapped = m_keepingAncestors > 0;
            if (entry.wrapped)
                m_builder.open(E::Pre);
        }
        if (picking()) {
            if (code == 0)
                entry.element = elementOfName(name);
            TElementFlags flags;
            for (const TTagAttribute& attribute : attributes)
                readAttribute(flags, attribute.name, attribute.value);
            m_builder.open(entry.element, flags);
        }
        m_keepingAncestors += entry.keepsBlanks;
        m_dropLineFeed = entry.element == E::Pre || entry.element == E::Listing || entry.element == E::Textarea;
        if (entry.code == Head)
            m_seenHead = true;
        else if (entry.code == Body)
            m_seenBody = true;
        m_open.push_back(std::move(entry));
    }

    void pop()
    {
        flushText();
        const TOpen& entry = m_open.back();
        if (picking()) {
            m_builder.close();
            if (entry.picked) {
                if (entry.wrapped)
                    m_builder.close();
                m_pickedAt = NoPick;
            }
        }
        m_keepingAncestors -= entry.keepsBlanks;
        m_dropLineFeed = false;
        m_picker.leave();
        m_open.pop_back();
        if (m_open.empty())
            m_rootEnded = true;
    }

    // Whether a start tag here ends the open element; libxml2 looks before it reads a script's text.
    bool startTagCloses() const
    {
        if (m_pos + 1 >= m_s.size() || m_s[m_pos] != '<' || !isAsciiLetter(m_s[m_pos + 1]))
            return false;
        char name[MaxName + 1];
        size_t length = 0;
        for (size_t i = m_pos + 1; i < m_s.size() && isHtmlNameChar(m_s[i]) && length <= MaxName; ++i)
            name[length++] = lowerAscii(m_s[i]);
        return m_rules.closes[topCode()][ruleCode({ name, length })];
    }

    bool isOpen(uint8_t code) const noexcept
    {
        return std::any_of(m_open.begin(), m_open.end(), [&](const TOpen& o) { return o.code == code; });
    }

    void autoClose(uint8_t code)
    {
        while (!m_open.empty() && !m_doubt && m_rules.closes[topCode()][code])
            pop();
    }

    // The html, head and body elements that a start tag of `name` implies.
    void checkImplied(std::string_view name)
    {
        if (name == "html")
            return;
        if (m_open.empty())
            push("html", Html, {});
        if (name == "body" || name == "head" || m_doubt)
            return;
        if (m_open.size() <= 1 && isAny(name, { "script", "style", "meta", "link", "title", "base" })) {
            if (!m_seenHead && !m_seenBody)
                push("head", Head, {});
        } else if (!m_seenBody && !isAny(name, { "noframes", "frame", "frameset" })) {
            if (isOpen(Body) || isOpen(Head))
                return;
            push("body", Body, {});
        }
    }

    // Text where libxml2 wants none (at the root, in html or head) begins a paragraph.
    void checkParagraph()
    {
        if (!m_open.empty() && topCode() != Html && topCode() != Head)
            return;
        autoClose(P);
        checkImplied("p");
        push("p", P, {});
    }

    // ---- Text ----

    void addText(std::string_view text)
    {
        if (picking() && !text.empty())
            m_text.append(text);
    }

    void flushText()
    {
        if (m_text.empty())
            return;
        std::string_view text = m_text;
        if (m_dropLineFeed && text.starts_with('\n'))
            text.remove_prefix(1);
        m_dropLineFeed = false;
        m_builder.text(text);
        m_text.clear();
    }

    void charData()
    {
        const size_t n = m_s.size();
        const size_t end = nextStop(m_s, m_pos);
        if (end < n && isControl(m_s[end])) {
            m_doubt = true;
            return;
        }
        const std::string_view text = m_s.substr(m_pos, end - m_pos);
        m_pos = end;
        if (m_content && !m_open.empty() && topCode() != Html && topCode() != Head) {
            addText(text); // where no paragraph can be implied, blanks are text as any other
            return;
        }
        const bool blank = std::all_of(text.begin(), text.end(), isXmlBlank);
        if (blank && text.size() >= 1000 && (m_open.empty() || topCode() == Html || topCode() == Head)) {
            m_doubt = true; // libxml2 judges long blank runs piece by piece
            return;
        }
        m_content = m_content || !blank;
        if (!blank || (end < n && m_s[end] != '<'))
            checkParagraph();
        if (!m_open.empty())
            addText(text);
    }

    // A reference as libxml2 reads it in text and attribute values: numeric with or without ";", named only
    // with ";" and known to libxml2, else the text as it stands. Appends it to out; the bytes it takes.
    size_t readReference(size_t at, std::string& out)
    {
        const size_t n = m_s.size();
        size_t i = at + 1;
        if (i < n && m_s[i] == '#') {
            const bool hex = i + 1 < n && (m_s[i + 1] == 'x' || m_s[i + 1] == 'X');
            i += hex ? 2 : 1;
            uint32_t value = 0;
            for (; i < n && m_s[i] != ';'; ++i) {
                const char c = lowerAscii(m_s[i]);
                int digit = -1;
                if (isDigit(c))
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                if (digit < 0)
                    break;
                value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(digit), 0x110000);
            }
            if (i < n && m_s[i] == ';')
                ++i;
            if (!isXmlChar(value))
                m_doubt = true; // libxml2 drops it, or cuts an attribute value short
            else
                appendUtf8(out, value);
            return i - at;
        }
        if (i >= n || (!isAsciiLetter(m_s[i]) && m_s[i] != '_' && m_s[i] != ':')) {
            if (i < n && static_cast<unsigned char>(m_s[i]) >= 0x80)
                m_doubt = true; // a name of other letters, which libxml2 reads by XML's rules
            out += '&';
            return 1;
        }
        while (i < n && (isHtmlNameChar(m_s[i])))
            ++i;
        if (i >= n || static_cast<unsigned char>(m_s[i]) >= 0x80 || i - at > 64) {
            m_doubt = true;
            return i - at;
        }
        const std::string_view name = m_s.substr(at + 1, i - at - 1);
        if (m_s[i] == ';') {
            char key[72];
            std::memcpy(key, name.data(), name.size());
            key[name.size()] = '\0';
            if (const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(key));
                entity != nullptr && entity->value > 0) {
                appendUtf8(out, entity->value);
                return i + 1 - at;
            }
        }
        out += '&';
        out.append(name);
        return i - at;
    }

    void reference()
    {
        m_scratch.clear();
        m_pos += readReference(m_pos, m_scratch);
        if (m_doubt)
            return;
        m_content = true;
        checkParagraph();
        addText(m_scratch);
    }

    // Script and style hold text up to an end tag whose name begins with their own; an end tag right at their
    // start, or one that closes nothing, is read as any other.
    void rawText()
    {
        const std::string_view name = nameOf(m_open.back());
        size_t end = m_pos;
        for (;;) {
            end = m_s.find("</", end);
            if (end == std::string_view::npos) {
                end = m_s.size();
                break;
            }
            if (end + 2 + name.size() <= m_s.size() && equalsIgnoringAsciiCase(m_s.substr(end + 2, name.size()), name))
                break;
            end += 2;
        }
        addText(m_s.substr(m_pos, end - m_pos));
        m_pos = end;
    }

    // ---- Markup ----

    void markup()
    {
        const size_t n = m_s.size();
        const char next = m_pos + 1 < n ? m_s[m_pos + 1] : '\0';
        if (next == '/') {
            endTag();
        } else if (isAsciiLetter(next)) {
            startTag();
        } else if (next == '!' && m_s.substr(m_pos + 2, 2) == "--") {
            // A comment ends at "-->" or "--!>".
            size_t end = m_pos + 4;
            while ((end = m_s.find("--", end)) != std::string_view::npos && m_s.substr(end + 2, 1) != ">"
                && m_s.substr(end + 2, 2) != "!>")
                ++end;
            if (end == std::string_view::npos) {
                m_doubt = true;
                return;
            }
            flushText();
            m_pos = end + (m_s[end + 2] == '>' ? 3 : 4);
        } else if (next == '!' && m_pos + 9 <= n && equalsIgnoringAsciiCase(m_s.substr(m_pos + 2, 7), "doctype")) {
            if (m_content)
                m_doubt = true; // libxml2 reads a misplaced declaration its own way
            skipPast('>');
        } else if (next == '?') {
            // An instruction without a name is only "<?" to libxml2; what follows is read as content.
            const char start = m_pos + 2 < n ? m_s[m_pos + 2] : '\0';
            // libxml2 reads an instruction beside a carriage return in pre-formatted text its own way, and a
            // name of other letters by XML's rules.
            if (m_hasCarriageReturn || static_cast<unsigned char>(start) >= 0x80)
                m_doubt = true;
            else if (isAsciiLetter(start) || start == '_' || start == ':')
                skipPast('>');
            else
                m_pos += 2;
        } else {
            m_content = true;
            addText("<"); // libxml2 gives a lone "<" as text without implying a paragraph
            ++m_pos;
        }
    }

    // Past the ">" of a declaration or processing instruction; libxml2 reads one that the page cuts off its
    // own way.
    void skipPast(char c)
    {
        const size_t end = findByte(m_s, c, m_pos);
        if (end == std::string_view::npos)
            m_doubt = true;
        m_pos = end == std::string_view::npos ? m_s.size() : end + 1;
    }

    using TNameBuffer = std::array<char, MaxName>;

    // A name at m_pos in lower case into a buffer, empty when none starts there.
    std::string_view readName(TNameBuffer& buffer)
    {
        if (m_pos >= m_s.size() || !isHtmlNameStart(m_s[m_pos]))
            return {};
        size_t length = 0;
        for (; m_pos < m_s.size() && isHtmlNameChar(m_s[m_pos]); ++m_pos) {
            if (length == buffer.size()) {
                m_doubt = true;
                continue;
            }
            buffer[length++] = lowerAscii(m_s[m_pos]);
        }
        return { buffer.data(), length };
    }

    void skipBlanks()
    {
        while (m_pos < m_s.size() && isXmlBlank(m_s[m_pos]))
            ++m_pos;
    }

    void endTag()
    {
        m_content = true;
        m_pos += 2;
        const std::string_view name = readName(m_tagName);
        if (name.empty())
            return; // "</" and no name: the rest is text
        skipBlanks();
        skipPast('>');
        const uint8_t code = ruleCode(name);
        if (m_discarded > 0 && (code == Html || code == Body || code == Head)) {
            --m_discarded;
            return;
        }
        size_t i = m_open.size();
        while (i > 0 && !isNamed(m_open[i - 1], code, name))
            --i;
        if (i == 0)
            return;
        const int priority = m_rules.priority[code];
        for (size_t j = m_open.size(); j-- > i;)
            if (m_rules.priority[m_open[j].code] > priority)
                return;
        while (m_open.size() >= i && !m_doubt)
            pop();
    }

    bool atTagEnd() const noexcept
    {
        return m_pos >= m_s.size() || m_s[m_pos] == '>'
            || (m_s[m_pos] == '/' && m_pos + 1 < m_s.size() && m_s[m_pos + 1] == '>');
    }

    // A quoted or bare attribute value with its references decoded, into m_values.
    void readValue(std::string& value)
    {
        const size_t n = m_s.size();
        const char quote = m_s[m_pos];
        const bool quoted = quote == '"' || quote == '\'';
        if (quoted)
            ++m_pos;
        while (m_pos < n) {
            const size_t from = m_pos;
            char c = 0;
            while (m_pos < n && !StopBytes[static_cast<unsigned char>(c = m_s[m_pos])]
                && (quoted ? c != quote : c != '>' && !isXmlBlank(c)))
                ++m_pos;
            value.append(m_s.substr(from, m_pos - from));
            if (m_pos >= n || (quoted ? c == quote : (c == '>' || isXmlBlank(c))))
                break;
            if (c == '&') {
                m_pos += readReference(m_pos, value);
                continue;
            }
            m_doubt = m_doubt || isControl(c);
            value += c;
            ++m_pos;
        }
        if (quoted && m_pos < n)
            ++m_pos;
    }

    void skipValue()
    {
        const char quote = m_s[m_pos];
        if (quote == '"' || quote == '\'') {
            const size_t close = findByte(m_s, quote, m_pos + 1);
            m_pos = close == std::string_view::npos ? m_s.size() : close + 1;
            return;
        }
        while (m_pos < m_s.size() && m_s[m_pos] != '>' && !isXmlBlank(m_s[m_pos]))
            ++m_pos;
    }

    void startTag()
    {
        m_content = true;
        ++m_pos;
        const std::string_view name = readName(m_tagName);
        if (std::find(name.begin(), name.end(), ':') != name.end())
            m_doubt = true; // libxml2 keeps such a name as a prefix and a local name
        // The attributes, the first of each name; values go to a pool that does not move while they are read.
        size_t count = 0;
        while (!m_doubt) {
            skipBlanks();
            if (atTagEnd())
                break;
            const std::string_view attributeName = readName(m_attributeName);
            if (attributeName.empty()) { // a bogus attribute: libxml2 skips it
                while (m_pos < m_s.size() && !isXmlBlank(m_s[m_pos]) && !atTagEnd())
                    ++m_pos;
                continue;
            }
            // Only the attributes the picker or the builder reads are kept; the rest are passed over.
            const bool kept = m_picker.wantsAttribute(attributeName)
                || (!m_takesNothing
                    && (attributeName == "hidden" || attributeName == "style" || attributeName == "open"));
            if (kept && count == m_names.size()) {
                m_names.emplace_back();
                m_values.emplace_back();
            }
            if (kept) {
                m_names[count] = attributeName;
                m_values[count].clear();
            }
            skipBlanks();
            if (m_pos < m_s.size() && m_s[m_pos] == '=') {
                ++m_pos;
                skipBlanks();
                if (m_pos < m_s.size() && kept)
                    readValue(m_values[count]);
                else if (m_pos < m_s.size())
                    skipValue();
            }
            if (!kept)
                continue;
            bool repeated = false;
            for (size_t k = 0; k < count && !repeated; ++k)
                repeated = m_names[k] == m_names[count];
            count += !repeated;
        }
        if (m_pos >= m_s.size())
            m_doubt = true; // the page ends inside the tag
        if (m_doubt)
            return;
        const bool selfClosing = m_s[m_pos] == '/';
        m_pos += selfClosing ? 2 : 1;

        const uint8_t code = ruleCode(name);
        // libxml2 first ends open elements for the name up to a dot, then for the whole name.
        if (const auto dot = std::find(name.begin(), name.end(), '.'); dot != name.end())
            autoClose(ruleCode(name.substr(0, static_cast<size_t>(dot - name.begin()))));
        autoClose(code);
        checkImplied(name);
        if ((code == Html && !m_open.empty()) || (code == Head && m_open.size() != 1)
            || (code == Body && isOpen(Body))) {
            // libxml2 drops a misplaced html, head or body tag with its attributes; written as "<body/>" it ends
            // the open element instead.
            ++m_discarded;
            if (selfClosing && !m_open.empty())
                pop();
            return;
        }
        if (m_doubt)
            return;
        m_attributes.resize(count);
        for (size_t k = 0; k < count; ++k)
            m_attributes[k] = { m_names[k], m_values[k] };
        push(name, code, m_attributes);
        if (!m_doubt && (selfClosing || m_rules.empty[code]))
            pop();
    }

    static constexpr uint8_t Html = constantCode("html");
    static constexpr uint8_t Head = constantCode("head");
    static constexpr uint8_t Body = constantCode("body");
    static constexpr uint8_t P = constantCode("p");
    static constexpr uint8_t Script = constantCode("script");
    static constexpr uint8_t Style = constantCode("style");

    const TRuleTables& m_rules = ruleTables();
    std::string_view m_s;
    size_t m_pos = 0;
    TElementPicker& m_picker;
    const bool m_takesNothing = m_picker.takesNothing();
    TTextBuilder m_builder;
    std::vector<TOpen> m_open;
    size_t m_pickedAt = NoPick;
    int m_keepingAncestors = 0;
    size_t m_discarded = 0; // misplaced html, head and body tags, whose end tags libxml2 also drops
    bool m_seenHead = false;
    bool m_seenBody = false;
    bool m_rootEnded = false;
    bool m_content = false; // a tag or text other than blanks has been read
    bool m_dropLineFeed = false;
    bool m_found = false;
    bool m_doubt = false;
    bool m_hasCarriageReturn = false;
    std::string m_text; // the text node being read, when picked
    std::string m_scratch;
    TNameBuffer m_tagName {};
    TNameBuffer m_attributeName {};
    std::vector<std::string> m_names;
    std::vector<std::string> m_values;
    std::vector<TTagAttribute> m_attributes;
};

} // namespace

std::optional<TPickedText> pageTextOfPicked(std::string_view utf8Html, TElementPicker& picker)
{
    return TPickStream(utf8Html, picker).run();
}
