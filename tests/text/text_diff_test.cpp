#include "text/text_diff.h"
#include "text/word_split.h"

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A diff's lines in short: "old,new mark text", a changed line with [-removed-] and {+added+} words.
std::vector<std::string> render(const TTextDiff& diff)
{
    std::vector<std::string> out;
    for (const TDiffLine& line : diff.lines) {
        std::string text = std::to_string(line.oldLine) + ',' + std::to_string(line.newLine) + ' ' + "=+-~"[line.kind];
        if (line.kind != TDiffLine::Changed)
            text += line.text;
        for (const TWordSpan& span : line.words)
            text += span.kind == TWordSpan::Same ? span.text
                : span.kind == TWordSpan::Added  ? "{+" + span.text + "+}"
                                                 : "[-" + span.text + "-]";
        out.push_back(text);
    }
    return out;
}

// The two texts the diff speaks of, each line with a line feed; a changed line must show a change.
std::pair<std::string, std::string> rebuild(const TTextDiff& diff)
{
    std::string older, newer;
    for (const TDiffLine& line : diff.lines) {
        if (line.kind != TDiffLine::Added && line.kind != TDiffLine::Changed)
            older += line.text + '\n';
        if (line.kind != TDiffLine::Removed)
            newer += line.text + '\n';
        if (line.kind == TDiffLine::Changed) {
            for (const TWordSpan& span : line.words)
                if (span.kind != TWordSpan::Added)
                    older += span.text;
            older += '\n';
            EXPECT_TRUE(std::any_of(line.words.begin(), line.words.end(),
                [](const TWordSpan& span) { return span.kind != TWordSpan::Same; }));
        }
    }
    return { older, newer };
}

} // namespace

TEST(TextDiff, SplitsWordsByScriptAndJapanesePerCharacter)
{
    using W = std::vector<std::string_view>;
    EXPECT_EQ(splitWords("The quick,  brown"), (W { "The", " ", "quick", ",", "  ", "brown" }));
    EXPECT_EQ(splitWords("本日の価格は1,200円です。"),
        (W { "本", "日", "の", "価", "格", "は", "1", ",", "200", "円", "で", "す", "。" }));
    EXPECT_EQ(splitWords("カナとEnglish混在"), (W { "カ", "ナ", "と", "English", "混", "在" }));
    EXPECT_EQ(splitWords("ＡＢ１　ｶﾅ"), (W { "Ａ", "Ｂ", "１", "　", "ｶ", "ﾅ" }));
    EXPECT_EQ(splitWords("naïve cafe\u0301 abcПривет"), (W { "naïve", " ", "cafe\u0301", " ", "abc", "Привет" }));
    EXPECT_EQ(splitWords("a\xff\xe3\x81z"), (W { "a", "\xff", "\xe3", "\x81", "z" }));
    EXPECT_EQ(splitWords(""), W {});
}

TEST(TextDiff, ShowsLinesAndTheWordsThatChanged)
{
    struct TCase
    {
        const char* older;
        const char* newer;
        std::vector<std::string> lines;
        size_t added, removed, blocks;
    };
    const TCase cases[] = {
        { "same\nlines\n", "same\nlines", { "1,1 =same", "2,2 =lines" }, 0, 0, 0 },
        { "タイトル\n本日の価格は1,200円です。\n", "タイトル\n本日の価格は1,500円でした。\n",
            { "1,1 =タイトル", "2,2 ~本日の価格は1,[-200-]{+500+}円で[-す-]{+した+}。" }, 1, 1, 1 },
        { "The quick brown fox jumps.\n", "The slow red fox jumps!\n",
            { "1,1 ~The [-quick brown-]{+slow red+} fox jumps[-.-]{+!+}" }, 1, 1, 1 },
        { "old line gone\n", "new line here entirely\n", { "1,0 -old line gone", "0,1 +new line here entirely" }, 1, 1,
            1 },
        // the changed line pairs with the line it resembles, not the one at its place
        { "a\nprice: 100 yen\nstock: 5 left\nz\n", "a\nnew sale today\nstock: 3 left\nz\n",
            { "1,1 =a", "2,0 -price: 100 yen", "0,2 +new sale today", "3,3 ~stock: [-5-]{+3+} left", "4,4 =z" }, 2, 2,
            1 },
        { "first\nkeep\nkeep2\nlast\n", "keep\nkeep2\nlast\nadded\n",
            { "1,0 -first", "2,1 =keep", "3,2 =keep2", "4,3 =last", "0,4 +added" }, 1, 1, 2 },
        { "", "新しい\n", { "0,1 +新しい" }, 1, 0, 1 },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.newer);
        const TTextDiff diff = diffTexts(c.older, c.newer);
        EXPECT_EQ(render(diff), c.lines);
        EXPECT_EQ(diff.stats.added, c.added);
        EXPECT_EQ(diff.stats.removed, c.removed);
        EXPECT_EQ(diff.changeStarts.size(), c.blocks);
        for (size_t start : diff.changeStarts)
            EXPECT_NE(diff.lines.at(start).kind, TDiffLine::Same);
        EXPECT_FALSE(diff.wordsSkipped);
        EXPECT_EQ(diffStats(c.older, c.newer).added, c.added);
    }
}

