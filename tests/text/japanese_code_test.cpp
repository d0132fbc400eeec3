#include "text/japanese_code.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using test::hexBytes;

// The reference conversion of one character through the C library, for checking the arithmetic.
bool iconvPair(iconv_t cd, const std::string& in, std::string& out)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
        return false;
    out.assign(buffer, dst);
    return true;
}

// The same words in the three codes: "漢字テスト ｱｲ <b>".
const std::string JapaneseSjis = hexBytes("8a bf 8e 9a 83 65 83 58 83 67 20 b1 b2 20 3c 62 3e");
const std::string JapaneseEuc = hexBytes("b4 c1 bb fa a5 c6 a5 b9 a5 c8 20 8e b1 8e b2 20 3c 62 3e");
const std::string JapaneseSjisNoKana = hexBytes("8a bf 8e 9a 83 65 83 58 83 67 20 3c 62 3e");
const std::string JapaneseEucNoKana = hexBytes("b4 c1 bb fa a5 c6 a5 b9 a5 c8 20 3c 62 3e");
const std::string JapaneseIsoNoKana = hexBytes("1b 24 42 34 41 3b 7a 25 46 25 39 25 48 1b 28 42 20 3c 62 3e");
const std::string JapaneseIso
    = hexBytes("1b 24 42 34 41 3b 7a 25 46 25 39 25 48 1b 28 42 20 1b 28 49 31 32 1b 28 42 20 3c 62 3e");

} // namespace

TEST(JapaneseCode, DetectsTheCodeFromTheFirstTellingByte)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        TJapaneseCode expected;
    };
    const Case cases[] = {
        { "empty", "", TJapaneseCode::EucJp },
        { "pure ASCII", "<html><title>x</title>", TJapaneseCode::EucJp },
        { "first high byte 0x8A", hexBytes("41 8a bf 41"), TJapaneseCode::ShiftJis },
        { "0x80 .. 0xA0 all Shift_JIS", hexBytes("41 a0"), TJapaneseCode::ShiftJis },
        { "only 0xA1 .. 0xFE", hexBytes("b4 c1 a1 a1 fe"), TJapaneseCode::EucJp },
        { "0xFE before a lead byte", hexBytes("41 fe 8a bf"), TJapaneseCode::EucJp },
        { "0xFD before a lead byte", hexBytes("fd 81 40"), TJapaneseCode::EucJp },
        { "lead byte after kana-range bytes", hexBytes("b4 c1 8a bf"), TJapaneseCode::ShiftJis },
        { "ESC $ B in 7-bit text", hexBytes("41 1b 24 42 30 21 1b 28 42"), TJapaneseCode::Iso2022Jp },
        { "ESC $ B after 0xB0", hexBytes("b0 1b 24 42 30 21"), TJapaneseCode::EucJp },
        { "ESC $ @", hexBytes("1b 24 40"), TJapaneseCode::Iso2022Jp },
        { "ESC $ ( D", hexBytes("1b 24 28 44"), TJapaneseCode::Iso2022Jp },
        { "ESC & @ ESC $ B", hexBytes("1b 26 40 1b 24 42"), TJapaneseCode::Iso2022Jp },
        { "ESC ( B", hexBytes("1b 28 42"), TJapaneseCode::Iso2022Jp },
        { "ESC ( H", hexBytes("1b 28 48"), TJapaneseCode::Iso2022Jp },
        { "ESC ( I", hexBytes("1b 28 49"), TJapaneseCode::Iso2022Jp },
        { "ESC ( J", hexBytes("1b 28 4a"), TJapaneseCode::Iso2022Jp },
        { "SI and SO alone", hexBytes("0e 41 0f"), TJapaneseCode::EucJp },
        { "unknown escape", hexBytes("1b 24 43 1b 28 5a"), TJapaneseCode::EucJp },
        { "escape cut short at the end", hexBytes("41 1b 24"), TJapaneseCode::EucJp },
        { "ESC $ ( cut short", hexBytes("1b 24 28"), TJapaneseCode::EucJp },
        { "sample Shift_JIS", JapaneseSjis, TJapaneseCode::ShiftJis },
        { "sample EUC-JP without half-width katakana", JapaneseEucNoKana, TJapaneseCode::EucJp },
        // 0x8E is a Shift_JIS lead byte too; EUC-JP half-width katakana cannot be told apart from it.
        { "EUC-JP half-width katakana", JapaneseEuc, TJapaneseCode::ShiftJis },
        { "sample ISO-2022-JP", JapaneseIso, TJapaneseCode::Iso2022Jp },
    };
    for (const auto& c : cases)
        EXPECT_EQ(detect(c.bytes), c.expected) << c.name;
    EXPECT_EQ(detect(TMemory(std::string_view(JapaneseIso))), TJapaneseCode::Iso2022Jp);
}

