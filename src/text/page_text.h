#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// libxml2's own names for its document and node.
struct _xmlDoc; // NOLINT(bugprone-reserved-identifier)
struct _xmlNode; // NOLINT(bugprone-reserved-identifier)

// The page as the text a reader sees: what a browser's innerText gives for the page's body without style sheets
// and with scripts off. Everything here is UTF-8 and keeps the page's own characters, whatever its code.

// The page decoded to UTF-8. The code is found as the title reader finds it (byte order mark, the header's
// charset, the page's own declaration, then the bytes), and a charset outside the three Japanese codes and
// UTF-8 is read by the C library's converter when it knows the name. Bytes that are no character become U+FFFD.
std::string pageUtf8(std::string_view body, std::string_view contentType);

// The text of the whole page, lines separated by LF. A body served as plain text, or without any markup, is its
// decoded text with CR LF and lone CR made LF. One streaming pass; no tree.
std::string pageText(std::string_view body, std::string_view contentType);

// An HTML tree of UTF-8 markup built by libxml2's HTML parser, which never fails and writes no messages.
class THtmlDocument
{
public:
    explicit THtmlDocument(std::string_view utf8Html);
    ~THtmlDocument();
    THtmlDocument(THtmlDocument&& other) noexcept;
    THtmlDocument& operator=(THtmlDocument&& other) noexcept;
    THtmlDocument(const THtmlDocument&) = delete;
    THtmlDocument& operator=(const THtmlDocument&) = delete;

    _xmlDoc* doc() const noexcept { return m_doc; }
    // The body element; nullptr when the tree has none (a frameset page).
    _xmlNode* body() const noexcept;

private:
    _xmlDoc* m_doc = nullptr;
};

// The text of these nodes of a tree (elements, text nodes or the document), in the order given, each beginning a
// line, by the rules of pageText. White space inside a pre-formatted ancestor is kept.
std::string pageTextOfNodes(const std::vector<_xmlNode*>& nodes);

// An attribute of an element as libxml2's tree holds it: the name in lower case, character references of the
// value decoded.
struct TTagAttribute
{
    std::string_view name;
    std::string_view value;
};

// Chooses elements during pageTextOfPicked's pass, which calls it for every element of the tree in document order.
class TElementPicker
{
public:
    virtual ~TElementPicker() = default;
    // An element begins as the last child of the innermost open one (none for the root); true to take its text.
    // The name is in lower case; the attributes stay valid until the call returns.
    virtual bool enter(std::string_view name, std::span<const TTagAttribute> attributes) = 0;
    // The innermost open element ends.
    virtual void leave() = 0;
    // Whether enter needs an attribute of this name (in lower case); the others may be left out of its list.
    virtual bool wantsAttribute(std::string_view name) const = 0;
    // True for a picker that only follows the tree and never takes an element: no attribute is read for the text.
    virtual bool takesNothing() const { return false; }
};

struct TPickedText
{
    std::string text;
    bool found = false; // some element was picked
};

// The text of the elements that the picker takes, outermost only, as pageTextOfNodes gives it for the same
// elements of THtmlDocument's tree, in one streaming pass that builds the tree as libxml2's HTML parser does
// without keeping it. nullopt for markup whose tree the pass does not know to build as libxml2 does (an
// unusual character in a name, a reference libxml2 reads otherwise, deep nesting): then the tree decides.
std::optional<TPickedText> pageTextOfPicked(std::string_view utf8Html, TElementPicker& picker);
