#include "text/text_diff.h"

#include "text/word_split.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_map>

namespace {

// Work limits, in diagonal steps of the sequence diff (a step along a common run counts as one): one diff of
// lines, and all word diffs of one pair of texts together.
constexpr int64_t LineBudget = 10'000'000;
constexpr int64_t WordBudget = 20'000'000;
// Past this many tokens in a pair of lines, the pair is shown removed and added.
constexpr size_t MaxPairTokens = 20'000;
// A block pairs its removed and added lines by similarity up to this many candidate pairs and this much token
// work; a larger one pairs them by position.
constexpr size_t MaxPairingCells = 4096;
constexpr size_t MaxPairingWork = 2'000'000;
// Two lines whose words are this much alike (twice the common words over all words) are one changed line.
constexpr double PairSimilarity = 0.4;
// Myers' search stops at this many edits in a region and splits it where it got furthest, as GNU diff does.
constexpr ptrdiff_t MinTooExpensive = 512;

// Marks the elements of two sequences outside a long common subsequence: Myers' linear-space algorithm
// (the middle snake, divided and conquered on a stack), with a cut-off for costly regions that keeps the
// result a valid, if not minimal, edit script, and a budget past which a region is marked changed whole.
class TSequenceDiff
{
public:
    TSequenceDiff(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int64_t& budget)
        : m_a(a.data())
        , m_b(b.data())
        , m_n(static_cast<ptrdiff_t>(a.size()))
        , m_m(static_cast<ptrdiff_t>(b.size()))
        , m_forward(a.size() + b.size() + 3)
        , m_backward(a.size() + b.size() + 3)
        , m_budget(budget)
    {
        m_tooExpensive = 1;
        for (size_t diagonals = a.size() + b.size() + 3; diagonals != 0; diagonals >>= 2)
            m_tooExpensive <<= 1;
        m_tooExpensive = std::max(m_tooExpensive, MinTooExpensive);
    }

    // False when the budget ran out and some region was marked changed as a whole.
    bool run(std::vector<char>& changedA, std::vector<char>& changedB);

private:
    struct TBox
    {
        ptrdiff_t xoff, xlim, yoff, ylim;
        bool minimal;
    };
    struct TSplit
    {
        ptrdiff_t x, y;
        bool loMinimal, hiMinimal;
    };
    bool split(const TBox& box, TSplit& at);

