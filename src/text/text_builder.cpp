#include "text/text_builder.h"

#include "base/byte_text.h"

#include <algorithm>
#include <array>

namespace {

using E = THtmlElement;

struct TNamedElement
{
    std::string_view name;
    THtmlElement element;
};

// clang-format off
constexpr TNamedElement Elements[] = {
    { "a", E::A }, { "address", E::Address }, { "area", E::Area }, { "article", E::Article }, { "aside", E::Aside },
    { "audio", E::Audio }, { "base", E::Base }, { "basefont", E::Basefont }, { "bgsound", E::Bgsound },
    { "blockquote", E::Blockquote }, { "body", E::Body }, { "br", E::Br }, { "button", E::Button },
    { "canvas", E::Canvas }, { "caption", E::Caption }, { "center", E::Center }, { "col", E::Col },
    { "colgroup", E::Colgroup }, { "datalist", E::Datalist }, { "dd", E::Dd }, { "details", E::Details },
    { "dialog", E::Dialog }, { "dir", E::Dir }, { "div", E::Div }, { "dl", E::Dl }, { "dt", E::Dt },
    { "embed", E::Embed }, { "fieldset", E::Fieldset }, { "figcaption", E::Figcaption }, { "figure", E::Figure },
    { "footer", E::Footer }, { "form", E::Form }, { "frame", E::Frame }, { "frameset", E::Frameset },
    { "h1", E::H1 }, { "h2", E::H2 }, { "h3", E::H3 }, { "h4", E::H4 }, { "h5", E::H5 }, { "h6", E::H6 },
    { "head", E::Head }, { "header", E::Header }, { "hgroup", E::Hgroup }, { "hr", E::Hr }, { "html", E::Html },
    { "iframe", E::Iframe }, { "img", E::Img }, { "input", E::Input }, { "keygen", E::Keygen },
    { "legend", E::Legend }, { "li", E::Li }, { "link", E::Link }, { "listing", E::Listing }, { "main", E::Main },
    { "marquee", E::Marquee }, { "menu", E::Menu }, { "meta", E::Meta }, { "nav", E::Nav },
    { "noembed", E::Noembed }, { "noframes", E::Noframes }, { "noscript", E::Noscript }, { "object", E::Object },
    { "ol", E::Ol }, { "optgroup", E::Optgroup }, { "option", E::Option }, { "p", E::P }, { "param", E::Param },
    { "plaintext", E::Plaintext }, { "pre", E::Pre }, { "rp", E::Rp }, { "script", E::Script },
    { "search", E::Search }, { "section", E::Section }, { "select", E::Select }, { "source", E::Source },
    { "style", E::Style }, { "summary", E::Summary }, { "svg", E::Svg }, { "table", E::Table },
    { "tbody", E::Tbody }, { "td", E::Td }, { "template", E::Template }, { "textarea", E::Textarea },
    { "tfoot", E::Tfoot }, { "th", E::Th }, { "thead", E::Thead }, { "title", E::Title }, { "tr", E::Tr },
    { "track", E::Track }, { "ul", E::Ul }, { "video", E::Video }, { "wbr", E::Wbr }, { "xmp", E::Xmp },
};
// clang-format on
constexpr size_t LongestName = 10;

constexpr std::string_view nameOfEntry(const TNamedElement& entry) noexcept
{
    return entry.name;
}

// Every tag of a page is looked up.
constexpr TNameTable<256> ElementTable(Elements, nameOfEntry);

// How an element lays out its content, as the browser's default style sheet has it.
enum class TDisplay : uint8_t {
    Inline,
    Block, // a line of its own
    Paragraph, // a line of its own with a blank line before and after
    None, // no text at all
    Table,
    Row,
    Cell,
    LineBreak,
    InlineBlock, // lines of its own inside; the blanks around it count as between words
    Replaced, // an image or a control: no text, but the blanks around it count as between words
};

TDisplay displayOf(THtmlElement element) noexcept
{
    switch (element) {
    case E::Address:
    case E::Article:
    case E::Aside:
    case E::Blockquote:
    case E::Body:
    case E::Caption:
    case E::Center:
    case E::Dd:
    case E::Details:
    case E::Dialog:
    case E::Dir:
    case E::Div:
    case E::Dl:
    case E::Dt:
    case E::Fieldset:
    case E::Figcaption:
    case E::Figure:
    case E::Footer:
    case E::Form:
    case E::Frameset:
    case E::H1:
    case E::H2:
    case E::H3:
    case E::H4:
    case E::H5:
    case E::H6:
    case E::Header:
    case E::Hgroup:
    case E::Hr:
    case E::Html:
    case E::Legend:
    case E::Li:
    case E::Listing:
    case E::Main:
    case E::Menu:
    case E::Nav:
    case E::Ol:
    case E::Optgroup:
    case E::Option:
    case E::Plaintext:
    case E::Pre:
    case E::Search:
    case E::Section:
    case E::Summary:
    case E::Ul:
    case E::Xmp:
        return TDisplay::Block;
    case E::P:
        return TDisplay::Paragraph;
    case E::Area:
    case E::Audio:
    case E::Base:
    case E::Basefont:
    case E::Bgsound:
    case E::Col:
    case E::Colgroup:
    case E::Datalist:
    case E::Frame:
    case E::Head:
    case E::Link:
    case E::Meta:
    case E::Noembed:
    case E::Noframes:
    case E::Param:
    case E::Rp:
    case E::Script:
    case E::Source:
    case E::Style:
    case E::Template:
    case E::Title:
    case E::Track:
        return TDisplay::None;
    case E::Button:
    case E::Marquee:
    case E::Select:
        return TDisplay::InlineBlock;
    case E::Embed:
    case E::Iframe:
    case E::Img:
    case E::Input:
    case E::Keygen:
    case E::Svg:
    case E::Textarea:
    case E::Video:
        return TDisplay::Replaced;
    case E::Table:
        return TDisplay::Table;
    case E::Tr:
        return TDisplay::Row;
    case E::Td:
    case E::Th:
        return TDisplay::Cell;
    case E::Br:
        return TDisplay::LineBreak;
    default:
        return TDisplay::Inline;
    }
}

bool keepsBlanks(THtmlElement element) noexcept
{
    return element == E::Pre || element == E::Listing || element == E::Xmp || element == E::Plaintext
        || element == E::Textarea;
}

// Blanks of HTML: space, tab, line feed, form feed, carriage return.
constexpr std::array<bool, 256> BlankBytes = [] {
    std::array<bool, 256> table {};
    for (const unsigned char c : { ' ', '\t', '\n', '\f', '\r' })
        table[c] = true;
    return table;
}();

inline bool isBlank(char c) noexcept
{
    return BlankBytes[static_cast<unsigned char>(c)];
}

bool equalsLower(std::string_view text, std::string_view lower) noexcept
{
    return text.size() == lower.size()
        && std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) { return lowerAscii(a) == b; });
}