TEST(TextDiff, UnifiedDiffIsWhatGnuDiffWrites)
{
    std::string diffProgram;
    for (const char* path : { "/usr/bin/diff", "/bin/diff" })
        if (access(path, X_OK) == 0)
            diffProgram = path;
    if (diffProgram.empty())
        GTEST_SKIP() << "no GNU diff";
    std::string many, manyChanged;
    for (int i = 1; i <= 40; ++i) {
        many += "line " + std::to_string(i) + '\n';
        manyChanged += i == 10 || i == 17 || i == 24 || i == 31 ? "changed " + std::to_string(i) + '\n'
                                                                : "line " + std::to_string(i) + '\n';
    }
    struct TCase
    {
        std::string older, newer;
    };
    const TCase cases[] = {
        { "a\nb\nc\n", "a\nB\nc\n" },
        { "", "one\n" },
        { "one\n", "" },
        { "same\nend", "same\nend\n" },
        { "same\nend\n", "same\nend" },
        { "no\nend", "no\nother" },
        { "x\ny\n", "x\ny\n" },
        { many, manyChanged }, // hunks 7 apart: joined with 3 lines of context, apart with 1, each alone with 0
        { many, "new first\n" + many.substr(many.find("line 5")) + "last\n" },
        { "本日\n価格は100円\n終わり\n", "本日\n価格は120円\n終わり\n追加\n" },
        { "a\nb\na\nb\nc\n", "a\nb\nc\na\nb\nc\n" },
    };
    const test::TempDir dir;
    for (const TCase& c : cases) {
        for (int context : { 3, 1, 0 }) {
            SCOPED_TRACE(c.newer + " context " + std::to_string(context));
            test::writeFile(dir.file("older"), c.older);
            test::writeFile(dir.file("newer"), c.newer);
            const test::ProgramResult gnu = test::runProgram(diffProgram,
                { "-U", std::to_string(context), "--label", "Tue Dec 08 03:32:10 2026", "--label",
                    "Wed Dec 09 12:00:00 2026", "older", "newer" },
                dir.path());
            ASSERT_EQ(gnu.status, c.older == c.newer ? 0 : 1);
            EXPECT_EQ(unifiedDiff(c.older, c.newer, "Tue Dec 08 03:32:10 2026", "Wed Dec 09 12:00:00 2026", context),
                gnu.out);
        }
    }
}

TEST(TextDiff, TextsSharingNothingOrAlmostNothingStillGetAnAnswer)
{
    std::string older, newer;
    while (older.size() < (1u << 20)) {
        older += "old line " + std::to_string(older.size()) + " of the page as it was\n";
        newer += "nouvelle ligne " + std::to_string(newer.size()) + " de la page\n";
    }
    const auto countLines
        = [](const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); };
    TTextDiff diff = diffTexts(older, newer);
    EXPECT_EQ(diff.stats.removed, countLines(older));
    EXPECT_EQ(diff.stats.added, countLines(newer));
    EXPECT_EQ(diff.changeStarts, std::vector<size_t> { 0 });
    EXPECT_EQ(rebuild(diff), std::make_pair(older, newer));
    const std::string unified = unifiedDiff(older, newer, "a", "b");
    EXPECT_EQ(unified.substr(0, unified.find('\n', 12) + 1),
        "--- a\n+++ b\n@@ -1," + std::to_string(countLines(older)) + " +1," + std::to_string(countLines(newer))
            + " @@\n");
    EXPECT_EQ(unified.find("\n@@", 12), std::string::npos);

    // Two letters in random order share everything and nothing: the costly case of the line diff. The cost limit
    // leaves some regions replaced whole, and the answer still leads from one text to the other.
    older.clear();
    newer.clear();
    uint32_t seed = 1;
    for (int i = 0; i < 150'000; ++i) {
        seed = seed * 1103515245 + 12345;
        older += (seed >> 16 & 1) != 0 ? "a\n" : "b\n";
        newer += (seed >> 17 & 1) != 0 ? "a\n" : "b\n";
    }
    diff = diffTexts(older, newer);
    EXPECT_TRUE(diff.coarse);
    EXPECT_EQ(rebuild(diff), std::make_pair(older, newer));
}

TEST(TextDiff, FoldsSameLinesAroundChangeBlocksAndCountsForTheList)
{
    std::string older, newer;
    for (int i = 1; i <= 20; ++i) {
        older += "line " + std::to_string(i) + '\n';
        newer += i == 3 || i == 7 || i == 15 || i == 16 ? "new " + std::to_string(i) + '\n'
                                                        : "line " + std::to_string(i) + '\n';
    }
    newer += "tail\n";
    const TTextDiff diff = diffTexts(older, newer);
    EXPECT_EQ(diff.changeStarts, (std::vector<size_t> { 2, 6, 14, 20 }));
    const auto runs = [&](size_t context) {
        std::vector<std::pair<size_t, size_t>> out;
        for (const TLineRun& run : shownLines(diff, context))
            out.emplace_back(run.first, run.count);
        return out;
    };
    using R = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ(runs(2), (R { { 0, 9 }, { 12, 9 } }));
    EXPECT_EQ(runs(0), (R { { 2, 1 }, { 6, 1 }, { 14, 2 }, { 20, 1 } }));
    EXPECT_EQ(runs(1), (R { { 1, 3 }, { 5, 3 }, { 13, 4 }, { 19, 2 } }));
    EXPECT_EQ(changeCountText(diff.stats), "5行追加、4行削除");
}
