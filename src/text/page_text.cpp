#include "text/page_text.h"

#include "base/exception.h"
#include "text/character_references.h"
#include "text/html_parser.h"
#include "text/japanese_code.h"
#include "text/text_builder.h"
#include "text/unicode_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/xmlerror.h>

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace {

using E = THtmlElement;

// ---- Decoding ----

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

char lowerAscii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string lowerTrimmed(std::string_view label)
{
    std::string lower;
    for (const char c : label)
        if (c != ' ' && c != '\t' && c != '"' && c != '\'')
            lower += lowerAscii(c);
    return lower;
}

// UTF-8 with each ill-formed part replaced by U+FFFD.
std::string validUtf8(std::string_view bytes)
{
    if (utf8Form(bytes) != TUtf8Form::Invalid)
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 16);
    for (size_t at = 0; at < bytes.size();) {
        const TUtf8Char c = readUtf8(bytes, at);
        if (c.valid)
            out.append(bytes.substr(at, c.length));
        else
            appendUtf8(out, 0xFFFD);
        at += c.length;
    }
    return out;
}

// The converter's name for a label as browsers read it: Latin-1 and ASCII labels mean windows-1252, and the
// Chinese and Korean labels the wider codes that contain them.
std::string converterName(std::string_view label)
{
    std::string lower = lowerTrimmed(label);
    if (lower == "iso-8859-1" || lower == "iso8859-1" || lower == "latin1" || lower == "l1" || lower == "ascii"
        || lower == "us-ascii" || lower == "iso_8859-1" || lower == "cp1252" || lower == "x-cp1252")
        return "WINDOWS-1252";
    if (lower == "gb2312" || lower == "gb_2312-80" || lower == "x-gbk" || lower == "chinese")
        return "GBK";
    if (lower == "euc-kr" || lower == "ks_c_5601-1987" || lower == "korean")
        return "CP949";
    return lower;
}

// The bytes in a code the C library converts; nullopt when it does not know the name.
std::optional<std::string> convertedToUtf8(std::string_view bytes, std::string_view label)
{
    const std::string name = converterName(label);
    if (name.empty() || name.starts_with("utf-16") || name.starts_with("utf-32") || name.starts_with("ucs"))
        return std::nullopt;
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(bytes.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(bytes.data());
    size_t srcLeft = bytes.size();
    size_t done = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + done;
        size_t dstLeft = out.size() - done;
        const size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (result != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // A byte that is no character, or a character cut off at the end.
        ++src;
        --srcLeft;
        if (out.size() - done < 4)
            out.resize(out.size() * 2);
        out.replace(done, 3, "\xEF\xBF\xBD");
        done += 3;
    }
    iconv_close(cd);
    out.resize(done);
    return out;
}

// The charset that a meta tag of the page's start declares; empty when none does.
std::string declaredCharset(std::string_view body)
{
    const std::string_view prefix = body.substr(0, DeclarationPrefix);
    const HTMLParser parser(prefix);
    for (size_t pos = 0; pos < prefix.size();) {
        const TTag tag = parser.readTag(pos, prefix.size());
        if (tag.start >= prefix.size() || tag.end <= pos)
            break;
        pos = tag.end;
        if (tag.kind != TTag::Start && tag.kind != TTag::EmptyElement)
            continue;
        if (!parser.nameEquals(tag.name, "meta"))
            continue;
        bool contentType = false;
        std::string_view content;
        for (const auto& attribute : tag.attributes) {
            if (parser.nameEquals(attribute.name, "charset"))
                return std::string(parser.view(parser.trim(attribute.value)));
            if (parser.nameEquals(attribute.name, "http-equiv"))
                contentType = parser.nameEquals(parser.trim(attribute.value), "content-type");
            else if (parser.nameEquals(attribute.name, "content"))
                content = parser.view(attribute.value);
        }
        if (contentType && !charsetOfContentType(content).empty())
            return std::string(charsetOfContentType(content));
    }
    return {};
}

bool isAscii(std::string_view bytes) noexcept
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ---- Plain text ----

bool isPlainType(std::string_view contentType) noexcept
{
    std::string type = lowerTrimmed(contentType.substr(0, contentType.find(';')));
    if (type.starts_with("text/"))
        return type != "text/html" && type != "text/xml" && !type.ends_with("+xml");
    return type == "application/json" || type == "application/javascript";
}

// Whether anything in the text reads as a tag or a comment.
bool hasMarkup(std::string_view text) noexcept
{
    for (size_t at = text.find('<'); at != std::string_view::npos && at + 1 < text.size();
         at = text.find('<', at + 1)) {
        const char c = text[at + 1];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == '!' || c == '?')
            return true;
    }
    return false;
}