    const uint32_t* m_a;
    const uint32_t* m_b;
    ptrdiff_t m_n;
    ptrdiff_t m_m;
    // The furthest x reached on each diagonal k = x - y, forward and backward, at index k + m + 1.
    std::vector<ptrdiff_t> m_forward;
    std::vector<ptrdiff_t> m_backward;
    ptrdiff_t m_tooExpensive;
    int64_t& m_budget;
};

bool TSequenceDiff::run(std::vector<char>& changedA, std::vector<char>& changedB)
{
    bool complete = true;
    std::vector<TBox> boxes { { 0, m_n, 0, m_m, false } };
    while (!boxes.empty()) {
        TBox box = boxes.back();
        boxes.pop_back();
        while (box.xoff < box.xlim && box.yoff < box.ylim && m_a[box.xoff] == m_b[box.yoff])
            ++box.xoff, ++box.yoff;
        while (box.xoff < box.xlim && box.yoff < box.ylim && m_a[box.xlim - 1] == m_b[box.ylim - 1])
            --box.xlim, --box.ylim;
        TSplit at {};
        if (box.xoff == box.xlim || box.yoff == box.ylim || !split(box, at) || at.x < box.xoff || at.x > box.xlim
            || at.y < box.yoff || at.y > box.ylim || (at.x == box.xoff && at.y == box.yoff)
            || (at.x == box.xlim && at.y == box.ylim)) {
            if (box.xoff != box.xlim && box.yoff != box.ylim)
                complete = false;
            std::fill(changedA.begin() + box.xoff, changedA.begin() + box.xlim, 1);
            std::fill(changedB.begin() + box.yoff, changedB.begin() + box.ylim, 1);
            continue;
        }
        boxes.push_back({ at.x, box.xlim, at.y, box.ylim, at.hiMinimal });
        boxes.push_back({ box.xoff, at.x, box.yoff, at.y, at.loMinimal });
    }
    return complete;
}

bool TSequenceDiff::split(const TBox& box, TSplit& at)
{
    ptrdiff_t* const fd = m_forward.data() + m_m + 1;
    ptrdiff_t* const bd = m_backward.data() + m_m + 1;
    const auto [xoff, xlim, yoff, ylim, minimal] = box;
    const ptrdiff_t dmin = xoff - ylim;
    const ptrdiff_t dmax = xlim - yoff;
    const ptrdiff_t fmid = xoff - yoff;
    const ptrdiff_t bmid = xlim - ylim;
    ptrdiff_t fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
    const bool odd = ((fmid - bmid) & 1) != 0;
    fd[fmid] = xoff;
    bd[bmid] = xlim;
    for (ptrdiff_t cost = 1;; ++cost) {
        if (m_budget <= 0)
            return false;
        // One more edit forward: the diagonals grow by one at each end, inside the box.
        if (fmin > dmin)
            fd[--fmin - 1] = -1;
        else
            ++fmin;
        if (fmax < dmax)
            fd[++fmax + 1] = -1;
        else
            --fmax;
        for (ptrdiff_t d = fmax; d >= fmin; d -= 2) {
            const ptrdiff_t lo = fd[d - 1];
            const ptrdiff_t hi = fd[d + 1];
            ptrdiff_t x = lo >= hi ? lo + 1 : hi;
            ptrdiff_t y = x - d;
            const ptrdiff_t x0 = x;
            while (x < xlim && y < ylim && m_a[x] == m_b[y])
                ++x, ++y;
            m_budget -= 1 + (x - x0);
            fd[d] = x;
            if (odd && bmin <= d && d <= bmax && bd[d] <= x) {
                at = { x, y, true, true };
                return true;
            }
        }
        // And one more backward.
        if (bmin > dmin)
            bd[--bmin - 1] = PTRDIFF_MAX;
        else
            ++bmin;
        if (bmax < dmax)
            bd[++bmax + 1] = PTRDIFF_MAX;
        else
            --bmax;
        for (ptrdiff_t d = bmax; d >= bmin; d -= 2) {
            const ptrdiff_t lo = bd[d - 1];
            const ptrdiff_t hi = bd[d + 1];
            ptrdiff_t x = lo < hi ? lo : hi - 1;
            ptrdiff_t y = x - d;
            const ptrdiff_t x0 = x;
            while (x > xoff && y > yoff && m_a[x - 1] == m_b[y - 1])
                --x, --y;
            m_budget -= 1 + (x0 - x);
            bd[d] = x;
            if (!odd && fmin <= d && d <= fmax && x <= fd[d]) {
                at = { x, y, true, true };
                return true;
            }
        }
        if (minimal || cost < m_tooExpensive)
            continue;
        // Too costly: split where one of the searches got furthest; the part behind it is solved minimally.
        ptrdiff_t forwardSum = -1, forwardX = xoff;
        for (ptrdiff_t d = fmax; d >= fmin; d -= 2) {
            ptrdiff_t x = std::min(fd[d], xlim);
            ptrdiff_t y = x - d;
            if (y > ylim)
                x = ylim + d, y = ylim;
            if (x + y > forwardSum)
                forwardSum = x + y, forwardX = x;
        }
        ptrdiff_t backwardSum = PTRDIFF_MAX, backwardX = xlim;
        for (ptrdiff_t d = bmax; d >= bmin; d -= 2) {
            ptrdiff_t x = std::max(bd[d], xoff);
            ptrdiff_t y = x - d;
            if (y < yoff)
                x = yoff + d, y = yoff;
            if (x + y < backwardSum)
                backwardSum = x + y, backwardX = x;
        }
        if ((xlim + ylim) - backwardSum < forwardSum - (xoff + yoff))
            at = { forwardX, forwardSum - forwardX, true, false };
        else
            at = { backwardX, backwardSum - backwardX, false, true };
        return true;
    }
}

// Interned elements: equal elements get equal numbers below `symbols`.
struct TSequences
{
    std::vector<uint32_t> a;
    std::vector<uint32_t> b;
    uint32_t symbols = 0;
};

TSequences intern(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b)
{
    TSequences s;
    std::unordered_map<std::string_view, uint32_t> numbers;
    numbers.reserve(a.size() + b.size());
    const auto number = [&](std::string_view text) {
        const auto [it, added] = numbers.try_emplace(text, s.symbols);
        if (added)
            ++s.symbols;
        return it->second;
    };
    s.a.reserve(a.size());
    for (std::string_view text : a)
        s.a.push_back(number(text));
    s.b.reserve(b.size());
    for (std::string_view text : b)
        s.b.push_back(number(text));
    return s;
}

// Marks the elements outside a common subsequence; false when the budget cut the work short. `sides` is
// scratch space of s.symbols zeros, left zeroed.
bool diffSequences(const TSequences& s, std::vector<char>& changedA, std::vector<char>& changedB, int64_t& budget,
    std::vector<uint8_t>& sides)
{
    changedA.assign(s.a.size(), 1);
    changedB.assign(s.b.size(), 1);
    // An element that the other side lacks is changed for certain; leaving such elements out keeps the result
    // and makes texts that share little cheap to compare.
    sides.resize(std::max<size_t>(sides.size(), s.symbols));
    for (uint32_t x : s.a)
        sides[x] |= 1;
    for (uint32_t x : s.b)
        sides[x] |= 2;
    std::vector<uint32_t> keptA, keptB;
    std::vector<size_t> whereA, whereB;
    for (size_t i = 0; i < s.a.size(); ++i)
        if (sides[s.a[i]] == 3)
            keptA.push_back(s.a[i]), whereA.push_back(i);
    for (size_t j = 0; j < s.b.size(); ++j)
        if (sides[s.b[j]] == 3)
            keptB.push_back(s.b[j]), whereB.push_back(j);
    for (uint32_t x : s.a)
        sides[x] = 0;
    for (uint32_t x : s.b)
        sides[x] = 0;
    std::vector<char> keptChangedA(keptA.size()), keptChangedB(keptB.size());
    const bool complete = TSequenceDiff(keptA, keptB, budget).run(keptChangedA, keptChangedB);
    for (size_t k = 0; k < keptA.size(); ++k)
        changedA[whereA[k]] = keptChangedA[k];
    for (size_t k = 0; k < keptB.size(); ++k)
        changedB[whereB[k]] = keptChangedB[k];
    return complete;
}

// A run of deleted (or inserted) elements alone between equal elements can sit in several places. Put it next
// to the change before it when it reaches that, so the two read as one; else as far down as it goes, as GNU
// diff does.
void slideRun(const std::vector<uint32_t>& x, std::vector<char>& changedX, const std::vector<char>& changedY,
    size_t& i0, size_t& i, size_t& j)
{
    const auto touchesBefore = [&] { return (i0 > 0 && changedX[i0 - 1]) || (j > 0 && changedY[j - 1]); };
    while (i0 > 0 && !touchesBefore() && x[i0 - 1] == x[i - 1]) {
        changedX[--i0] = 1;
        changedX[--i] = 0;
        --j;
    }
    if (touchesBefore())
        return;
    while (i < x.size() && x[i0] == x[i]) {
        changedX[i0++] = 0;
        changedX[i++] = 1;
        ++j;
        if ((i < x.size() && changedX[i]) || (j < changedY.size() && changedY[j]))
            return;
    }
}

void slideRuns(const TSequences& s, std::vector<char>& changedA, std::vector<char>& changedB)
{
    const size_t n = s.a.size();
    const size_t m = s.b.size();
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (!(i < n && changedA[i]) && !(j < m && changedB[j])) {
            ++i, ++j;
            continue;
        }
        size_t i0 = i, j0 = j;
        while (i < n && changedA[i])
            ++i;
        while (j < m && changedB[j])
            ++j;
        if (j == j0)
            slideRun(s.a, changedA, changedB, i0, i, j);
        else if (i == i0)
            slideRun(s.b, changedB, changedA, j0, j, i);
    }
}

