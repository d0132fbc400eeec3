#pragma once

#include "text/region_selector.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

// What of a page counts when an item is checked for a change. Texts are UTF-8 with LF line ends; a line is the
// text between two LFs (a last line without an LF counts; an LF at the very end starts no line).
struct TWatchRules
{
    std::string region; // a CSS selector group or "xpath:EXPR"; empty for the whole page
    std::vector<std::string> ignore; // RE2 patterns; a line that one matches anywhere is left out (empty ones skipped)
    bool ignoreNumbers = false; // a change in digits alone is no change
};

// The rules of one check, compiled once. The ignore patterns become one alternation whose search runs over the
// whole text, at the speed of RE2's DFA, and stops only at lines it leaves out.
class TCompiledRules
{
public:
    // TException with a Japanese message for a region that cannot be read, or for a pattern that does not
    // compile (naming the pattern and RE2's reason, as for one too large for the memory a pattern may take).
    explicit TCompiledRules(const TWatchRules& rules);
    ~TCompiledRules();
    TCompiledRules(TCompiledRules&&) noexcept;
    TCompiledRules& operator=(TCompiledRules&&) noexcept;

    // nullptr when the whole page counts.
    const TRegionSelector* region() const noexcept { return m_region ? &*m_region : nullptr; }
    bool ignoreNumbers() const noexcept { return m_ignoreNumbers; }
    bool ignoresLines() const noexcept { return m_ignore != nullptr; }

    // The text without its ignored lines; every kept line keeps its LF.
    std::string keptText(std::string_view text) const;
    // For each line of the text, whether it is ignored.
    std::vector<bool> ignoredLines(std::string_view text) const;

private:
    // Calls visit(begin, end) for the byte range of each ignored line (its LF not included), in order.
    template <class Visit>
    void forEachIgnoredLine(std::string_view text, Visit&& visit) const;

    std::optional<TRegionSelector> m_region;
    std::unique_ptr<re2::RE2> m_ignore;
    bool m_lineByLine = false; // a pattern anchors to the whole text (\A, \z, (?-m)), so lines are searched alone
    bool m_ignoreNumbers = false;
};

// The reason of the check's error when a region matches nothing on the page.
inline constexpr std::string_view RegionMissingMessage = "指定した部分が見つかりません";

// The text of one check as it is kept and compared.
struct TWatchedText
{
    std::string text; // the page's (or its region's) text without the ignored lines, ending in one LF
    std::string compareKey; // compareKey(text, ignoreNumbers): equal keys mean no change
    bool regionMissing = false; // the region matches nothing on this page (RegionMissingMessage); text, key empty
};

// The page text of an answer under the rules: the whole page's text (one streaming pass), or with a region the
// text of its elements, each beginning a line. A CSS region is read in a streaming pass that builds libxml2's
// tree without keeping it (TRegionSelector::streamedText), after a first pass that counts siblings when the
// selector counts from the end; XPath and markup that pass is unsure of go over the tree; both give the same
// text. Throws TException when an XPath expression fails on this page.
TWatchedText watchedText(std::string_view body, std::string_view contentType, const TCompiledRules& rules);

// The text that watchedText starts from: the whole page's, or its region's; nullopt when the region matches
// nothing. With ignoredLines, for a preview that shows the lines left out greyed.
std::optional<std::string> regionText(std::string_view body, std::string_view contentType, const TCompiledRules& rules);

// The form in which two texts are compared: white space runs (Unicode's, the ideographic space too) become one
// space, lines are trimmed, blank lines dropped and the rest end in LF; with ignoreNumbers each run of digits
// (ASCII and full-width) becomes one placeholder character.
std::string compareKey(std::string_view text, bool ignoreNumbers);

// For each line of the text, whether the rules leave it out; for a preview that greys those lines.
std::vector<bool> ignoredLines(std::string_view text, const TCompiledRules& rules);
