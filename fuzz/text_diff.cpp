// The diff of two texts, the input split at its first zero byte into the older and the newer text. The words of
// a line must spell the line; the display diff must spell both texts line by line and count what it shows; the
// unified diff, applied to the older text as patch would apply it, must give the newer text byte for byte.
#include "text/text_diff.h"
#include "text/word_split.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The text's lines, each with a line feed, as the display diff sees them.
std::string withFinalLineFeed(std::string_view text)
{
    std::string out(text);
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    return out;
}

std::vector<std::string_view> splitKeepingLineFeeds(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

size_t number(std::string_view text, size_t& at)
{
    size_t value = 0;
    check(at < text.size() && text[at] >= '0' && text[at] <= '9');
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + static_cast<size_t>(text[at++] - '0');
    return value;
}

// "-a,b" or "-a" at `at`: the 0-based first line and the count.
std::pair<size_t, size_t> range(std::string_view text, size_t& at)
{
    ++at;
    const size_t start = number(text, at);
    size_t count = 1;
    if (at < text.size() && text[at] == ',') {
        ++at;
        count = number(text, at);
    }
    check(count == 0 || start > 0);
    return { count == 0 ? start : start - 1, count };
}

std::string applyUnified(std::string_view older, std::string_view diff)
{
    const std::vector<std::string_view> source = splitKeepingLineFeeds(older);
    const std::vector<std::string_view> lines = splitKeepingLineFeeds(diff);
    check(lines.size() >= 3 && lines[0].starts_with("--- ") && lines[1].starts_with("+++ "));
    std::string out;
    size_t at = 0;
    size_t oldLeft = 0, newLeft = 0;
    for (size_t k = 2; k < lines.size(); ++k) {
        std::string_view line = lines[k];
        check(line.ends_with('\n'));
        const bool noLineFeed = k + 1 < lines.size() && lines[k + 1] == "\\ No newline at end of file\n";
        std::string body(line.substr(1, line.size() - 2));
        if (!noLineFeed)
            body += '\n';
        if (line.starts_with("@@ ")) {
            check(oldLeft == 0 && newLeft == 0);
            size_t p = 3;
            const auto [oldStart, oldCount] = range(line, p);
            check(line.substr(p, 1) == " ");
            ++p;
            const auto newCount = range(line, p).second;
            check(line.substr(p) == " @@\n" && oldStart >= at && oldStart <= source.size());
            for (; at < oldStart; ++at)
                out += source[at];
            oldLeft = oldCount;
            newLeft = newCount;
            continue;
        }
        if (noLineFeed)
            ++k;
        if (line[0] == ' ' || line[0] == '-') {
            check(oldLeft > 0 && at < source.size() && source[at] == body);
            --oldLeft;
            ++at;
        }
        if (line[0] == ' ' || line[0] == '+') {
            check(newLeft > 0);
            --newLeft;
            out += body;
        }
        check(line[0] == ' ' || line[0] == '-' || line[0] == '+');
    }
    check(oldLeft == 0 && newLeft == 0);
    for (; at < source.size(); ++at)
        out += source[at];
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t separator = input.find('\0');
    const std::string_view older = input.substr(0, separator);
    const std::string_view newer
        = separator == std::string_view::npos ? std::string_view() : input.substr(separator + 1);

    std::string spelled;
    for (std::string_view word : splitWords(older))
        spelled += word;
    check(spelled == older);

    const TTextDiff diff = diffTexts(older, newer);
    std::string olderLines, newerLines;
    size_t added = 0, removed = 0;
    for (size_t k = 0; k < diff.lines.size(); ++k) {
        const TDiffLine& line = diff.lines[k];
        if (line.kind == TDiffLine::Changed) {
            std::string oldText, newText;
            for (const TWordSpan& span : line.words) {
                if (span.kind != TWordSpan::Added)
                    oldText += span.text;
                if (span.kind != TWordSpan::Removed)
                    newText += span.text;
            }
            check(newText == line.text && oldText != newText);
            olderLines += oldText + '\n';
        } else {
            check(line.words.empty());
        }
        if (line.kind == TDiffLine::Same || line.kind == TDiffLine::Removed)
            olderLines += line.text + '\n';
        if (line.kind != TDiffLine::Removed)
            newerLines += line.text + '\n';
        added += line.kind == TDiffLine::Added || line.kind == TDiffLine::Changed;
        removed += line.kind == TDiffLine::Removed || line.kind == TDiffLine::Changed;
        const bool starts = line.kind != TDiffLine::Same && (k == 0 || diff.lines[k - 1].kind == TDiffLine::Same);
        check(starts == std::binary_search(diff.changeStarts.begin(), diff.changeStarts.end(), k));
    }
    check(olderLines == withFinalLineFeed(older) && newerLines == withFinalLineFeed(newer));
    check(diff.stats.added == added && diff.stats.removed == removed);

    for (int context : { 3, 0 }) {
        const std::string unified = unifiedDiff(older, newer, "older", "newer", context);
        if (older == newer)
            check(unified.empty());
        else
            check(applyUnified(older, unified) == newer);
    }
    return 0;
}