struct TGroup
{
    size_t line0, deleted, line1, inserted;
};

std::vector<TGroup> groupsOf(const std::vector<char>& changedA, const std::vector<char>& changedB)
{
    std::vector<TGroup> groups;
    size_t i = 0, j = 0;
    while (i < changedA.size() || j < changedB.size()) {
        if (!(i < changedA.size() && changedA[i]) && !(j < changedB.size() && changedB[j])) {
            ++i, ++j;
            continue;
        }
        TGroup g { i, 0, j, 0 };
        while (i < changedA.size() && changedA[i])
            ++i;
        while (j < changedB.size() && changedB[j])
            ++j;
        g.deleted = i - g.line0;
        g.inserted = j - g.line1;
        groups.push_back(g);
    }
    return groups;
}

struct TLines
{
    std::vector<std::string_view> lines; // without their line feeds
    bool lastTerminated = true;
};

TLines splitLines(std::string_view text)
{
    TLines t;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            t.lines.push_back(text.substr(at));
            t.lastTerminated = false;
            break;
        }
        t.lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return t;
}

struct TLineDiff
{
    TLines a, b;
    std::vector<TGroup> groups;
    bool coarse = false;
};

// `strictEnd`: a last line without its line feed differs from the same line with one.
TLineDiff diffLines(std::string_view older, std::string_view newer, bool strictEnd)
{
    TLineDiff d { splitLines(older), splitLines(newer), {}, false };
    std::vector<std::string_view> keysA = d.a.lines, keysB = d.b.lines;
    if (strictEnd) {
        // the line feed is part of the line's key, so only the last line of a text can lack it
        for (std::string_view& key : keysA)
            key = std::string_view(key.data(), key.size() + 1);
        for (std::string_view& key : keysB)
            key = std::string_view(key.data(), key.size() + 1);
        if (!d.a.lastTerminated)
            keysA.back().remove_suffix(1);
        if (!d.b.lastTerminated)
            keysB.back().remove_suffix(1);
    }
    const TSequences s = intern(keysA, keysB);
    std::vector<char> changedA, changedB;
    std::vector<uint8_t> sides;
    int64_t budget = LineBudget;
    d.coarse = !diffSequences(s, changedA, changedB, budget, sides);
    slideRuns(s, changedA, changedB);
    d.groups = groupsOf(changedA, changedB);
    return d;
}