TEST(JapaneseCode, DetectsUtf8ByItsMarkOrItsValidMultiByteCharacters)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        TJapaneseCode expected;
    };
    const Case cases[] = {
        { "byte order mark and ASCII", "\xEF\xBB\xBF<title>x</title>", TJapaneseCode::Utf8 },
        { "byte order mark before Shift_JIS bytes", "\xEF\xBB\xBF" + JapaneseSjis, TJapaneseCode::Utf8 },
        { "Japanese", "<title>日本語のページ</title>", TJapaneseCode::Utf8 },
        { "one accented letter", "Café", TJapaneseCode::Utf8 },
        { "one emoji", "x 😀", TJapaneseCode::Utf8 },
        { "cut short at the end", "Caf" + hexBytes("c3"), TJapaneseCode::EucJp },
        { "surrogate", "日本" + hexBytes("ed a0 80"), TJapaneseCode::ShiftJis },
        { "overlong slash", hexBytes("c0 af"), TJapaneseCode::EucJp },
        { "valid, then a lone 0x8A", "日本" + hexBytes("8a"), TJapaneseCode::ShiftJis },
    };
    for (const auto& c : cases)
        EXPECT_EQ(detect(c.bytes), c.expected) << c.name;
}

TEST(JapaneseCode, DocumentLabelsComeBeforeTheBytesWhenTheBytesFit)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        std::string contentType;
        TJapaneseCode expected;
    };
    const std::string ascii = "<title>x</title>";
    const std::string metaUtf8 = "<meta charset=\"utf-8\">" + ascii;
    const std::string metaEuc = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">";
    const Case cases[] = {
        { "no label, ASCII", ascii, "", TJapaneseCode::EucJp },
        { "no label, UTF-8", "<title>日本語</title>", "", TJapaneseCode::Utf8 },
        { "no label, Shift_JIS", JapaneseSjis, "text/html", TJapaneseCode::ShiftJis },
        { "byte order mark over a header label", "\xEF\xBB\xBF" + ascii, "text/html; charset=Shift_JIS",
            TJapaneseCode::Utf8 },
        // the answer's header
        { "header UTF-8", ascii, "text/html; charset=UTF-8", TJapaneseCode::Utf8 },
        { "header utf8 without a blank", ascii, "text/html;charset=utf8", TJapaneseCode::Utf8 },
        { "header quoted, spaced, upper case", ascii, "TEXT/HTML; CHARSET = \"Utf-8\"", TJapaneseCode::Utf8 },
        { "header EUC-JP over half-width katakana", JapaneseEuc, "text/html; charset=euc-jp", TJapaneseCode::EucJp },
        { "header Shift_JIS", JapaneseSjis, "text/html; charset=Shift_JIS", TJapaneseCode::ShiftJis },
        { "header ISO-2022-JP", JapaneseIso, "text/html; charset=iso-2022-jp", TJapaneseCode::Iso2022Jp },
        { "header before the page's own label", metaEuc + ascii, "text/html; charset=utf-8", TJapaneseCode::Utf8 },
        { "unknown header label, page's label", metaUtf8, "text/html; charset=iso-8859-1", TJapaneseCode::Utf8 },
        // the page's own label
        { "meta charset", metaUtf8, "", TJapaneseCode::Utf8 },
        { "meta charset unquoted", "<META CHARSET=UTF-8>" + ascii, "", TJapaneseCode::Utf8 },
        { "meta http-equiv", metaEuc + JapaneseEuc, "", TJapaneseCode::EucJp },
        { "meta content before http-equiv", "<meta content='text/html;charset=utf-8' HTTP-EQUIV=Content-Type />", "",
            TJapaneseCode::Utf8 },
        { "meta content without http-equiv", "<meta name=x content=\"charset=utf-8\">", "", TJapaneseCode::EucJp },
        { "unknown meta charset, then a known one", "<meta charset=x-user-defined><meta charset=utf-8>", "",
            TJapaneseCode::Utf8 },
        { "XML declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><items/>", "", TJapaneseCode::Utf8 },
        { "XML declaration, single quotes", "<?xml version='1.0' encoding='Shift_JIS'?>" + JapaneseSjis, "",
            TJapaneseCode::ShiftJis },
        { "label in a comment", "<!-- <meta charset=utf-8> -->" + ascii, "", TJapaneseCode::EucJp },
        { "label in another tag's attribute", "<a title=\"<meta charset=utf-8>\">" + ascii, "", TJapaneseCode::EucJp },
        { "label inside the first 4 KiB", std::string(4000, ' ') + "<meta charset=utf-8>", "", TJapaneseCode::Utf8 },
        { "label beyond the first 4 KiB", std::string(4096, ' ') + "<meta charset=utf-8>", "", TJapaneseCode::EucJp },
        // labels the bytes contradict
        { "header UTF-8 on Shift_JIS", JapaneseSjis, "text/html; charset=UTF-8", TJapaneseCode::ShiftJis },
        { "meta UTF-8 on Shift_JIS", "<meta charset=utf-8>" + JapaneseSjis, "", TJapaneseCode::ShiftJis },
        { "header UTF-8 on EUC-JP, page's own label", metaEuc + JapaneseEuc, "text/html; charset=utf-8",
            TJapaneseCode::EucJp },
        { "header ISO-2022-JP on UTF-8", "日本語", "text/html; charset=ISO-2022-JP", TJapaneseCode::Utf8 },
        { "header Shift_JIS on ISO-2022-JP", JapaneseIso, "text/html; charset=Shift_JIS", TJapaneseCode::Iso2022Jp },
        { "meta EUC-JP on ISO-2022-JP", metaEuc + JapaneseIso, "", TJapaneseCode::Iso2022Jp },
    };
    for (const auto& c : cases)
        EXPECT_EQ(detectDocument(c.bytes, c.contentType), c.expected) << c.name;
}

