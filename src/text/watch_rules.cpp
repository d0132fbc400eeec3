#include "text/watch_rules.h"

#include "base/exception.h"
#include "text/page_text.h"
#include "text/unicode_text.h"

#include <re2/re2.h>

#include <array>
#include <cstdint>

namespace {

// The memory RE2 may take for one pattern and for all of them together: its programs and the DFA's cache. A
// pattern beyond it fails to compile; a search that fills the cache goes on, slower, in RE2's NFA.
constexpr int64_t PatternMemory = 16 << 20;
// Stands for a run of digits in the compare key; SUB, which no page text holds.
constexpr char NumberPlaceholder = '\x1A';

RE2::Options patternOptions()
{
    RE2::Options options;
    options.set_log_errors(false);
    options.set_max_mem(PatternMemory);
    // A match never runs over a line end (\s and [^x] leave LF out), so a match found in the whole text lies on
    // the one line it was found on.
    options.set_never_nl(true);
    return options;
}

// Whether a pattern anchors to the text as a whole, where in a line alone it would anchor to the line: \A, \z,
// or multi-line mode turned off. Such a pattern is searched line by line. An escape in a class may be taken
// for one here; that only costs speed.
bool anchorsToWholeText(std::string_view pattern)
{
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            if (i + 1 < pattern.size() && (pattern[i + 1] == 'A' || pattern[i + 1] == 'z'))
                return true;
            ++i;
        } else if (pattern[i] == '(' && i + 1 < pattern.size() && pattern[i + 1] == '?') {
            bool clearing = false;
            for (size_t j = i + 2;
                 j < pattern.size() && std::string_view("imsU-").find(pattern[j]) != std::string_view::npos; ++j) {
                if (pattern[j] == '-')
                    clearing = true;
                else if (pattern[j] == 'm' && clearing)
                    return true;
            }
        }
    }
    return false;
}

// U+0009-000D, U+0020, U+0085, U+00A0, U+1680, U+2000-200A, U+2028, U+2029, U+202F, U+205F, U+3000.
bool isWhiteSpace(char32_t c) noexcept
{
    if (c < 0x80)
        return c == ' ' || (c >= 0x09 && c <= 0x0D);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029
        || c == 0x202F || c == 0x205F || c == 0x3000;
}

// A byte that stands in the key as it is: ASCII other than blanks, and other than digits when they do not count.
bool isPlainAscii(char byte, bool ignoreNumbers) noexcept
{
    static constexpr auto Table = [] {
        std::array<std::array<bool, 128>, 2> table {};
        for (int c = 0x21; c < 0x7F; ++c)
            table[0][static_cast<size_t>(c)] = table[1][static_cast<size_t>(c)] = true;
        for (int c = '0'; c <= '9'; ++c)
            table[1][static_cast<size_t>(c)] = false;
        return table;
    }();
    const auto u = static_cast<unsigned char>(byte);
    return u < 0x80 && Table[ignoreNumbers ? 1 : 0][u];
}

} // namespace

TCompiledRules::TCompiledRules(const TWatchRules& rules)
    : m_ignoreNumbers(rules.ignoreNumbers)
{
    if (!rules.region.empty())
        m_region.emplace(rules.region);
    const RE2::Options options = patternOptions();
    // Multi-line mode makes ^ and $ the ends of a line in the whole text as in a line alone.
    std::string combined = "(?m)";
    bool any = false;
    for (const std::string& pattern : rules.ignore) {
        if (pattern.empty())
            continue;
        const RE2 alone(pattern, options);
        if (!alone.ok())
            throw TException("除外する行のパターン「" + pattern + "」が読めません（" + alone.error() + "）");
        // Each pattern compiled alone is whole, so inside its own group it keeps its meaning and its flags.
        combined += any ? "|(?:" : "(?:";
        combined += pattern;
        combined += ')';
        any = true;
        m_lineByLine = m_lineByLine || anchorsToWholeText(pattern);
    }
    if (!any)
        return;
    m_ignore = std::make_unique<RE2>(combined, options);
    if (!m_ignore->ok())
        throw TException("除外する行のパターンが全部で大きすぎます（" + m_ignore->error() + "）");
}

TCompiledRules::~TCompiledRules() = default;
TCompiledRules::TCompiledRules(TCompiledRules&&) noexcept = default;
TCompiledRules& TCompiledRules::operator=(TCompiledRules&&) noexcept = default;

