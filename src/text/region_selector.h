#pragma once

#include "text/page_text.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// libxml2's own names for its document and node.
struct _xmlDoc; // NOLINT(bugprone-reserved-identifier)
struct _xmlNode; // NOLINT(bugprone-reserved-identifier)

// The part of a page that an item watches: a group of CSS selectors, or an XPath 1.0 expression written after
// "xpath:". Element and attribute names match without regard to ASCII case, as in HTML; ids, classes and
// attribute values match exactly unless an attribute test ends in " i".
//
// CSS: type, *, #id, .class, [a], [a=v], [a~=v], [a|=v], [a^=v], [a$=v], [a*=v] (the value quoted with ' or ",
// or bare), the combinators descendant, >, + and ~, :first-child, :last-child, :only-child, :first-of-type,
// :last-of-type, :only-of-type, :nth-child, :nth-last-child, :nth-of-type and :nth-last-of-type with odd, even
// or an+b, :not() of one or more compound selectors, and groups with ",".
//
// XPath: the nodes of a node-set stand for the elements a reader sees them in: an element for itself, a text
// node for the element around it, the document for its root element; attributes, comments and processing
// instructions stand for nothing. Any other result (a number, a string, a truth value) is an error.
// One selector is used by one thread at a time (libxml2 keeps caches in a compiled expression).
class TRegionSelector
{
public:
    // Parses a selector group or compiles an XPath expression; TException with a Japanese message that names it
    // and the character where it fails.
    explicit TRegionSelector(std::string_view region);
    ~TRegionSelector();
    TRegionSelector(TRegionSelector&&) noexcept;
    TRegionSelector& operator=(TRegionSelector&&) noexcept;

    // The matching elements in document order, outermost only (one inside another match is left out), so no
    // text is given twice; empty when nothing matches. An XPath expression that fails on this document (an
    // unknown function, its work limit) throws TException.
    std::vector<_xmlNode*> select(_xmlDoc* doc) const;

    bool isXPath() const noexcept;

    // Whether the region is found by streaming passes: any CSS group, and an XPath location path of child and
    // descendant steps with positions and attribute tests, as browsers copy them ("//*[@id='a']/div[2]/p").
    // One that counts from the end (:last-child, :nth-last-*, [last()] and their kin) takes a first pass to
    // count siblings.
    bool streams() const noexcept;
    // The region's text on a page of UTF-8 markup, as pageTextOfNodes(select(THtmlDocument(utf8Html).doc()))
    // gives it, without the tree; nullopt when the region does not stream or the markup needs the tree.
    std::optional<TPickedText> streamedText(std::string_view utf8Html) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

// The elements of the document matching a CSS selector group or "xpath:EXPR", as TRegionSelector::select.
std::vector<_xmlNode*> selectRegion(_xmlDoc* doc, std::string_view region);

// Checks a region as the item dialog's OK does: throws TException with the message when it cannot be used. An
// XPath expression is also tried on a small page, which finds unknown functions and results that are no nodes.
void checkRegion(std::string_view region);