TEST(JapaneseCode, CharsetNamesAndContentTypeParameters)
{
    const std::pair<const char*, std::optional<TJapaneseCode>> names[] = {
        { "utf-8", TJapaneseCode::Utf8 },
        { "UTF8", TJapaneseCode::Utf8 },
        { " 'Utf-8' ", TJapaneseCode::Utf8 },
        { "\"shift_jis\"", TJapaneseCode::ShiftJis },
        { "SJIS", TJapaneseCode::ShiftJis },
        { "Windows-31J", TJapaneseCode::ShiftJis },
        { "cp932", TJapaneseCode::ShiftJis },
        { "x-sjis", TJapaneseCode::ShiftJis },
        { "EUC-JP", TJapaneseCode::EucJp },
        { "iso-2022-jp", TJapaneseCode::Iso2022Jp },
        { "iso-8859-1", std::nullopt },
        { "utf-16", std::nullopt },
        { "utf-8x", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& [name, code] : names)
        EXPECT_EQ(codeOfCharsetName(name), code) << name;

    const std::pair<const char*, const char*> contentTypes[] = {
        { "text/html; charset=UTF-8", "UTF-8" },
        { "text/html;charset=\"Shift_JIS\"", "Shift_JIS" },
        { "text/html; charset=utf-8; format=flowed", "utf-8" },
        { "text/html; CharSet = euc-jp", "euc-jp" },
        { "text/x-charset; charset=utf-8", "utf-8" },
        { "text/html; charset=\"utf-8", "" },
        { "text/html", "" },
        { "", "" },
    };
    for (const auto& [contentType, charset] : contentTypes)
        EXPECT_EQ(charsetOfContentType(contentType), charset) << contentType;
}

TEST(JapaneseCode, InternalTextKeepsUtf8AndBringsTheJapaneseCodesToEucJp)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        std::string contentType;
        std::string internal;
        bool utf8;
    };
    const Case cases[] = {
        { "UTF-8 loses its byte order mark", "\xEF\xBB\xBFTitel — ページ", "", "Titel — ページ", true },
        { "labelled UTF-8 stays", "a", "text/plain; charset=utf-8", "a", true },
        { "Shift_JIS", JapaneseSjis, "", JapaneseEuc, false },
        { "ISO-2022-JP", JapaneseIso, "", JapaneseEuc, false },
        { "EUC-JP", JapaneseEucNoKana, "", JapaneseEucNoKana, false },
    };
    for (const auto& c : cases) {
        const TInternalText text = readInternal(c.bytes, c.contentType);
        EXPECT_EQ(text.bytes, c.internal) << c.name;
        EXPECT_EQ(text.utf8, c.utf8) << c.name;
    }
    // The older entry point brings UTF-8 to EUC-JP too, through Shift_JIS.
    const std::string utf8 = "\xEF\xBB\xBF漢字テスト ｱｲ <b>";
    EXPECT_EQ(toInternal(utf8), JapaneseEuc);
    TMemory buffer(utf8);
    toInternal(buffer);
    EXPECT_EQ(buffer.view(), JapaneseEuc);
}