template <class Visit>
void TCompiledRules::forEachIgnoredLine(std::string_view text, Visit&& visit) const
{
    if (!m_ignore)
        return;
    const auto lineEnd = [&](size_t from) {
        const size_t end = text.find('\n', from);
        return end == std::string_view::npos ? text.size() : end;
    };
    const auto lineMatches = [&](size_t begin, size_t end) {
        return RE2::PartialMatch(re2::StringPiece(text.data() + begin, end - begin), *m_ignore);
    };
    if (m_lineByLine) {
        for (size_t begin = 0; begin < text.size();) {
            const size_t end = lineEnd(begin);
            if (lineMatches(begin, end))
                visit(begin, end);
            begin = end + 1;
        }
        return;
    }
    // From the start of a line, the leftmost match is on the first line from there that a pattern matches.
    const re2::StringPiece whole(text.data(), text.size());
    for (size_t from = 0; from < text.size();) {
        re2::StringPiece match;
        if (!m_ignore->Match(whole, from, text.size(), RE2::UNANCHORED, &match, 1))
            return;
        const auto at = static_cast<size_t>(match.data() - text.data());
        if (at == text.size() && text.back() == '\n')
            return; // an empty match after the last LF, where no line is
        const size_t before = at > from ? text.rfind('\n', at - 1) : std::string_view::npos;
        const size_t begin = before == std::string_view::npos || before < from ? from : before + 1;
        const size_t end = lineEnd(at);
        // never_nl keeps LF out of classes, but \C still takes any byte: such a match proves nothing.
        if (match.find('\n') == re2::StringPiece::npos || lineMatches(begin, end))
            visit(begin, end);
        from = end + 1;
    }
}

std::string TCompiledRules::keptText(std::string_view text) const
{
    if (!m_ignore)
        return std::string(text);
    std::string kept;
    kept.reserve(text.size());
    size_t from = 0;
    forEachIgnoredLine(text, [&](size_t begin, size_t end) {
        kept.append(text.substr(from, begin - from));
        from = end + 1;
    });
    if (from < text.size())
        kept.append(text.substr(from));
    return kept;
}

std::vector<bool> TCompiledRules::ignoredLines(std::string_view text) const
{
    std::vector<bool> ignored;
    size_t line = 0;
    size_t from = 0;
    const auto countTo = [&](size_t to) {
        for (size_t at = text.find('\n', from); at != std::string_view::npos && at < to; at = text.find('\n', at + 1))
            ++line;
        from = to;
    };
    forEachIgnoredLine(text, [&](size_t begin, size_t) {
        countTo(begin);
        ignored.resize(line + 1);
        ignored[line] = true;
    });
    countTo(text.size());
    const size_t lines = line + (text.empty() || text.back() == '\n' ? 0 : 1);
    ignored.resize(lines);
    return ignored;
}

std::vector<bool> ignoredLines(std::string_view text, const TCompiledRules& rules)
{
    return rules.ignoredLines(text);
}

std::optional<std::string> regionText(std::string_view body, std::string_view contentType, const TCompiledRules& rules)
{
    const TRegionSelector* region = rules.region();
    if (region == nullptr)
        return pageText(body, contentType);
    const std::string utf8 = pageUtf8(body, contentType);
    if (std::optional<TPickedText> streamed = region->streamedText(utf8)) {
        if (!streamed->found)
            return std::nullopt;
        return std::move(streamed->text);
    }
    const THtmlDocument document(utf8);
    const std::vector<_xmlNode*> nodes = region->select(document.doc());
    if (nodes.empty())
        return std::nullopt;
    return pageTextOfNodes(nodes);
}

TWatchedText watchedText(std::string_view body, std::string_view contentType, const TCompiledRules& rules)
{
    TWatchedText watched;
    std::optional<std::string> text = regionText(body, contentType, rules);
    if (!text) {
        watched.regionMissing = true;
        return watched;
    }
    watched.text = rules.ignoresLines() ? rules.keptText(*text) : std::move(*text);
    // Kept texts end in one line feed, so that a diff of two of them and a file written from one end cleanly.
    while (!watched.text.empty() && (watched.text.back() == '\n' || watched.text.back() == ' '))
        watched.text.pop_back();
    if (!watched.text.empty())
        watched.text += '\n';
    watched.compareKey = compareKey(watched.text, rules.ignoreNumbers());
    return watched;
}

std::string compareKey(std::string_view text, bool ignoreNumbers)
{
    std::string key;
    key.reserve(text.size());
    bool lineHasText = false;
    bool spaceBefore = false;
    bool inNumber = false;
    const auto put = [&](std::string_view bytes) {
        if (spaceBefore && lineHasText)
            key += ' ';
        key.append(bytes);
        spaceBefore = false;
        lineHasText = true;
    };
    for (size_t i = 0; i < text.size();) {
        const char byte = text[i];
        if (byte == '\n') {
            if (lineHasText)
                key += '\n';
            lineHasText = spaceBefore = inNumber = false;
            ++i;
            continue;
        }
        // Most of a text is plain ASCII, which goes to the key a run at a time.
        size_t run = i;
        while (run < text.size() && isPlainAscii(text[run], ignoreNumbers))
            ++run;
        if (run > i) {
            put(text.substr(i, run - i));
            inNumber = false;
            i = run;
            continue;
        }
        char32_t c = static_cast<uint8_t>(byte);
        size_t length = 1;
        if (c >= 0x80) {
            const TUtf8Char read = readUtf8(text, i);
            c = read.valid ? read.codePoint : 0xFFFD;
            length = read.length;
        }
        if (isWhiteSpace(c)) {
            spaceBefore = true;
            inNumber = false;
        } else if (ignoreNumbers && ((c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19))) {
            if (!inNumber)
                put(std::string_view(&NumberPlaceholder, 1));
            inNumber = true;
        } else {
            put(text.substr(i, length));
            inNumber = false;
        }
        i += length;
    }
    if (lineHasText)
        key += '\n';
    return key;
}
