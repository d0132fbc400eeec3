#include "text/watch_rules.h"

#include "base/exception.h"

#include <gtest/gtest.h>
#include <re2/re2.h>

#include <random>
#include <string>
#include <vector>

namespace {

TCompiledRules ignoring(std::vector<std::string> patterns)
{
    TWatchRules rules;
    rules.ignore = std::move(patterns);
    return TCompiledRules(rules);
}

std::string refusal(const TWatchRules& rules)
{
    try {
        TCompiledRules compiled(rules);
    } catch (const TException& e) {
        return e.message();
    }
    return "accepted";
}

} // namespace

TEST(WatchRules, LeavesOutLinesThatAPatternMatchesAnywhere)
{
    struct Case
    {
        std::vector<std::string> patterns;
        std::string text;
        std::string kept;
    };
    const Case cases[] = {
        { { "アクセス数" }, "a\n本日のアクセス数: 12\nb\n", "a\nb\n" },
        { { "^\\d+$" }, "12\nx12\n34", "x12\n" },
        { { "^\\s*$" }, "a\n\n \nb\n", "a\nb\n" },
        { { "a\\sb", "a[^x]b" }, "a\nb\n", "a\nb\n" }, // a match never spans a line end
        { { "(?i)updated" }, "Last UPDATED 2026\nkeep\n", "keep\n" },
        { { "x$", "^y" }, "ax\nyb\nc", "c" },
        { { "$" }, "a\nb", "" },
        { { "\\Aone" }, "one\ntwo one\none", "two one\n" }, // the start of each line, as in a line alone
        { { "(?-m)b$" }, "ab\nb c\n", "b c\n" },
        { { "" }, "a\n", "a\n" },
        { {}, "a\n", "a\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ignoring(c.patterns).keptText(c.text), c.kept);
    }
    EXPECT_EQ(ignoredLines("x\n\ny\nz", ignoring({ "^[xz]" })), std::vector<bool>({ true, false, false, true }));
    EXPECT_EQ(ignoredLines("x\n", ignoring({ "x" })), std::vector<bool>({ true }));
    EXPECT_TRUE(ignoredLines("", ignoring({ "" })).empty());
}

// The search over the whole text leaves out exactly the lines that the patterns match one by one.
TEST(WatchRules, WholeTextSearchAgreesWithLineByLine)
{
    const std::vector<std::string> patterns = { "ab", "^b+$", "c\\b", "\\s", "^$", "a.c", "\\bca" };
    RE2::Options options;
    options.set_log_errors(false);
    std::mt19937 random(20261209);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int n = random() % 30; n > 0; --n)
            text += "abc \n"[random() % 5];
        const std::vector<std::string> chosen
            = { patterns[random() % patterns.size()], patterns[random() % patterns.size()] };
        const std::vector<bool> fast = ignoredLines(text, ignoring(chosen));
        const RE2 first(chosen[0], options);
        const RE2 second(chosen[1], options);
        std::vector<bool> slow;
        for (size_t from = 0; from < text.size();) {
            size_t end = text.find('\n', from);
            end = end == std::string::npos ? text.size() : end;
            const std::string line = text.substr(from, end - from);
            slow.push_back(RE2::PartialMatch(line, first) || RE2::PartialMatch(line, second));
            from = end + 1;
        }
        ASSERT_EQ(fast, slow) << "text \"" << text << "\" patterns " << chosen[0] << " " << chosen[1];
    }
}

TEST(WatchRules, RefusesPatternsThatDoNotCompile)
{
    const auto ignore = [](std::string pattern) {
        TWatchRules rules;
        rules.ignore = { "fine", std::move(pattern) };
        return rules;
    };
    EXPECT_EQ(refusal(ignore("(abc")), "除外する行のパターン「(abc」が読めません（missing ): (abc）");
    EXPECT_EQ(refusal(ignore("\xFF")), "除外する行のパターン「\xFF」が読めません（invalid UTF-8）");
    // Too large for the memory a pattern may take: refused, not compiled.
    EXPECT_EQ(refusal(ignore("\\pL{1000}")),
        "除外する行のパターン「\\pL{1000}」が読めません（pattern too large - compile failed）");
    TWatchRules region;
    region.region = "div >";
    EXPECT_EQ(refusal(region), "セレクターが途中で終わっています: div >");
}

TEST(WatchRules, CompareKeyIgnoresWhiteSpaceAndOptionallyDigits)
{
    struct Case
    {
        std::string a;
        std::string b;
        bool ignoreNumbers;
        bool same;
    };
    const Case cases[] = {
        { "a  b\n", "a b", false, true },
        { "a\n\n\nb", "a\nb\n", false, true },
        { "a\r\nb\r\n", "a\nb\n", false, true },
        { " \t a\u3000\u00A0b  ", "a b", false, true },
        { "ab", "a b", false, false },
        { "a\nb", "a b", false, false },
        { "1 件", "2 件", false, false },
        { "1 件", "2 件", true, true },
        { "１２３件", "7件", true, true },
        { "v1.2", "v10.20", true, true },
        { "a1", "a", true, false },
        { "a1b", "a b", true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " | " + c.b);
        EXPECT_EQ(compareKey(c.a, c.ignoreNumbers) == compareKey(c.b, c.ignoreNumbers), c.same);
    }
    EXPECT_EQ(compareKey("  12 件 \n\n x", true), "\x1A 件\nx\n");
}

TEST(WatchRules, WatchedTextIsTheRegionWithoutIgnoredLines)
{
    const std::string page = "<html><head><title>t</title></head><body><div>Menu</div>"
                             "<div id=main><div>更新 2026/12/09</div><div>本文  です</div><div>閲覧 ４２ 回</div></div>"
                             "<div class=side>広告</div></body></html>";
    struct Case
    {
        TWatchRules rules;
        std::string text;
        std::string key;
        bool regionMissing;
    };
    const Case cases[] = {
        { {}, "Menu\n更新 2026/12/09\n本文 です\n閲覧 ４２ 回\n広告\n",
            "Menu\n更新 2026/12/09\n本文 です\n閲覧 ４２ 回\n広告\n", false },
        { { "#main", { "^更新" }, true }, "本文 です\n閲覧 ４２ 回\n", "本文 です\n閲覧 \x1A 回\n", false },
        { { "xpath://div[@class='side'] | //div[@id='main']/div[2]", {}, false }, "本文 です\n広告\n",
            "本文 です\n広告\n", false },
        { { "#nowhere", {}, false }, "", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules.region);
        const TWatchedText watched = watchedText(page, "text/html; charset=UTF-8", TCompiledRules(c.rules));
        EXPECT_EQ(watched.text, c.text);
        EXPECT_EQ(watched.compareKey, c.key);
        EXPECT_EQ(watched.regionMissing, c.regionMissing);
    }
    // A preview shows the region's text with the lines left out greyed.
    const TCompiledRules rules(cases[1].rules);
    const std::optional<std::string> preview = regionText(page, "text/html; charset=UTF-8", rules);
    ASSERT_TRUE(preview);
    EXPECT_EQ(*preview, "更新 2026/12/09\n本文 です\n閲覧 ４２ 回");
    EXPECT_EQ(ignoredLines(*preview, rules), std::vector<bool>({ true, false, false }));
}