TDiffStats statsOf(const std::vector<TGroup>& groups)
{
    TDiffStats stats;
    for (const TGroup& g : groups) {
        stats.added += g.inserted;
        stats.removed += g.deleted;
    }
    return stats;
}

bool isBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// The removed and added lines of one change block, split into words and paired into changed lines. The words
// of all lines are kept in one list, line k's from start[k] to start[k + 1], the added lines after the removed.
class TBlockWords
{
public:
    TBlockWords(
        const std::vector<std::string_view>& removed, const std::vector<std::string_view>& added, int64_t& budget);

    // Pairs (removed index, added index) in order; a pair is alike enough to show as one changed line.
    std::vector<std::pair<size_t, size_t>> pairs() const;
    // The word spans of a pair, or false when the pair is too long or the budget is spent.
    bool words(size_t r, size_t a, std::vector<TWordSpan>& spans);

private:
    double similarity(size_t r, size_t a) const;
    std::span<const std::string_view> wordsOf(size_t line) const
    {
        return { m_words.data() + m_wordStart[line], m_wordStart[line + 1] - m_wordStart[line] };
    }
    std::span<const uint32_t> bagOf(size_t line) const
    {
        return { m_bag.data() + m_bagStart[line], m_bagStart[line + 1] - m_bagStart[line] };
    }

    size_t m_removedCount;
    size_t m_addedCount;
    std::vector<std::string_view> m_words;
    std::vector<uint32_t> m_ids; // the number of each word, equal words equal numbers
    std::vector<size_t> m_wordStart;
    std::vector<uint32_t> m_bag; // each line's word numbers but of blanks, sorted
    std::vector<size_t> m_bagStart;
    uint32_t m_symbols = 0;
    std::vector<uint8_t> m_sides;
    int64_t& m_budget;
};