TEST(JapaneseCode, ConvertsKnownCharactersBothWays)
{
    struct Case
    {
        const char* name;
        std::string sjis;
        std::string euc;
    };
    const Case cases[] = {
        { "full-width space", hexBytes("81 40"), hexBytes("a1 a1") },
        { "first pair of an even row", hexBytes("81 9f"), hexBytes("a2 a1") },
        { "last cell before 0x7F", hexBytes("81 7e"), hexBytes("a1 df") },
        { "first cell after 0x7F", hexBytes("81 80"), hexBytes("a1 e0") },
        { "last pair of lead 0x9F", hexBytes("9f fc"), hexBytes("de fe") },
        { "first pair of lead 0xE0", hexBytes("e0 40"), hexBytes("df a1") },
        { "last pair of lead 0xEF", hexBytes("ef fc"), hexBytes("fe fe") },
        { "words with ASCII between", hexBytes("8a bf 41 8e 9a"), hexBytes("b4 c1 41 bb fa") },
        { "pure ASCII", "<a href=\"x\">&amp;</a>", "<a href=\"x\">&amp;</a>" },
        { "half-width katakana", hexBytes("b1 b2"), hexBytes("8e b1 8e b2") },
        { "mixed sample", JapaneseSjis, JapaneseEuc },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sjisToEuc(c.sjis), c.euc) << c.name;
        EXPECT_EQ(eucToSjis(c.euc), c.sjis) << c.name;
        TMemory buffer(c.sjis);
        sjisToEuc(buffer);
        EXPECT_EQ(buffer.view(), c.euc) << c.name;
        eucToSjis(buffer);
        EXPECT_EQ(buffer.view(), c.sjis) << c.name;
    }
}

