#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What changed between two versions of a page text (UTF-8, lines separated by LF): lines first, then words
// inside the lines that changed. The work is bounded: past a cost limit a region of lines is taken as replaced
// as a whole, and a pair of lines too long to compare word by word is shown as removed and added.

struct TDiffStats
{
    size_t added = 0; // lines, as a unified diff counts them: a changed line is one removed and one added
    size_t removed = 0;
};

struct TWordSpan
{
    enum Kind { Same, Added, Removed };
    Kind kind;
    std::string text;
};

struct TDiffLine
{
    // Same and Changed lines are in both texts, Added only in the newer, Removed only in the older.
    enum Kind { Same, Added, Removed, Changed };
    Kind kind;
    size_t oldLine; // 1-based line in the older text, 0 for an added line
    size_t newLine; // 1-based line in the newer text, 0 for a removed line
    std::string text; // the newer line; the older one for a removed line
    // For a changed line only: the words of both lines in reading order, a removed span before the added span
    // that takes its place. Their Same and Added spans together spell `text`.
    std::vector<TWordSpan> words;
};

struct TTextDiff
{
    // The newer text line by line with the removed lines where they were, each change block a run of lines
    // other than Same; a view folds the Same lines itself.
    std::vector<TDiffLine> lines;
    std::vector<size_t> changeStarts; // index in `lines` of each change block's first line, in order
    TDiffStats stats;
    bool wordsSkipped = false; // some changed lines were too long to compare by words: shown removed and added
    bool coarse = false; // the cost limit made some region of lines count as replaced as a whole
};

// The diff for display. A missing line feed at the end of either text is not a change here.
TTextDiff diffTexts(std::string_view older, std::string_view newer);

// The line counts alone, for a summary; the same figures as diffTexts(...).stats.
TDiffStats diffStats(std::string_view older, std::string_view newer);

// The counts as the list shows them: "3行追加、1行削除".
std::string changeCountText(const TDiffStats& stats);

// The lines a view shows when it folds the Same lines to `context` lines around each change block: runs of
// indices in diff.lines, in order; what lies between two runs (and before the first, after the last) is folded.
struct TLineRun
{
    size_t first;
    size_t count;
};
std::vector<TLineRun> shownLines(const TTextDiff& diff, size_t context = 2);

// The changes as GNU `diff -u --label olderLabel --label newerLabel` writes them, `context` lines around each
// hunk; empty when the texts are equal. A text whose last line has no line feed gets the
// "\ No newline at end of file" line after it, so a missing final line feed is a change here, as for patch.
std::string unifiedDiff(std::string_view older, std::string_view newer, std::string_view olderLabel,
    std::string_view newerLabel, int context = 3);
