#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rules that turn a tree of HTML elements into the text a reader sees, as a browser's innerText has it for a
// page without style sheets. Both the streaming scan of a whole page and the walk over a libxml2 tree feed one
// TTextBuilder, so the two cannot read a page differently.

// The elements whose names the rules know; every other name is Other (an inline element).
enum class THtmlElement : uint8_t {
    Other,
    A,
    Address,
    Area,
    Article,
    Aside,
    Audio,
    Base,
    Basefont,
    Bgsound,
    Blockquote,
    Body,
    Br,
    Button,
    Canvas,
    Caption,
    Center,
    Col,
    Colgroup,
    Datalist,
    Dd,
    Details,
    Dialog,
    Dir,
    Div,
    Dl,
    Dt,
    Embed,
    Fieldset,
    Figcaption,
    Figure,
    Footer,
    Form,
    Frame,
    Frameset,
    H1,
    H2,
    H3,
    H4,
    H5,
    H6,
    Head,
    Header,
    Hgroup,
    Hr,
    Html,
    Iframe,
    Img,
    Input,
    Keygen,
    Legend,
    Li,
    Link,
    Listing,
    Main,
    Marquee,
    Menu,
    Meta,
    Nav,
    Noembed,
    Noframes,
    Noscript,
    Object,
    Ol,
    Optgroup,
    Option,
    P,
    Param,
    Plaintext,
    Pre,
    Rp,
    Script,
    Search,
    Section,
    Select,
    Source,
    Style,
    Summary,
    Svg,
    Table,
    Tbody,
    Td,
    Template,
    Textarea,
    Tfoot,
    Th,
    Thead,
    Title,
    Tr,
    Track,
    Ul,
    Video,
    Wbr,
    Xmp,
};

// The element of a tag name in any letter case.
THtmlElement elementOfName(std::string_view name) noexcept;
// Elements that have no content and no end tag.
bool isVoidElement(THtmlElement element) noexcept;

// What an element's attributes say about its text: the hidden attribute or an inline "display: none" removes it;
// details and dialog show their content only when open.
struct TElementFlags
{
    bool hidden = false;
    bool open = false;
};
void readAttribute(TElementFlags& flags, std::string_view name, std::string_view value) noexcept;

class TTextBuilder
{
public:
    TTextBuilder();

    // An element begins or the innermost open one ends; every open needs its close.
    void open(THtmlElement element, TElementFlags flags = {});
    void close();
    // Character data as the tree holds it (references decoded), UTF-8. A line feed just after the start tag of
    // pre, listing or textarea must already be dropped, as the HTML parser drops it.
    void text(std::string_view utf8);
    // A new line before what follows, unless the text is still empty (for a list of elements).
    void beginLine() { requireBreaks(1); }
    // Whether text at this point would be shown.
    bool visible() const noexcept { return m_hiddenDepth == 0; }

    // The text so far without the line breaks that would end it; the builder is empty afterwards.
    std::string take();

private:
    struct TOpen
    {
        THtmlElement element;
        bool hides; // this element hid its content
        bool keepsBlanks;
        bool closedDetails;
        uint32_t count = 0; // rows of a table, cells of a row
    };

    void requireBreaks(int count) noexcept;
    void emit(std::string_view piece);
    void emitSpace();
    void emitCollapsed(std::string_view utf8);
    void emitKept(std::string_view utf8);
    TOpen* innermost(THtmlElement element, THtmlElement stop) noexcept;

    std::string m_out;
    std::vector<TOpen> m_open;
    int m_hiddenDepth = 0;
    int m_keepDepth = 0;
    int m_pendingBreaks = 0;
    bool m_pendingSpace = false;
    bool m_lineStart = true; // a collapsible space here is dropped
};