TEST(JapaneseCode, EveryJisX0208PairMatchesTheCLibraryAndComesBack)
{
    iconv_t toEuc = iconv_open("EUC-JP", "SHIFT_JIS");
    ASSERT_NE(toEuc, reinterpret_cast<iconv_t>(-1));
    int compared = 0;
    for (int lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string sjis { static_cast<char>(lead), static_cast<char>(trail) };
            const std::string euc = sjisToEuc(sjis);
            ASSERT_EQ(euc.size(), 2u);
            EXPECT_GE(static_cast<uint8_t>(euc[0]), 0xA1);
            EXPECT_GE(static_cast<uint8_t>(euc[1]), 0xA1);
            EXPECT_EQ(eucToSjis(euc), sjis);
            std::string reference;
            if (iconvPair(toEuc, sjis, reference)) {
                EXPECT_EQ(euc, reference) << std::hex << lead << " " << trail;
                ++compared;
            }
        }
    }
    iconv_close(toEuc);
    // Most of JIS X 0208 is defined; far fewer would mean the reference did not run.
    EXPECT_GT(compared, 6000);
}

TEST(JapaneseCode, UnpairedHighBytesAreEscapedReversibly)
{
    struct Case
    {
        const char* name;
        std::string sjis;
        std::string euc;
    };
    const Case cases[] = {
        { "0x80", hexBytes("80"), hexBytes("8e 80") },
        { "0xA0", hexBytes("a0 41"), hexBytes("8e a0 41") },
        { "lone lead byte at the end", hexBytes("41 81"), hexBytes("41 8e 81") },
        { "lead byte before 0x7F", hexBytes("81 7f"), hexBytes("8e 81 7f") },
        { "lead byte before a control", hexBytes("e0 0a"), hexBytes("8e e0 0a") },
        { "lead byte before 0xFD", hexBytes("9f fd"), hexBytes("8e 9f 8e fd") },
        { "prefix bytes pair as a character", hexBytes("8e 8f"), hexBytes("bb ef") },
        { "lone 0x8E and 0x8F", hexBytes("8e 20 8f 20"), hexBytes("8e 8e 20 8e 8f 20") },
        { "0xFD .. 0xFF", hexBytes("fd fe ff"), hexBytes("8e fd 8e fe 8e ff") },
        { "vendor pair with a letter second byte", hexBytes("fa 41"), hexBytes("8f fa c1") },
        { "user-defined pair with '@'", hexBytes("f0 40"), hexBytes("8f f0 c0") },
        { "vendor pair with a high second byte", hexBytes("fb fc"), hexBytes("8e fb 8e fc") },
        { "vendor lead before a JIS pair", hexBytes("fa 81 40"), hexBytes("8e fa a1 a1") },
        { "lead 0xFD is no vendor lead", hexBytes("fd 41"), hexBytes("8e fd 41") },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sjisToEuc(c.sjis), c.euc) << c.name;
        EXPECT_EQ(eucToSjis(c.euc), c.sjis) << c.name;
    }
}

TEST(JapaneseCode, EucInputOutsideTheRoundTripComesOutSensibly)
{
    struct Case
    {
        const char* name;
        std::string euc;
        std::string sjis;
    };
    const Case cases[] = {
        { "half-width katakana", hexBytes("8e b1 8e df"), hexBytes("b1 df") },
        { "JIS X 0212 character becomes the geta mark", hexBytes("8f b0 a1 41"), hexBytes("81 ac 41") },
        { "0x8F cut short", hexBytes("8f b0"), hexBytes("8f b0") },
        { "0x8E before ASCII stays", hexBytes("8e 41"), hexBytes("8e 41") },
        { "lone high byte before ASCII", hexBytes("b0 3c"), hexBytes("b0 3c") },
        { "last lone byte", hexBytes("41 b0"), hexBytes("41 b0") },
        { "0xFF stays", hexBytes("ff ff"), hexBytes("ff ff") },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(eucToSjis(c.euc), c.sjis) << c.name;
        TMemory buffer(c.euc);
        eucToSjis(buffer);
        EXPECT_EQ(buffer.view(), c.sjis) << c.name;
    }
}