TBlockWords::TBlockWords(
    const std::vector<std::string_view>& removed, const std::vector<std::string_view>& added, int64_t& budget)
    : m_removedCount(removed.size())
    , m_addedCount(added.size())
    , m_budget(budget)
{
    std::unordered_map<std::string_view, uint32_t> numbers;
    std::vector<uint8_t> blank; // by word number
    m_wordStart.push_back(0);
    m_bagStart.push_back(0);
    for (const std::vector<std::string_view>* lines : { &removed, &added })
        for (std::string_view line : *lines) {
            const size_t first = m_words.size();
            appendWords(line, m_words);
            for (size_t k = first; k < m_words.size(); ++k) {
                const auto [it, fresh] = numbers.try_emplace(m_words[k], m_symbols);
                if (fresh) {
                    ++m_symbols;
                    blank.push_back(isBlank(m_words[k]));
                }
                m_ids.push_back(it->second);
                if (!blank[it->second])
                    m_bag.push_back(it->second);
            }
            std::sort(m_bag.begin() + static_cast<ptrdiff_t>(m_bagStart.back()), m_bag.end());
            m_wordStart.push_back(m_words.size());
            m_bagStart.push_back(m_bag.size());
        }
}

double TBlockWords::similarity(size_t r, size_t a) const
{
    const std::span<const uint32_t> x = bagOf(r);
    const std::span<const uint32_t> y = bagOf(m_removedCount + a);
    if (x.empty() || y.empty())
        return 0;
    size_t common = 0;
    for (size_t i = 0, j = 0; i < x.size() && j < y.size();) {
        if (x[i] < y[j])
            ++i;
        else if (y[j] < x[i])
            ++j;
        else
            ++common, ++i, ++j;
    }
    return 2.0 * static_cast<double>(common) / static_cast<double>(x.size() + y.size());
}

std::vector<std::pair<size_t, size_t>> TBlockWords::pairs() const
{
    const size_t nr = m_removedCount;
    const size_t na = m_addedCount;
    std::vector<std::pair<size_t, size_t>> result;
    const size_t work = m_bagStart[nr] * na + (m_bag.size() - m_bagStart[nr]) * nr;
    if (nr * na > MaxPairingCells || work > MaxPairingWork) {
        for (size_t k = 0; k < std::min(nr, na); ++k)
            if (similarity(k, k) >= PairSimilarity)
                result.emplace_back(k, k);
        return result;
    }
    // The pairing in order that is most alike in sum, as an alignment of the two lists.
    std::vector<double> best((nr + 1) * (na + 1), 0.0);
    std::vector<double> alike(nr * na);
    const auto at = [na](size_t r, size_t a) { return r * (na + 1) + a; };
    for (size_t r = 1; r <= nr; ++r)
        for (size_t a = 1; a <= na; ++a) {
            const double s = alike[(r - 1) * na + a - 1] = similarity(r - 1, a - 1);
            best[at(r, a)] = std::max(
                { best[at(r - 1, a)], best[at(r, a - 1)], s >= PairSimilarity ? best[at(r - 1, a - 1)] + s : 0.0 });
        }
    for (size_t r = nr, a = na; r > 0 && a > 0;) {
        const double s = alike[(r - 1) * na + a - 1];
        if (s >= PairSimilarity && best[at(r, a)] == best[at(r - 1, a - 1)] + s) {
            result.emplace_back(r - 1, a - 1);
            --r, --a;
        } else if (best[at(r, a)] == best[at(r - 1, a)]) {
            --r;
        } else {
            --a;
        }
    }
    std::reverse(result.begin(), result.end());
    return result;
}