// An inline style that says "display: none" (with any blanks and letter case).
bool stylesNone(std::string_view style) noexcept
{
    std::string squeezed;
    for (const char c : style)
        if (!isBlank(c))
            squeezed += lowerAscii(c);
    for (size_t at = squeezed.find("display:none"); at != std::string::npos; at = squeezed.find("display:none", at + 1))
        if (at == 0 || squeezed[at - 1] == ';' || squeezed[at - 1] == '"' || squeezed[at - 1] == '\'')
            return true;
    return false;
}

} // namespace

THtmlElement elementOfName(std::string_view name) noexcept
{
    if (name.empty() || name.size() > LongestName)
        return E::Other;
    char lower[LongestName];
    std::transform(name.begin(), name.end(), lower, lowerAscii);
    const std::string_view key(lower, name.size());
    if (const uint8_t at = ElementTable.find(key, Elements, nameOfEntry); at != 0)
        return Elements[at - 1].element;
    return E::Other;
}

bool isVoidElement(THtmlElement element) noexcept
{
    switch (element) {
    case E::Area:
    case E::Base:
    case E::Basefont:
    case E::Bgsound:
    case E::Br:
    case E::Col:
    case E::Embed:
    case E::Frame:
    case E::Hr:
    case E::Img:
    case E::Input:
    case E::Keygen:
    case E::Link:
    case E::Meta:
    case E::Param:
    case E::Source:
    case E::Track:
    case E::Wbr:
        return true;
    default:
        return false;
    }
}

void readAttribute(TElementFlags& flags, std::string_view name, std::string_view value) noexcept
{
    if (equalsLower(name, "open"))
        flags.open = true;
    else if (equalsLower(name, "hidden") || (equalsLower(name, "style") && value.size() >= 12 && stylesNone(value)))
        flags.hidden = true;
}

TTextBuilder::TTextBuilder()
{
    m_open.reserve(64);
}

void TTextBuilder::open(THtmlElement element, TElementFlags flags)
{
    TOpen entry { element, false, false, false };
    const TDisplay display = displayOf(element);
    if (m_hiddenDepth > 0) {
        m_open.push_back(entry);
        return;
    }
    const bool inClosedDetails = !m_open.empty() && m_open.back().closedDetails;
    if (display == TDisplay::Replaced || display == TDisplay::InlineBlock)
        emitSpace();
    if (display == TDisplay::Replaced || display == TDisplay::None || flags.hidden
        || (element == E::Dialog && !flags.open) || (inClosedDetails && element != E::Summary)) {
        entry.hides = true;
        ++m_hiddenDepth;
        m_open.push_back(entry);
        return;
    }
    entry.closedDetails = element == E::Details && !flags.open;
    entry.keepsBlanks = keepsBlanks(element);
    m_keepDepth += entry.keepsBlanks;
    switch (display) {
    case TDisplay::Block:
    case TDisplay::Table:
        requireBreaks(1);
        break;
    case TDisplay::Paragraph:
        requireBreaks(2);
        break;
    case TDisplay::Row:
        // Rows of a table are separated by a line feed, not a required line break: an empty row is a line.
        if (TOpen* table = innermost(E::Table, E::Other); table && table->count++ > 0)
            emit("\n");
        break;
    case TDisplay::Cell:
        if (TOpen* row = innermost(E::Tr, E::Table); row && row->count++ > 0)
            emit("\t");
        m_lineStart = true;
        break;
    case TDisplay::LineBreak:
        emit("\n");
        break;
    case TDisplay::InlineBlock:
        m_lineStart = true;
        break;
    default:
        break;
    }
    m_open.push_back(entry);
}