std::string withLineFeeds(std::string text)
{
    if (text.find('\r') == std::string::npos)
        return text;
    size_t out = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r') {
            text[out++] = '\n';
            if (at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
        } else {
            text[out++] = text[at];
        }
    }
    text.resize(out);
    return text;
}

// ---- The streaming pass ----

bool isAsciiLetter(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiAlnum(char c) noexcept
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

bool isBlank(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

int hexValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A character reference at text[at] == '&' as HTML reads it in text: decimal or hexadecimal (";" may be left
// out), a known name with ";", or one of the legacy Latin-1 names and amp, lt, gt, quot without it. The bytes
// it takes, 0 when it is none.
size_t readReference(std::string_view text, size_t at, char32_t& codePoint) noexcept
{
    size_t j = at + 1;
    if (j < text.size() && text[j] == '#') {
        ++j;
        const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
        j += hex;
        const size_t digits = j;
        uint32_t value = 0;
        for (; j < text.size(); ++j) {
            const int digit = hex ? hexValue(text[j]) : (text[j] >= '0' && text[j] <= '9' ? text[j] - '0' : -1);
            if (digit < 0)
                break;
            if (value <= 0x10FFFF)
                value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        if (j == digits)
            return 0;
        codePoint = numericCharacterReference(value);
        return j + (j < text.size() && text[j] == ';') - at;
    }
    while (j < text.size() && j - at <= 10 && isAsciiAlnum(text[j]))
        ++j;
    const std::string_view name = text.substr(at + 1, j - at - 1);
    if (name.empty())
        return 0;
    if (j < text.size() && text[j] == ';')
        if (const auto found = namedCharacterReference(name)) {
            codePoint = *found;
            return j + 1 - at;
        }
    for (size_t length = std::min<size_t>(name.size(), 6); length >= 2; --length)
        if (const auto found = namedCharacterReference(name.substr(0, length)); found && *found < 0x100) {
            codePoint = *found;
            return length + 1;
        }
    return 0;
}

bool isHeading(THtmlElement e) noexcept
{
    return e >= E::H1 && e <= E::H6;
}

// Elements whose start tag ends an open p element.
bool closesParagraph(THtmlElement e) noexcept
{
    switch (e) {
    case E::Address:
    case E::Article:
    case E::Aside:
    case E::Blockquote:
    case E::Center:
    case E::Details:
    case E::Dialog:
    case E::Dir:
    case E::Div:
    case E::Dl:
    case E::Dd:
    case E::Dt:
    case E::Fieldset:
    case E::Figcaption:
    case E::Figure:
    case E::Footer:
    case E::Form:
    case E::Header:
    case E::Hgroup:
    case E::Hr:
    case E::Li:
    case E::Listing:
    case E::Main:
    case E::Menu:
    case E::Nav:
    case E::Ol:
    case E::P:
    case E::Plaintext:
    case E::Pre:
    case E::Search:
    case E::Section:
    case E::Summary:
    case E::Table:
    case E::Ul:
    case E::Xmp:
        return true;
    default:
        return isHeading(e);
    }
}

// Elements past which the end tag of an inline element does not reach.
bool isSpecial(THtmlElement e) noexcept
{
    switch (e) {
    case E::Other:
    case E::A:
    case E::Option:
    case E::Optgroup:
    case E::Rp:
        return false;
    default:
        return true;
    }
}

// Where a search for an open element stops, as the HTML parser's scopes have it.
enum class TScope { Default, Button, ListItem, Table };

bool boundsScope(THtmlElement e, TScope scope) noexcept
{
    switch (e) {
    case E::Html:
    case E::Table:
    case E::Template:
        return true;
    case E::Caption:
    case E::Td:
    case E::Th:
    case E::Marquee:
    case E::Object:
        return scope != TScope::Table;
    case E::Button:
        return scope == TScope::Button;
    case E::Ol:
    case E::Ul:
        return scope == TScope::ListItem;
    default:
        return false;
    }
}

// Elements that keep their content as raw text up to their own end tag.
bool isRawText(THtmlElement e) noexcept
{
    switch (e) {
    case E::Script:
    case E::Style:
    case E::Xmp:
    case E::Iframe:
    case E::Noembed:
    case E::Noframes:
    case E::Textarea:
    case E::Title:
    case E::Plaintext:
        return true;
    default:
        return false;
    }
}

bool belongsInHead(THtmlElement e) noexcept
{
    switch (e) {
    case E::Base:
    case E::Basefont:
    case E::Bgsound:
    case E::Link:
    case E::Meta:
    case E::Noscript:
    case E::Noframes:
    case E::Script:
    case E::Style:
    case E::Template:
    case E::Title:
    case E::Head:
        return true;
    default:
        return false;
    }
}

uint32_t nameHash(std::string_view name) noexcept
{
    uint32_t hash = 2166136261u;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(lowerAscii(c))) * 16777619u;
    return hash;
}

// Deeper nesting than this is read as if the inner start tags were not there, so memory stays bounded.
constexpr size_t MaxDepth = 256;

// A forgiving HTML tokenizer with the few tree rules that decide which element text belongs to (implied end
// tags of p, li, dd, dt, table parts, headings and options; end tags that do not reach past blocks), feeding
// the builder as it goes.
class THtmlStream
{
public:
    THtmlStream(std::string_view html, TTextBuilder& builder)
        : m_s(html)
        , m_builder(builder)
    {
        m_open.reserve(64);
    }

    void run()
    {
        const size_t n = m_s.size();
        while (m_pos < n) {
            const void* lt = std::memchr(m_s.data() + m_pos, '<', n - m_pos);
            const size_t textEnd = lt ? static_cast<size_t>(static_cast<const char*>(lt) - m_s.data()) : n;
            if (textEnd > m_pos)
                text(m_s.substr(m_pos, textEnd - m_pos), true);
            m_pos = textEnd;
            if (m_pos < n)
                markup();
        }
        while (!m_open.empty())
            pop();
    }

private:
    struct TOpen
    {
        THtmlElement element;
        uint32_t hash; // of the name, for elements the rules do not know
    };

    void text(std::string_view piece, bool references)
    {
        if (m_dropLineFeed) {
            m_dropLineFeed = false;
            if (piece.starts_with("\r\n"))
                piece.remove_prefix(2);
            else if (piece.starts_with('\n'))
                piece.remove_prefix(1);
        }
        if (m_headIndex != NoHead && m_open.size() == m_headIndex + 1) {
            if (std::all_of(piece.begin(), piece.end(), isBlank))
                return;
            popThrough(m_headIndex);
        }
        const bool plain = (!references || std::memchr(piece.data(), '&', piece.size()) == nullptr)
            && std::memchr(piece.data(), '\0', piece.size()) == nullptr;
        if (plain) {
            m_builder.text(piece);
            return;
        }
        size_t from = 0;
        for (size_t at = 0; at < piece.size(); ++at) {
            if (piece[at] == '\0') {
                m_builder.text(piece.substr(from, at - from));
                from = at + 1;
                continue;
            }
            if (piece[at] != '&' || !references)
                continue;
            char32_t codePoint = 0;
            const size_t length = readReference(piece, at, codePoint);
            if (length == 0)
                continue;
            m_builder.text(piece.substr(from, at - from));
            m_scratch.clear();
            appendUtf8(m_scratch, codePoint);
            m_builder.text(m_scratch);
            at += length - 1;
            from = at + 1;
        }
        m_builder.text(piece.substr(from));
    }

    void markup()
    {
        const size_t n = m_s.size();
        const size_t at = m_pos;
        const char next = at + 1 < n ? m_s[at + 1] : '\0';
        if (isAsciiLetter(next)) {
            startTag();
        } else if (next == '/') {
            if (at + 2 < n && isAsciiLetter(m_s[at + 2]))
                endTag();
            else
                skipPast('>', at + 2);
        } else if (next == '!') {
            if (m_s.substr(at + 2, 2) == "--") {
                if (m_s.substr(at + 4, 1) == ">" || m_s.substr(at + 4, 2) == "->") {
                    m_pos = m_s.find('>', at + 4) + 1;
                } else {
                    const size_t end = m_s.find("-->", at + 4);
                    m_pos = end == std::string_view::npos ? n : end + 3;
                }
            } else {
                skipPast('>', at + 2);
            }
        } else if (next == '?') {
            skipPast('>', at + 2);
        } else {
            text(m_s.substr(at, 1), false);
            m_pos = at + 1;
        }
    }

    void skipPast(char c, size_t from)
    {
        const size_t end = m_s.find(c, std::min(from, m_s.size()));
        m_pos = end == std::string_view::npos ? m_s.size() : end + 1;
    }

    size_t nameEnd(size_t from) const noexcept
    {
        size_t i = from;
        while (i < m_s.size() && !isBlank(m_s[i]) && m_s[i] != '/' && m_s[i] != '>')
            ++i;
        return i;
    }

    // Reads the attributes up to ">" and gives their flags; false when the page ends inside the tag.
    bool readAttributes(size_t from, TElementFlags& flags)
    {
        const size_t n = m_s.size();
        size_t i = from;
        while (true) {
            while (i < n && (isBlank(m_s[i]) || m_s[i] == '/'))
                ++i;
            if (i >= n)
                return false;
            if (m_s[i] == '>') {
                m_pos = i + 1;
                return true;
            }
            const size_t nameStart = i;
            ++i; // a name may begin with "="
            while (i < n && !isBlank(m_s[i]) && m_s[i] != '/' && m_s[i] != '>' && m_s[i] != '=')
                ++i;
            const std::string_view name = m_s.substr(nameStart, i - nameStart);
            while (i < n && isBlank(m_s[i]))
                ++i;
            std::string_view value;
            if (i < n && m_s[i] == '=') {
                ++i;
                while (i < n && isBlank(m_s[i]))
                    ++i;
                if (i >= n)
                    return false;
                if (m_s[i] == '"' || m_s[i] == '\'') {
                    const size_t close = m_s.find(m_s[i], i + 1);
                    if (close == std::string_view::npos)
                        return false;
                    value = m_s.substr(i + 1, close - i - 1);
                    i = close + 1;
                } else {
                    const size_t valueStart = i;
                    while (i < n && !isBlank(m_s[i]) && m_s[i] != '>')
                        ++i;
                    value = m_s.substr(valueStart, i - valueStart);
                }
            }
            readAttribute(flags, name, value);
        }
    }

    void startTag()
    {
        const size_t nameStart = m_pos + 1;
        const size_t end = nameEnd(nameStart);
        const std::string_view name = m_s.substr(nameStart, end - nameStart);
        TElementFlags flags;
        if (!readAttributes(end, flags)) {
            m_pos = m_s.size(); // a tag that the page's end cuts off is no tag
            return;
        }
        const THtmlElement e = elementOfName(name);
        if (!impliedEnds(e))
            return;
        if (isVoidElement(e)) {
            m_builder.open(e, flags);
            m_builder.close();
            return;
        }
        if (isRawText(e)) {
            rawText(e, name, flags);
            return;
        }
        if (m_open.size() >= MaxDepth)
            return;
        if (e == E::Head)
            m_headIndex = m_open.size();
        push(e, e == E::Other ? nameHash(name) : 0, flags);
        m_dropLineFeed = e == E::Pre || e == E::Listing;
    }

    // Closes what the start tag of e closes; false when the tag is to be ignored.
    bool impliedEnds(THtmlElement e)
    {
        if (m_headIndex != NoHead && !belongsInHead(e) && e != E::Html)
            popThrough(m_headIndex);
        switch (e) {
        case E::Html:
        case E::Body:
            return false;
        case E::Head:
            if (m_seenHead)
                return false;
            m_seenHead = true;
            return true;
        case E::Li:
        case E::Dd:
        case E::Dt: {
            const bool listItemOpen = e == E::Li ? isOpen(E::Li) : isOpen(E::Dd) || isOpen(E::Dt);
            for (size_t i = listItemOpen ? m_open.size() : 0; i-- > 0;) {
                const THtmlElement open = m_open[i].element;
                if (e == E::Li ? open == E::Li : (open == E::Dd || open == E::Dt)) {
                    popThrough(i);
                    break;
                }
                if (isSpecial(open) && open != E::Address && open != E::Div && open != E::P)
                    break;
            }
            break;
        }
        case E::Option:
            if (!m_open.empty() && m_open.back().element == E::Option)
                pop();
            return true;
        case E::Optgroup:
            if (!m_open.empty() && m_open.back().element == E::Option)
                pop();
            if (!m_open.empty() && m_open.back().element == E::Optgroup)
                pop();
            return true;
        case E::Tr:
        case E::Td:
        case E::Th:
        case E::Tbody:
        case E::Thead:
        case E::Tfoot:
        case E::Caption: {
            size_t table = 0;
            for (size_t i = isOpen(E::Table) ? m_open.size() : 0; i-- > 0;)
                if (m_open[i].element == E::Table) {
                    table = i + 1;
                    break;
                }
            const bool partsOpen = isOpen(E::Td) || isOpen(E::Th) || isOpen(E::Tr) || isOpen(E::Caption)
                || isOpen(E::Tbody) || isOpen(E::Thead) || isOpen(E::Tfoot);
            for (size_t i = partsOpen ? table : m_open.size(); i < m_open.size(); ++i) {
                const THtmlElement open = m_open[i].element;
                const bool cell = open == E::Td || open == E::Th;
                const bool ends = cell || open == E::Caption || (e != E::Td && e != E::Th && open == E::Tr)
                    || ((e == E::Tbody || e == E::Thead || e == E::Tfoot || e == E::Caption)
                        && (open == E::Tbody || open == E::Thead || open == E::Tfoot));
                if (ends) {
                    popThrough(i);
                    break;
                }
            }
            if ((e == E::Td || e == E::Th) && table > 0 && m_open.back().element != E::Tr && m_open.size() < MaxDepth) {
                push(E::Tr, 0, {}); // a cell outside a row opens one
            }
            return true;
        }
        case E::A:
            for (size_t i = isOpen(E::A) ? m_open.size() : 0;
                 i-- > 0 && !boundsScope(m_open[i].element, TScope::Default);)
                if (m_open[i].element == E::A) {
                    popThrough(i);
                    break;
                }
            return true;
        default:
            break;
        }
        if (closesParagraph(e))
            closeParagraph();
        if (isHeading(e) && !m_open.empty() && isHeading(m_open.back().element))
            pop();
        return true;
    }

    void closeParagraph()
    {
        if (const size_t i = openInScope(E::P, TScope::Button); i != NotOpen)
            popThrough(i);
    }

    static constexpr size_t NotOpen = static_cast<size_t>(-1);
    static constexpr size_t NoHead = static_cast<size_t>(-1);

    size_t openInScope(THtmlElement e, TScope scope) const noexcept
    {
        const bool anyOpen = isHeading(e) ? m_openHeadings > 0 : isOpen(e);
        for (size_t i = anyOpen ? m_open.size() : 0; i-- > 0;) {
            const THtmlElement open = m_open[i].element;
            if (open == e || (isHeading(e) && isHeading(open)))
                return i;
            if (boundsScope(open, scope))
                return NotOpen;
        }
        return NotOpen;
    }

    void endTag()
    {
        const size_t nameStart = m_pos + 2;
        const size_t end = nameEnd(nameStart);
        const std::string_view name = m_s.substr(nameStart, end - nameStart);
        TElementFlags ignored;
        if (!readAttributes(end, ignored)) {
            m_pos = m_s.size();
            return;
        }
        const THtmlElement e = elementOfName(name);
        switch (e) {
        case E::Html:
        case E::Body:
            return;
        case E::Head:
            if (m_headIndex != NoHead)
                popThrough(m_headIndex);
            return;
        case E::Br:
            m_builder.open(E::Br);
            m_builder.close();
            return;
        case E::P:
            if (const size_t i = openInScope(E::P, TScope::Button); i != NotOpen) {
                popThrough(i);
            } else { // a lone </p> is an empty paragraph
                m_builder.open(E::P);
                m_builder.close();
            }
            return;
        default:
            break;
        }
        if (!isSpecial(e)) {
            const uint32_t hash = e == E::Other ? nameHash(name) : 0;
            for (size_t i = m_open.size(); i-- > 0;) {
                if (m_open[i].element == e && m_open[i].hash == hash) {
                    popThrough(i);
                    return;
                }
                if (isSpecial(m_open[i].element))
                    return;
            }
            return;
        }
        const bool tablePart = e == E::Table || e == E::Tr || e == E::Td || e == E::Th || e == E::Tbody || e == E::Thead
            || e == E::Tfoot || e == E::Caption;
        const TScope scope = tablePart ? TScope::Table : e == E::Li ? TScope::ListItem : TScope::Default;
        if (const size_t i = openInScope(e, scope); i != NotOpen)
            popThrough(i);
    }

    void rawText(THtmlElement e, std::string_view name, TElementFlags flags)
    {
        const size_t n = m_s.size();
        size_t contentEnd = n;
        size_t after = n;
        if (e != E::Plaintext) {
            for (size_t at = m_s.find("</", m_pos); at != std::string_view::npos; at = m_s.find("</", at + 2)) {
                const size_t nameEndAt = at + 2 + name.size();
                if (nameEndAt > n)
                    break;
                bool same = true;
                for (size_t k = 0; k < name.size() && same; ++k)
                    same = lowerAscii(m_s[at + 2 + k]) == lowerAscii(name[k]);
                if (!same
                    || (nameEndAt < n && !isBlank(m_s[nameEndAt]) && m_s[nameEndAt] != '/' && m_s[nameEndAt] != '>'))
                    continue;
                contentEnd = at;
                const size_t close = m_s.find('>', nameEndAt);
                after = close == std::string_view::npos ? n : close + 1;
                break;
            }
        }
        const std::string_view content = m_s.substr(m_pos, contentEnd - m_pos);
        m_pos = after;
        m_builder.open(e, flags);
        if (m_builder.visible()) {
            m_dropLineFeed = e == E::Textarea;
            text(content, e == E::Textarea || e == E::Title);
            m_dropLineFeed = false;
        }
        m_builder.close();
    }

    // How many elements of a kind are open, so that a search for one that is not ends at once: nested inline
    // elements must not make every block start tag walk the whole stack.
    bool isOpen(THtmlElement e) const noexcept { return m_openCount[static_cast<size_t>(e)] > 0; }

    void push(THtmlElement e, uint32_t hash, TElementFlags flags)
    {
        m_open.push_back({ e, hash });
        ++m_openCount[static_cast<size_t>(e)];
        m_openHeadings += isHeading(e);
        m_builder.open(e, flags);
    }

    void pop()
    {
        if (m_open.size() - 1 == m_headIndex)
            m_headIndex = NoHead;
        --m_openCount[static_cast<size_t>(m_open.back().element)];
        m_openHeadings -= isHeading(m_open.back().element);
        m_open.pop_back();
        m_builder.close();
        m_dropLineFeed = false;
    }

    void popThrough(size_t index)
    {
        while (m_open.size() > index)
            pop();
    }

    std::string_view m_s;
    size_t m_pos = 0;
    TTextBuilder& m_builder;
    std::vector<TOpen> m_open;
    size_t m_headIndex = NoHead;
    bool m_seenHead = false;
    bool m_dropLineFeed = false;
    std::string m_scratch;
    std::array<uint32_t, 256> m_openCount {};
    uint32_t m_openHeadings = 0;
};

// ---- The tree ----

void ignoreMessage(void*, const char*, ...) { }
void ignoreError(void*, xmlErrorPtr) { }

TElementFlags flagsOf(const xmlNode* node)
{
    TElementFlags flags;
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
        const std::string_view name(reinterpret_cast<const char*>(attribute->name));
        std::string_view value;
        if (attribute->children && attribute->children->content)
            value = reinterpret_cast<const char*>(attribute->children->content);
        readAttribute(flags, name, value);
    }
    return flags;
}

bool isElement(const xmlNode* node) noexcept
{
    return node->type == XML_ELEMENT_NODE;
}

void walk(xmlNode* root, TTextBuilder& builder)
{
    // Without recursion: a tree as deep as the parser allows must not exhaust the stack.
    xmlNode* node = root;
    bool dropLineFeed = false;
    while (node) {
        bool descend = false;
        if (isElement(node)) {
            const THtmlElement e = elementOfName(reinterpret_cast<const char*>(node->name));
            builder.open(e, flagsOf(node));
            descend = node->children != nullptr;
            if (!descend)
                builder.close();
            // libxml2 keeps the line feed after the start tag that the HTML parser drops.
            dropLineFeed = descend && (e == E::Pre || e == E::Listing || e == E::Textarea);
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            std::string_view content;
            if (node->content)
                content = reinterpret_cast<const char*>(node->content);
            if (dropLineFeed && content.starts_with('\n'))
                content.remove_prefix(1);
            dropLineFeed = false;
            builder.text(content);
        } else if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE) {
            descend = node->children != nullptr;
        }
        if (descend) {
            node = node->children;
            continue;
        }
        while (node != root && !node->next) {
            node = node->parent;
            if (isElement(node))
                builder.close();
        }
        if (node == root)
            break;
        node = node->next;
    }
}

bool keepsBlanksInside(const xmlNode* node) noexcept
{
    for (; node; node = node->parent)
        if (isElement(node)) {
            const THtmlElement e = elementOfName(reinterpret_cast<const char*>(node->name));
            if (e == E::Pre || e == E::Listing || e == E::Xmp || e == E::Plaintext || e == E::Textarea)
                return true;
        }
    return false;
}

} // namespace