bool TBlockWords::words(size_t r, size_t a, std::vector<TWordSpan>& spans)
{
    const size_t lineX = r;
    const size_t lineY = m_removedCount + a;
    const std::span<const std::string_view> x = wordsOf(lineX);
    const std::span<const std::string_view> y = wordsOf(lineY);
    if (x.size() + y.size() > MaxPairTokens || m_budget <= 0)
        return false;
    const auto ids = [this](size_t line) {
        return std::vector<uint32_t>(m_ids.begin() + static_cast<ptrdiff_t>(m_wordStart[line]),
            m_ids.begin() + static_cast<ptrdiff_t>(m_wordStart[line + 1]));
    };
    const TSequences s { ids(lineX), ids(lineY), m_symbols };
    std::vector<char> changedX, changedY;
    if (!diffSequences(s, changedX, changedY, m_budget, m_sides))
        return false;

    // Runs of same words and of changes, alternating; a blank run between two changes joins them, which
    // reads better than a row of one-word changes.
    struct TRun
    {
        std::string same, removed, added;
    };
    std::vector<TRun> runs;
    size_t i = 0, j = 0;
    while (i < x.size() || j < y.size()) {
        if (i < x.size() && j < y.size() && !changedX[i] && !changedY[j]) {
            if (runs.empty() || !runs.back().removed.empty() || !runs.back().added.empty())
                runs.emplace_back();
            runs.back().same += y[j];
            ++i, ++j;
            continue;
        }
        if (runs.empty())
            runs.emplace_back();
        TRun& run = runs.back();
        for (; i < x.size() && changedX[i]; ++i)
            run.removed += x[i];
        for (; j < y.size() && changedY[j]; ++j)
            run.added += y[j];
    }
    std::vector<TRun> joined;
    for (TRun& run : runs) {
        if (!joined.empty() && (!joined.back().removed.empty() || !joined.back().added.empty())
            && (!run.removed.empty() || !run.added.empty()) && isBlank(run.same) && !run.same.empty()) {
            TRun& last = joined.back();
            last.removed += run.same + run.removed;
            last.added += run.same + run.added;
            continue;
        }
        joined.push_back(std::move(run));
    }
    spans.clear();
    for (TRun& run : joined) {
        if (!run.same.empty())
            spans.push_back({ TWordSpan::Same, std::move(run.same) });
        if (!run.removed.empty())
            spans.push_back({ TWordSpan::Removed, std::move(run.removed) });
        if (!run.added.empty())
            spans.push_back({ TWordSpan::Added, std::move(run.added) });
    }
    return true;
}

void appendRange(std::string& out, size_t start, size_t count)
{
    // GNU's form: an empty range names the line before it; a single line has no count.
    if (count == 0) {
        out += std::to_string(start);
        out += ",0";
    } else {
        out += std::to_string(start + 1);
        if (count != 1) {
            out += ',';
            out += std::to_string(count);
        }
    }
}

} // namespace

TTextDiff diffTexts(std::string_view older, std::string_view newer)
{
    const TLineDiff d = diffLines(older, newer, false);
    TTextDiff result;
    result.stats = statsOf(d.groups);
    result.coarse = d.coarse;
    result.lines.reserve(d.b.lines.size() + result.stats.removed);
    int64_t budget = WordBudget;
    const auto same = [&](size_t i, size_t j) {
        result.lines.push_back({ TDiffLine::Same, i + 1, j + 1, std::string(d.b.lines[j]), {} });
    };
    const auto removed = [&](size_t i) {
        result.lines.push_back({ TDiffLine::Removed, i + 1, 0, std::string(d.a.lines[i]), {} });
    };
    const auto added = [&](size_t j) {
        result.lines.push_back({ TDiffLine::Added, 0, j + 1, std::string(d.b.lines[j]), {} });
    };
    size_t i = 0, j = 0;
    for (const TGroup& g : d.groups) {
        for (; i < g.line0; ++i, ++j)
            same(i, j);
        result.changeStarts.push_back(result.lines.size());
        const std::vector<std::string_view> oldLines(d.a.lines.begin() + static_cast<ptrdiff_t>(g.line0),
            d.a.lines.begin() + static_cast<ptrdiff_t>(g.line0 + g.deleted));
        const std::vector<std::string_view> newLines(d.b.lines.begin() + static_cast<ptrdiff_t>(g.line1),
            d.b.lines.begin() + static_cast<ptrdiff_t>(g.line1 + g.inserted));
        size_t r = 0, a = 0;
        if (g.deleted != 0 && g.inserted != 0) {
            TBlockWords block(oldLines, newLines, budget);
            for (const auto& [pr, pa] : block.pairs()) {
                for (; r < pr; ++r)
                    removed(g.line0 + r);
                for (; a < pa; ++a)
                    added(g.line1 + a);
                std::vector<TWordSpan> spans;
                // equal lines in one block come from the cost limit; they have no words to mark
                if (oldLines[pr] == newLines[pa]) {
                    removed(g.line0 + pr);
                    added(g.line1 + pa);
                } else if (block.words(pr, pa, spans)) {
                    result.lines.push_back({ TDiffLine::Changed, g.line0 + pr + 1, g.line1 + pa + 1,
                        std::string(newLines[pa]), std::move(spans) });
                } else {
                    result.wordsSkipped = true;
                    removed(g.line0 + pr);
                    added(g.line1 + pa);
                }
                r = pr + 1;
                a = pa + 1;
            }
        }
        for (; r < g.deleted; ++r)
            removed(g.line0 + r);
        for (; a < g.inserted; ++a)
            added(g.line1 + a);
        i = g.line0 + g.deleted;
        j = g.line1 + g.inserted;
    }
    for (; j < d.b.lines.size(); ++i, ++j)
        same(i, j);
    return result;
}