void TTextBuilder::close()
{
    if (m_open.empty())
        return;
    const TOpen entry = m_open.back();
    m_open.pop_back();
    if (entry.hides) {
        if (--m_hiddenDepth == 0 && displayOf(entry.element) == TDisplay::Replaced)
            m_lineStart = false;
        return;
    }
    if (m_hiddenDepth > 0)
        return;
    m_keepDepth -= entry.keepsBlanks;
    switch (displayOf(entry.element)) {
    case TDisplay::Block:
    case TDisplay::Table:
        requireBreaks(1);
        break;
    case TDisplay::Paragraph:
        requireBreaks(2);
        break;
    case TDisplay::Cell:
        m_pendingSpace = false;
        m_lineStart = true;
        break;
    case TDisplay::InlineBlock:
        m_pendingSpace = false;
        m_lineStart = false;
        break;
    default:
        break;
    }
}

void TTextBuilder::text(std::string_view utf8)
{
    if (m_hiddenDepth > 0 || (!m_open.empty() && m_open.back().closedDetails))
        return;
    if (m_keepDepth > 0)
        emitKept(utf8);
    else
        emitCollapsed(utf8);
}

std::string TTextBuilder::take()
{
    std::string out = std::move(m_out);
    m_out.clear();
    m_pendingBreaks = 0;
    m_pendingSpace = false;
    m_lineStart = true;
    return out;
}

void TTextBuilder::requireBreaks(int count) noexcept
{
    m_pendingBreaks = std::max(m_pendingBreaks, count);
    m_pendingSpace = false;
    m_lineStart = true;
}

// A piece of text or a line feed or tab of the layout: the line breaks required before it come first (none at
// the start of the text), then a space that collapsed between two words.
void TTextBuilder::emit(std::string_view piece)
{
    if (m_pendingBreaks > 0) {
        if (!m_out.empty())
            m_out.append(static_cast<size_t>(m_pendingBreaks), '\n');
        m_pendingBreaks = 0;
    }
    // A space after the required breaks is one kept after an image or control that began the line.
    if (m_pendingSpace && piece.front() != '\n' && piece.front() != '\t' && piece.front() != ' ')
        m_out += ' ';
    m_pendingSpace = false;
    m_out.append(piece);
    m_lineStart = m_out.empty() || m_out.back() == '\n' || m_out.back() == '\t';
}

// The space before an image, a control or an inline block is kept: they are content of the line.
void TTextBuilder::emitSpace()
{
    if (m_pendingSpace)
        emit(" ");
}

// White space as CSS "white-space: normal" has it: each run one space, none at the start or end of a line.
void TTextBuilder::emitCollapsed(std::string_view utf8)
{
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    while (p < end) {
        if (isBlank(*p)) {
            do
                ++p;
            while (p < end && isBlank(*p));
            if (!m_lineStart)
                m_pendingSpace = true;
            continue;
        }
        const char* word = p;
        do
            ++p;
        while (p < end && !isBlank(*p));
        emit({ word, static_cast<size_t>(p - word) });
        m_lineStart = false;
    }
}

// Pre-formatted text keeps every blank; only carriage returns become line feeds, as the HTML parser has them.
void TTextBuilder::emitKept(std::string_view utf8)
{
    size_t from = 0;
    while (from < utf8.size()) {
        const size_t cr = utf8.find('\r', from);
        const std::string_view piece = utf8.substr(from, cr == std::string_view::npos ? cr : cr - from);
        if (!piece.empty())
            emit(piece);
        if (cr == std::string_view::npos)
            break;
        emit("\n");
        from = cr + 1 < utf8.size() && utf8[cr + 1] == '\n' ? cr + 2 : cr + 1;
    }
}

TTextBuilder::TOpen* TTextBuilder::innermost(THtmlElement element, THtmlElement stop) noexcept
{
    for (size_t i = m_open.size(); i-- > 0;) {
        if (m_open[i].element == element)
            return &m_open[i];
        if (m_open[i].element == stop && stop != E::Other)
            return nullptr;
    }
    return nullptr;
}