std::string pageUtf8(std::string_view body, std::string_view contentType)
{
    if (body.starts_with(Utf8Mark))
        return validUtf8(body.substr(Utf8Mark.size()));
    if (body.starts_with("\xFF\xFE") || body.starts_with("\xFE\xFF")) {
        const char* code = body[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        if (auto text = convertedToUtf8(body.substr(2), code))
            return std::move(*text);
    }
    std::string label(charsetOfContentType(contentType));
    if (label.empty())
        label = declaredCharset(body);
    if (!label.empty() && !codeOfCharsetName(label) && !isAscii(body))
        if (auto text = convertedToUtf8(body, label))
            return std::move(*text);
    switch (detectDocument(body, contentType)) {
    case TJapaneseCode::Utf8:
        return validUtf8(body);
    case TJapaneseCode::ShiftJis:
        return sjisToUtf8(body);
    case TJapaneseCode::Iso2022Jp:
        return sjisToUtf8(eucToSjis(readInternal(body, contentType).bytes));
    case TJapaneseCode::EucJp:
        break;
    }
    if (isAscii(body))
        return std::string(body);
    return sjisToUtf8(eucToSjis(body));
}

std::string pageText(std::string_view body, std::string_view contentType)
{
    std::string utf8 = pageUtf8(body, contentType);
    if (isPlainType(contentType) || !hasMarkup(utf8))
        return withLineFeeds(std::move(utf8));
    TTextBuilder builder;
    THtmlStream(utf8, builder).run();
    return builder.take();
}

THtmlDocument::THtmlDocument(std::string_view utf8Html)
{
    // libxml2 keeps its error handlers per thread.
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    xmlSetStructuredErrorFunc(nullptr, ignoreError);
    if (utf8Html.size() > static_cast<size_t>(INT_MAX))
        throw TException("THtmlDocument");
    constexpr int Options
        = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_COMPACT;
    if (!utf8Html.empty())
        m_doc = htmlReadMemory(utf8Html.data(), static_cast<int>(utf8Html.size()), nullptr, "UTF-8", Options);
    if (!m_doc)
        m_doc = htmlNewDocNoDtD(nullptr, nullptr);
    if (!m_doc)
        throw TException("THtmlDocument");
}

THtmlDocument::~THtmlDocument()
{
    if (m_doc)
        xmlFreeDoc(m_doc);
}

THtmlDocument::THtmlDocument(THtmlDocument&& other) noexcept
    : m_doc(std::exchange(other.m_doc, nullptr))
{
}

THtmlDocument& THtmlDocument::operator=(THtmlDocument&& other) noexcept
{
    if (this != &other) {
        if (m_doc)
            xmlFreeDoc(m_doc);
        m_doc = std::exchange(other.m_doc, nullptr);
    }
    return *this;
}

_xmlNode* THtmlDocument::body() const noexcept
{
    if (!m_doc)
        return nullptr;
    for (xmlNode* html = m_doc->children; html; html = html->next) {
        if (!isElement(html) || elementOfName(reinterpret_cast<const char*>(html->name)) != E::Html)
            continue;
        for (xmlNode* child = html->children; child; child = child->next)
            if (isElement(child) && elementOfName(reinterpret_cast<const char*>(child->name)) == E::Body)
                return child;
    }
    return nullptr;
}

std::string pageTextOfNodes(const std::vector<_xmlNode*>& nodes)
{
    TTextBuilder builder;
    for (xmlNode* node : nodes) {
        if (!node)
            continue;
        builder.beginLine();
        const bool kept = keepsBlanksInside(node->parent);
        if (kept)
            builder.open(E::Pre);
        walk(node, builder);
        if (kept)
            builder.close();
    }
    return builder.take();
}
