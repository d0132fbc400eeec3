#pragma once

#include "text/tag_scanner.h"

#include <optional>
#include <string>
#include <string_view>

using HTMLParser = TTagScanner<THTMLSyntax>;

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
