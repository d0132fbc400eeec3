#include "text/character_references.h"
#include "text/japanese_code.h"
#include "text/unicode_text.h"

#include "support/shift_jis_check.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using test::hexBytes;

std::string hexOf(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        out += out.empty() ? "" : " ";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Of the codes CP932 has for one character, the one Windows writes: JIS X 0208 first, then the NEC row 13,
// then the IBM extension, and the NEC-selected copy of the IBM extension last.
int preference(uint16_t code)
{
    const unsigned lead = code >> 8;
    if (lead == 0x87)
        return 1;
    if (lead >= 0xFA)
        return 2;
    if (lead == 0xED || lead == 0xEE)
        return 3;
    return 0;
}

std::string codeBytes(uint16_t code)
{
    return code > 0xFF ? std::string { static_cast<char>(code >> 8), static_cast<char>(code) }
                       : std::string(1, static_cast<char>(code));
}

} // namespace

TEST(UnicodeText, EveryCp932CharacterComesBackFromUtf8)
{
    iconv_t toUtf8 = iconv_open("UTF-8", "CP932");
    ASSERT_NE(toUtf8, reinterpret_cast<iconv_t>(-1));
    std::map<std::string, std::vector<uint16_t>> codesOf;
    for (unsigned code = 0; code <= 0xFCFC; ++code) {
        const unsigned lead = code >> 8;
        const unsigned trail = code & 0xFF;
        const bool single = lead == 0 && (trail < 0x80 || (trail >= 0xA1 && trail <= 0xDF));
        const bool pair
            = ((lead >= 0x81 && lead <= 0x9F) || lead >= 0xE0) && trail >= 0x40 && trail != 0x7F && trail <= 0xFC;
        if (!single && !pair)
            continue;
        std::string sjis = codeBytes(static_cast<uint16_t>(code));
        iconv(toUtf8, nullptr, nullptr, nullptr, nullptr);
        char utf8[8];
        char* in = sjis.data();
        size_t inLeft = sjis.size();
        char* out = utf8;
        size_t outLeft = sizeof utf8;
        if (iconv(toUtf8, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            continue;
        const std::string text(utf8, out);
        EXPECT_EQ(sjisToUtf8(sjis), text) << hexOf(sjis);
        codesOf[text].push_back(static_cast<uint16_t>(code));
    }
    iconv_close(toUtf8);

    int itself = 0;
    int twin = 0;
    for (const auto& [text, codes] : codesOf) {
        const uint16_t expected = *std::min_element(codes.begin(), codes.end(),
            [](uint16_t a, uint16_t b) { return std::pair(preference(a), a) < std::pair(preference(b), b); });
        EXPECT_EQ(hexOf(utf8ToSjis(text)), hexOf(codeBytes(expected))) << hexOf(text);
        for (const uint16_t code : codes)
            ++(code == expected ? itself : twin);
    }
    // ASCII, half-width katakana, JIS X 0208, the NEC row 13, the IBM extension and the 1880 codes of the
    // user-defined rows 0xF0..0xF9 (U+E000..U+E757) come back as themselves.
    EXPECT_GT(itself, 128 + 63 + 6879 + 1880);
    // They come back as their preferred twin: the 374 NEC-selected IBM codes, 9 NEC row 13 codes of
    // mathematical signs also in JIS X 0208, and 15 IBM codes also in the NEC row 13 or JIS X 0208.
    EXPECT_EQ(twin, 374 + 9 + 15);
}

TEST(UnicodeText, CharactersShiftJisLacksBecomeTheirNearestOrAQuestionMark)
{
    struct Case
    {
        std::string utf8;
        std::string sjis;
    };
    auto repeated = [](const std::string& text, int times) {
        std::string out;
        for (int i = 0; i < times; ++i)
            out += text;
        return out;
    };
    const Case cases[] = {
        // Latin letters lose their accents
        { "Café naïve", "Cafe naive" },
        { "ÀÉÎÕÜÇÑÝ àéîõüçñýÿ", "AEIOUCNY aeioucnyy" },
        { "Straße Ærø Œuvre Łódź Þórr", "Strasse AEro OEuvre Lodz THorr" },
        { "Dvořák İstanbul ı ĳ ŉ ſ", "Dvorak Istanbul i ij 'n s" },
        { "e\xCC\x81", "e" }, // e and a combining acute accent
        // dashes
        { "a–b", "a-b" }, // en dash
        { "—", hexBytes("81 5c") }, // em dash: the horizontal bar, as CP932 reads 0x815C
        { "―", hexBytes("81 5c") },
        { "‐‑‒", hexBytes("81 5d 81 5d") + "-" },
        { "−", hexBytes("81 7c") }, // minus sign: full-width hyphen-minus
        { "⸺", hexBytes("81 5c 81 5c") },
        // the characters CP932 holds in another form
        { "〜～", hexBytes("81 60 81 60") },
        { "‖∥", hexBytes("81 61 81 61") },
        { "¢￠£￡¬￢", hexBytes("81 91 81 91 81 92 81 92 81 ca 81 ca") },
        { "¥‾¦", hexBytes("81 8f 81 50 fa 55") },
        { "≤≥∼", hexBytes("81 85 81 86 81 60") },
        { "ゔゕゖ", hexBytes("83 94 83 95 83 96") },
        { "｟￩￨￭", hexBytes("81 69 81 a9 84 a0 81 a1") },
        // spaces, quotes, bullets and signs
        { "a\u00A0b\u2003c\u202Fd", "a b c d" },
        { "\u3000", hexBytes("81 40") },
        { "‘’“”", hexBytes("81 65 81 66 81 67 81 68") },
        { "„‚", hexBytes("81 67 81 65") },
        { "«»‹›", hexBytes("81 73 81 74 81 71 81 72") },
        { "•·", hexBytes("81 45 81 45") },
        { "©®™½", "(C)(R)TM1/2" },
        { "µ", hexBytes("83 ca") },
        // nothing a reader sees
        { "a\u00ADb\u200Bc\u200Dd\uFEFFe", "abcde" },
        // no stand-in
        { "😀", "?" },
        { "❤️", "?" }, // the variation selector is dropped with the heart
        { "한국어", "???" },
        { "ภาษา", "????" },
        { "عربي", "????" },
        { "𠮷野家", "?" + hexBytes("96 ec 89 c6") },
        { "€", "?" },
        // what CP932 holds stays
        { "日本語のページ ― 更新情報",
            hexBytes("93 fa 96 7b 8c ea 82 cc 83 79 81 5b 83 57 20 81 5c 20 8d 58 90 56 8f ee 95 f1") },
        { "版３ ①ｱ 髙", hexBytes("94 c5 82 52 20 87 40 b1 20 fb fc") },
        { "\t<a href=\"x\">\\~</a>\r\n", "\t<a href=\"x\">\\~</a>\r\n" },
        { "", "" },
        // stand-ins longer than their UTF-8, many of them
        { repeated("©⸻", 1000), repeated("(C)" + hexBytes("81 5c 81 5c 81 5c"), 1000) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(hexOf(utf8ToSjis(c.utf8)), hexOf(c.sjis)) << c.utf8.substr(0, 40);
}

TEST(UnicodeText, EveryStandInIsACharacterShiftJisHolds)
{
    int standIns = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto standIn = nearestCharacters(c);
        if (!standIn)
            continue;
        ++standIns;
        EXPECT_EQ(cp932Code(c), 0) << std::hex << static_cast<uint32_t>(c) << " needs no stand-in";
        EXPECT_LE(standIn->size(), MaxStandInLength);
        for (const char32_t s : *standIn)
            EXPECT_NE(cp932Code(s), 0) << std::hex << static_cast<uint32_t>(c) << " stands in as "
                                       << static_cast<uint32_t>(s);
    }
    EXPECT_GT(standIns, 250);
}

TEST(UnicodeText, InvalidUtf8BecomesOneQuestionMarkPerMaximalInvalidPart)
{
    struct Case
    {
        const char* name;
        std::string utf8;
        std::string sjis;
    };
    const Case cases[] = {
        { "lone continuation byte", hexBytes("41 80 42"), "A?B" },
        { "two continuation bytes", hexBytes("bf 80"), "??" },
        { "overlong form of '/'", hexBytes("c0 af"), "??" },
        { "overlong three-byte form", hexBytes("e0 80 af"), "???" },
        { "cut short before ASCII", hexBytes("e3 81 41"), "?A" },
        { "cut short at the end", hexBytes("41 e3 81"), "A?" },
        { "surrogate", hexBytes("ed a0 80"), "???" },
        { "beyond U+10FFFF", hexBytes("f4 90 80 80"), "????" },
        { "four-byte lead cut short", hexBytes("f0 9f 98"), "?" },
        { "bytes never in UTF-8", hexBytes("f5 fe ff"), "???" },
        { "U+FFFD itself", hexBytes("ef bf bd"), "?" },
        { "valid after invalid", hexBytes("ff e3 81 82"), "?" + hexBytes("82 a0") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8ToSjis(c.utf8), c.sjis) << c.name;
}

namespace {

// UTF-8 text of code points drawn from the blocks a page holds, with a broken byte now and then.
std::string randomUtf8(std::mt19937& random, size_t length, std::vector<char32_t>& codePoints, bool& broken)
{
    static const std::pair<char32_t, char32_t> blocks[]
        = { { 0x00, 0x7F }, { 0x80, 0x24F }, { 0x2000, 0x206F }, { 0x3000, 0x30FF }, { 0x4E00, 0x9FFF },
              { 0xE000, 0xE7FF }, { 0xF900, 0xFFFF }, { 0x100, 0xD7FF }, { 0x10000, 0x10FFFF } };
    std::uniform_int_distribution<size_t> block(0, std::size(blocks) - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::string text;
    codePoints.clear();
    broken = false;
    for (size_t i = 0; i < length; ++i) {
        if (percent(random) < 3) {
            text += static_cast<char>(0x80 + percent(random)); // a byte from 0x80 to 0xE3
            broken = true;
            continue;
        }
        const auto& [first, last] = blocks[block(random)];
        auto c = static_cast<char32_t>(std::uniform_int_distribution<uint32_t>(first, last)(random));
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0x3042;
        codePoints.push_back(c);
        appendUtf8(text, c);
    }
    return text;
}

} // namespace

TEST(UnicodeText, RandomTextAlwaysGivesValidShiftJis)
{
    std::mt19937 random(20261215);
    std::uniform_int_distribution<size_t> length(0, 40);
    std::vector<char32_t> codePoints;
    bool broken = false;
    for (int n = 0; n < 30000; ++n) {
        const std::string utf8 = randomUtf8(random, length(random), codePoints, broken);
        const std::string sjis = utf8ToSjis(utf8);
        ASSERT_TRUE(test::isValidShiftJis(sjis)) << hexOf(utf8) << " -> " << hexOf(sjis);
        if (!broken) {
            // The whole text converts as its characters one by one.
            std::string one;
            for (const char32_t c : codePoints)
                one += codePointToSjis(c);
            ASSERT_EQ(sjis, one) << hexOf(utf8);
        }
    }
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 20000; ++n) {
        std::string bytes(length(random), '\0');
        for (auto& b : bytes)
            b = static_cast<char>(byte(random));
        ASSERT_TRUE(test::isValidShiftJis(utf8ToSjis(bytes))) << hexOf(bytes);
    }
    for (char32_t c = 0; c <= 0x110000; ++c)
        ASSERT_TRUE(test::isValidShiftJis(codePointToSjis(c))) << std::hex << static_cast<uint32_t>(c);
}

TEST(UnicodeText, ShiftJisThatIsNoCharacterReadsAsTheReplacementCharacter)
{
    struct Case
    {
        const char* name;
        std::string sjis;
        std::string utf8;
    };
    const Case cases[] = {
        { "half-width katakana", hexBytes("b1 df"), "ｱﾟ" },
        { "undefined pair", hexBytes("85 40 41"), "\uFFFDA" },
        { "lead byte before a blank", hexBytes("81 20"), "\uFFFD " },
        { "lead byte at the end", hexBytes("41 81"), "A\uFFFD" },
        { "bytes outside CP932", hexBytes("80 a0 fd fe ff"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD" },
        { "user-defined area", hexBytes("f0 40"), "\uE000" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(hexOf(sjisToUtf8(c.sjis)), hexOf(c.utf8)) << c.name;
}

TEST(UnicodeText, InternalPiecesAndCodePointsFollowTheDocumentsKind)
{
    const std::string sjis = hexBytes("83 79 81 5b 83 57"); // ページ
    const std::string euc = sjisToEuc(sjis);
    EXPECT_EQ(internalToSjis("ページ", true), sjis);
    EXPECT_EQ(internalToSjis(euc, false), sjis);
    EXPECT_EQ(sjisToInternal(sjis, true), "ページ");
    EXPECT_EQ(sjisToInternal(sjis, false), euc);

    EXPECT_EQ(internalUrlToSjis("/ページ?q=é&x=1 2", true), "/%E3%83%9A%E3%83%BC%E3%82%B8?q=%C3%A9&x=1 2");
    EXPECT_EQ(internalUrlToSjis("/" + euc, false), "/" + sjis);

    EXPECT_EQ(codePointToInternal(0x2014, true), "—");
    EXPECT_EQ(codePointToInternal(0x2014, false), hexBytes("a1 bd")); // the horizontal bar in EUC-JP
    EXPECT_EQ(codePointToInternal(0xE9, false), "e");
    EXPECT_EQ(codePointToInternal(0x1F600, true), "😀");
    EXPECT_EQ(codePointToInternal(0x1F600, false), "?");
    EXPECT_EQ(codePointToInternal(0xD800, true), "\uFFFD");
    EXPECT_EQ(codePointToInternal(0x110000, true), "\uFFFD");
}

TEST(CharacterReferences, NamesAndNumbersReadAsABrowserReadsThem)
{
    struct Named
    {
        const char* name;
        std::optional<char32_t> codePoint;
    };
    const Named named[] = {
        { "amp", U'&' },
        { "lt", U'<' },
        { "gt", U'>' },
        { "quot", U'"' },
        { "apos", U'\'' },
        { "nbsp", 0xA0 },
        { "eacute", U'é' },
        { "Eacute", U'É' },
        { "mdash", 0x2014 },
        { "hellip", 0x2026 },
        { "yuml", 0xFF },
        { "Yuml", 0x178 },
        { "AElig", 0xC6 },
        { "alefsym", 0x2135 },
        { "zwj", 0x200D },
        { "euro", 0x20AC },
        { "rsaquo", 0x203A },
        { "zeta", 0x3B6 },
        { "AMP", std::nullopt },
        { "Mdash", std::nullopt },
        { "mdash;", std::nullopt },
        { "foo", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& c : named)
        EXPECT_EQ(namedCharacterReference(c.name), c.codePoint) << c.name;

    const std::pair<uint32_t, char32_t> numbers[]
        = { { 0x41, U'A' }, { 0x2014, 0x2014 }, { 0, 0xFFFD }, { 0x80, 0x20AC }, { 0x97, 0x2014 }, { 0x81, 0x81 },
              { 0x9F, 0x178 }, { 0xD800, 0xFFFD }, { 0xDFFF, 0xFFFD }, { 0x10FFFF, 0x10FFFF }, { 0x110000, 0xFFFD } };
    for (const auto& [value, codePoint] : numbers)
        EXPECT_EQ(numericCharacterReference(value), codePoint) << std::hex << value;
}