TEST(JapaneseCode, Iso2022JpDropsItsSequencesAndSetsTheHighBitInDoubleByteMode)
{
    struct Case
    {
        const char* name;
        std::string iso;
        std::string euc;
    };
    const Case cases[] = {
        { "ESC $ B pair ESC ( B", hexBytes("1b 24 42 30 21 1b 28 42"), hexBytes("b0 a1") },
        { "ESC $ @", hexBytes("41 1b 24 40 30 21 1b 28 4a 42"), hexBytes("41 b0 a1 42") },
        { "ESC $ ( D", hexBytes("1b 24 28 44 30 21"), hexBytes("b0 a1") },
        { "ESC & @ ESC $ B", hexBytes("1b 26 40 1b 24 42 30 21 1b 28 48 43"), hexBytes("b0 a1 43") },
        { "SI and SO are dropped", hexBytes("0e 41 0f 1b 24 42 0e 30 21"), hexBytes("41 b0 a1") },
        { "half-width katakana after ESC ( I", hexBytes("1b 28 49 31 32 20 1b 28 42 31"),
            hexBytes("8e b1 8e b2 20 31") },
        { "unknown escape is copied", hexBytes("1b 28 42 1b 24 43 41"), hexBytes("1b 24 43 41") },
        { "sample", JapaneseIso, JapaneseEuc },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toInternal(c.iso), c.euc) << c.name;
        TMemory buffer(c.iso);
        toInternal(buffer);
        EXPECT_EQ(buffer.view(), c.euc) << c.name;
    }
}

TEST(JapaneseCode, TheSameTextInThreeCodesComesBackAsTheSameShiftJis)
{
    for (const std::string& source : { JapaneseSjisNoKana, JapaneseEucNoKana, JapaneseIsoNoKana }) {
        TMemory buffer(source);
        toInternal(buffer);
        EXPECT_EQ(buffer.view(), JapaneseEucNoKana);
        eucToSjis(buffer);
        EXPECT_EQ(buffer.view(), JapaneseSjisNoKana);
    }
    // Half-width katakana survive from Shift_JIS and ISO-2022-JP.
    for (const std::string& source : { JapaneseSjis, JapaneseIso })
        EXPECT_EQ(eucToSjis(toInternal(source)), JapaneseSjis);
    const std::string ascii = "plain <ASCII> & \"quotes\"\r\n";
    EXPECT_EQ(toInternal(ascii), ascii);
    EXPECT_EQ(sjisToEuc(ascii), ascii);
    EXPECT_EQ(eucToSjis(ascii), ascii);
}

namespace {

// Bytes drawn so that lead bytes, second bytes, kana, prefixes and markup meet often.
std::string randomBytes(std::mt19937& random, size_t length)
{
    static const uint8_t interesting[] = { 0x00, 0x0A, 0x1B, 0x22, 0x26, 0x3C, 0x3E, 0x40, 0x41, 0x5C, 0x7E, 0x7F, 0x80,
        0x81, 0x8E, 0x8F, 0x9F, 0xA0, 0xA1, 0xB1, 0xDF, 0xE0, 0xEF, 0xF0, 0xFA, 0xFC, 0xFD, 0xFE, 0xFF };
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<size_t> pick(0, sizeof interesting - 1);
    std::string bytes(length, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(any(random) < 128 ? interesting[pick(random)] : any(random));
    return bytes;
}

// Positions of x that are the second byte of a character in Shift_JIS, by the lead-byte rules of the conversion.
std::vector<bool> secondBytes(std::string_view x)
{
    std::vector<bool> second(x.size(), false);
    for (size_t i = 0; i + 1 < x.size();) {
        const auto b = static_cast<uint8_t>(x[i]);
        const auto t = static_cast<uint8_t>(x[i + 1]);
        const bool jis = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF))
            && ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC));
        const bool vendor = b >= 0xF0 && b <= 0xFC && t >= 0x40 && t <= 0x7E;
        if (jis || vendor) {
            second[i + 1] = true;
            i += 2;
        } else {
            ++i;
        }
    }
    return second;
}

} // namespace