TDiffStats diffStats(std::string_view older, std::string_view newer)
{
    return statsOf(diffLines(older, newer, false).groups);
}

std::string changeCountText(const TDiffStats& stats)
{
    return std::to_string(stats.added) + "行追加、" + std::to_string(stats.removed) + "行削除";
}

std::vector<TLineRun> shownLines(const TTextDiff& diff, size_t context)
{
    std::vector<TLineRun> runs;
    const size_t total = diff.lines.size();
    for (size_t start : diff.changeStarts) {
        size_t end = start;
        while (end < total && diff.lines[end].kind != TDiffLine::Same)
            ++end;
        const size_t first = start - std::min(start, context);
        const size_t last = std::min(total, end + context);
        if (!runs.empty() && runs.back().first + runs.back().count >= first)
            runs.back().count = last - runs.back().first;
        else
            runs.push_back({ first, last - first });
    }
    return runs;
}

std::string unifiedDiff(std::string_view older, std::string_view newer, std::string_view olderLabel,
    std::string_view newerLabel, int context)
{
    const TLineDiff d = diffLines(older, newer, true);
    if (d.groups.empty())
        return {};
    const size_t around = static_cast<size_t>(std::max(context, 0));
    const size_t n = d.a.lines.size();
    std::string out;
    out.reserve(older.size() / 8 + 256);
    out += "--- ";
    out += olderLabel;
    out += "\n+++ ";
    out += newerLabel;
    out += '\n';
    const auto line = [&](char mark, const TLines& lines, size_t k) {
        out += mark;
        out += lines.lines[k];
        out += '\n';
        if (k + 1 == lines.lines.size() && !lines.lastTerminated)
            out += "\\ No newline at end of file\n";
    };
    for (size_t first = 0; first < d.groups.size();) {
        // A hunk takes the following groups while the lines between them fit in twice the context.
        size_t last = first;
        while (last + 1 < d.groups.size()
            && d.groups[last + 1].line0 - (d.groups[last].line0 + d.groups[last].deleted) <= 2 * around)
            ++last;
        const TGroup& g0 = d.groups[first];
        const TGroup& g1 = d.groups[last];
        const size_t start0 = g0.line0 - std::min(g0.line0, around);
        const size_t start1 = g0.line1 - (g0.line0 - start0);
        const size_t after = std::min(around, n - (g1.line0 + g1.deleted));
        const size_t end0 = g1.line0 + g1.deleted + after;
        const size_t end1 = g1.line1 + g1.inserted + after;
        out += "@@ -";
        appendRange(out, start0, end0 - start0);
        out += " +";
        appendRange(out, start1, end1 - start1);
        out += " @@\n";
        size_t i = start0;
        for (size_t k = first; k <= last; ++k) {
            const TGroup& g = d.groups[k];
            for (; i < g.line0; ++i)
                line(' ', d.a, i);
            for (size_t r = 0; r < g.deleted; ++r)
                line('-', d.a, g.line0 + r);
            for (size_t a = 0; a < g.inserted; ++a)
                line('+', d.b, g.line1 + a);
            i = g.line0 + g.deleted;
        }
        for (; i < end0; ++i)
            line(' ', d.a, i);
        first = last + 1;
    }
    return out;
}