TEST(JapaneseCode, RoundTripIsExactForRandomByteStrings)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> length(0, 48);
    for (int n = 0; n < 200000; ++n) {
        const std::string x = randomBytes(random, length(random));
        const std::string euc = sjisToEuc(x);
        ASSERT_EQ(eucToSjis(euc), x) << "case " << n;
        ASSERT_LE(euc.size(), 2 * x.size());

        // The bytes below 0x80 of the internal form are exactly the input's ASCII bytes that stand alone.
        const auto second = secondBytes(x);
        std::string lone;
        for (size_t i = 0; i < x.size(); ++i)
            if (static_cast<uint8_t>(x[i]) < 0x80 && !second[i])
                lone.push_back(x[i]);
        std::string low;
        for (char c : euc)
            if (static_cast<uint8_t>(c) < 0x80)
                low.push_back(c);
        ASSERT_EQ(low, lone) << "case " << n;

        if (n % 16 == 0) {
            TMemory buffer(x);
            sjisToEuc(buffer);
            ASSERT_EQ(buffer.view(), euc);
            eucToSjis(buffer);
            ASSERT_EQ(buffer.view(), x);
        }
    }
}

TEST(JapaneseCode, RoundTripIsExactForLongUniformlyRandomBuffers)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(0, 255);
    for (int n = 0; n < 50; ++n) {
        std::string x(4096 + n, '\0');
        for (auto& b : x)
            b = static_cast<char>(any(random));
        TMemory buffer(x);
        sjisToEuc(buffer);
        eucToSjis(buffer);
        ASSERT_EQ(buffer.view(), x);
    }
}

TEST(JapaneseCode, OtherConversionsNeverFailOnArbitraryBytes)
{
    std::mt19937 random(99);
    std::uniform_int_distribution<size_t> length(0, 64);
    for (int n = 0; n < 20000; ++n) {
        const std::string x = randomBytes(random, length(random));
        const std::string internal = toInternal(x);
        EXPECT_LE(internal.size(), 2 * x.size());
        EXPECT_LE(eucToSjis(x).size(), x.size());
    }
}

TEST(JapaneseCode, LongTextsConvertAsTheirCharactersDoOneByOne)
{
    // Runs of pairs whose second bytes are lead bytes too, ASCII between them, and now and then a character
    // that changes its length, at every position of the text.
    std::mt19937 random(22);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_int_distribution<int> jisLead(0, 46);
    std::uniform_int_distribution<int> jisTrail(0x40, 0xFC);
    std::uniform_int_distribution<int> ascii(0x20, 0x7E);
    for (int n = 0; n < 2000; ++n) {
        const int oddOnes = n % 3 == 0 ? 0 : 3; // per cent of kana, vendor pairs and lone high bytes
        std::vector<std::string> characters;
        std::string sjis;
        while (sjis.size() < static_cast<size_t>(16 + n % 90)) {
            const int kind = pick(random);
            std::string c;
            if (kind < oddOnes) {
                const std::string odd[] = { "\xB1", "\xA0", "\x80", "\xFA\x40", "\xFD", "\x81\x20" };
                c = odd[static_cast<size_t>(kind) % std::size(odd)];
            } else if (kind < 70) {
                const int lead = jisLead(random);
                int trail = jisTrail(random);
                if (trail == 0x7F)
                    trail = 0x80;
                c = { static_cast<char>(lead < 31 ? 0x81 + lead : 0xE0 + lead - 31), static_cast<char>(trail) };
            } else {
                c = std::string(1, static_cast<char>(ascii(random)));
            }
            characters.push_back(c);
            sjis += c;
        }
        std::string euc;
        for (const std::string& c : characters)
            euc += sjisToEuc(c);
        ASSERT_EQ(sjisToEuc(sjis), euc) << "case " << n;
        TMemory buffer(sjis);
        sjisToEuc(buffer);
        ASSERT_EQ(buffer.view(), euc) << "case " << n;

        ASSERT_EQ(eucToSjis(euc), sjis) << "case " << n;
        eucToSjis(buffer);
        ASSERT_EQ(buffer.view(), sjis) << "case " << n;
    }
}
