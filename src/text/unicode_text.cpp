#include "text/unicode_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iconv.h>

namespace {

constexpr char32_t Replacement = 0xFFFD;
constexpr char32_t HalfWidthKatakana = 0xFF61; // U+FF61..U+FF9F are the bytes 0xA1..0xDF
constexpr uint8_t HalfWidthFirst = 0xA1;
constexpr uint8_t HalfWidthLast = 0xDF;

bool isLead(unsigned b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isTrail(unsigned b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

struct TCp932Tables
{
    std::array<uint16_t, 0x10000> code {};
    std::array<char16_t, 0x10000> character {};
};

// One conversion through iconv, from a state reset for every call; false when it fails or leaves input.
bool convert(iconv_t cd, const char* in, size_t inSize, char* out, size_t& outSize)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    char* dst = out;
    size_t dstLeft = outSize;
    if (iconv(cd, &src, &inSize, &dst, &dstLeft) == static_cast<size_t>(-1) || inSize != 0)
        return false;
    outSize = outSize - dstLeft;
    return true;
}

iconv_t openCp932(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1))
        return cd;
    // The same code page under its other name, for C libraries that know only one of them.
    const bool toCp932 = std::strcmp(to, "CP932") == 0;
    return iconv_open(toCp932 ? "WINDOWS-31J" : to, toCp932 ? from : "WINDOWS-31J");
}

void fillFromConverter(TCp932Tables& t)
{
    iconv_t decoder = openCp932("UTF-32LE", "CP932");
    if (decoder == reinterpret_cast<iconv_t>(-1))
        return;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLead(lead))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrail(trail))
                continue;
            const char pair[2] = { static_cast<char>(lead), static_cast<char>(trail) };
            unsigned char u[8];
            size_t size = sizeof u;
            if (!convert(decoder, pair, 2, reinterpret_cast<char*>(u), size) || size != 4)
                continue;
            const char32_t c = u[0] | u[1] << 8 | static_cast<char32_t>(u[2]) << 16 | static_cast<char32_t>(u[3]) << 24;
            if (c > 0x7F && c < 0x10000)
                t.character[lead << 8 | trail] = static_cast<char16_t>(c);
        }
    }
    iconv_close(decoder);

    // The other direction is asked character by character: it holds the canonical code of characters CP932
    // has twice, and the usual one-way mappings (U+301C wave dash to the full-width tilde, U+2014 em dash to the
    // horizontal bar, U+2212 minus to the full-width hyphen-minus, U+00A2 cent to the full-width cent, ...).
    iconv_t encoder = openCp932("CP932", "UTF-32LE");
    if (encoder == reinterpret_cast<iconv_t>(-1))
        return;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || t.code[c] != 0)
            continue;
        const char u[4] = { static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), 0, 0 };
        unsigned char out[8];
        size_t size = sizeof out;
        if (convert(encoder, u, 4, reinterpret_cast<char*>(out), size) && size == 2 && isLead(out[0])
            && isTrail(out[1]))
            t.code[c] = static_cast<uint16_t>(out[0] << 8 | out[1]);
    }
    iconv_close(encoder);
}

TCp932Tables buildTables()
{
    TCp932Tables t;
    for (char16_t c = 0; c < 0x80; ++c) {
        t.code[c] = c;
        t.character[c] = c;
    }
    for (unsigned b = HalfWidthFirst; b <= HalfWidthLast; ++b) {
        t.code[HalfWidthKatakana + b - HalfWidthFirst] = static_cast<uint16_t>(b);
        t.character[b] = static_cast<char16_t>(HalfWidthKatakana + b - HalfWidthFirst);
    }
    fillFromConverter(t);
    // The converter writes the yen sign and the overline as the bytes of the backslash and the tilde, which
    // every Unicode reader of Shift_JIS (our window included) shows as those; the full-width forms look right.
    t.code[0x00A5] = t.code[0xFFE5];
    t.code[0x203E] = t.code[0xFFE3];
    return t;
}

const TCp932Tables& tables()
{
    static const TCp932Tables t = buildTables();
    return t;
}

struct TNearest
{
    char32_t from;
    std::u32string_view to;
};

// Sorted by code point. Every character on the right is one CP932 holds.
// clang-format off
constexpr TNearest Nearest[] = {
    { U'\u00A0', U" " }, { U'¡', U"!" }, { U'¦', U"￤" }, { U'©', U"(C)" }, { U'ª', U"a" }, { U'«', U"《" },
    { U'®', U"(R)" }, { U'¯', U"￣" }, { U'²', U"2" }, { U'³', U"3" }, { U'µ', U"μ" }, { U'·', U"・" },
    { U'¸', U"," }, { U'¹', U"1" }, { U'º', U"o" }, { U'»', U"》" }, { U'¼', U"1/4" }, { U'½', U"1/2" },
    { U'¾', U"3/4" },
    // Latin-1 Supplement and Latin Extended-A letters without their accents
    { U'À', U"A" }, { U'Á', U"A" }, { U'Â', U"A" }, { U'Ã', U"A" }, { U'Ä', U"A" }, { U'Å', U"A" }, { U'Æ', U"AE" },
    { U'Ç', U"C" }, { U'È', U"E" }, { U'É', U"E" }, { U'Ê', U"E" }, { U'Ë', U"E" }, { U'Ì', U"I" }, { U'Í', U"I" },
    { U'Î', U"I" }, { U'Ï', U"I" }, { U'Ð', U"D" }, { U'Ñ', U"N" }, { U'Ò', U"O" }, { U'Ó', U"O" }, { U'Ô', U"O" },
    { U'Õ', U"O" }, { U'Ö', U"O" }, { U'Ø', U"O" }, { U'Ù', U"U" }, { U'Ú', U"U" }, { U'Û', U"U" }, { U'Ü', U"U" },
    { U'Ý', U"Y" }, { U'Þ', U"TH" }, { U'ß', U"ss" }, { U'à', U"a" }, { U'á', U"a" }, { U'â', U"a" },
    { U'ã', U"a" }, { U'ä', U"a" }, { U'å', U"a" }, { U'æ', U"ae" }, { U'ç', U"c" }, { U'è', U"e" }, { U'é', U"e" },
    { U'ê', U"e" }, { U'ë', U"e" }, { U'ì', U"i" }, { U'í', U"i" }, { U'î', U"i" }, { U'ï', U"i" }, { U'ð', U"d" },
    { U'ñ', U"n" }, { U'ò', U"o" }, { U'ó', U"o" }, { U'ô', U"o" }, { U'õ', U"o" }, { U'ö', U"o" }, { U'ø', U"o" },
    { U'ù', U"u" }, { U'ú', U"u" }, { U'û', U"u" }, { U'ü', U"u" }, { U'ý', U"y" }, { U'þ', U"th" }, { U'ÿ', U"y" },
    { U'Ā', U"A" }, { U'ā', U"a" }, { U'Ă', U"A" }, { U'ă', U"a" }, { U'Ą', U"A" }, { U'ą', U"a" }, { U'Ć', U"C" },
    { U'ć', U"c" }, { U'Ĉ', U"C" }, { U'ĉ', U"c" }, { U'Ċ', U"C" }, { U'ċ', U"c" }, { U'Č', U"C" }, { U'č', U"c" },
    { U'Ď', U"D" }, { U'ď', U"d" }, { U'Đ', U"D" }, { U'đ', U"d" }, { U'Ē', U"E" }, { U'ē', U"e" }, { U'Ĕ', U"E" },
    { U'ĕ', U"e" }, { U'Ė', U"E" }, { U'ė', U"e" }, { U'Ę', U"E" }, { U'ę', U"e" }, { U'Ě', U"E" }, { U'ě', U"e" },
    { U'Ĝ', U"G" }, { U'ĝ', U"g" }, { U'Ğ', U"G" }, { U'ğ', U"g" }, { U'Ġ', U"G" }, { U'ġ', U"g" }, { U'Ģ', U"G" },
    { U'ģ', U"g" }, { U'Ĥ', U"H" }, { U'ĥ', U"h" }, { U'Ħ', U"H" }, { U'ħ', U"h" }, { U'Ĩ', U"I" }, { U'ĩ', U"i" },
    { U'Ī', U"I" }, { U'ī', U"i" }, { U'Ĭ', U"I" }, { U'ĭ', U"i" }, { U'Į', U"I" }, { U'į', U"i" }, { U'İ', U"I" },
    { U'ı', U"i" }, { U'Ĳ', U"IJ" }, { U'ĳ', U"ij" }, { U'Ĵ', U"J" }, { U'ĵ', U"j" }, { U'Ķ', U"K" },
    { U'ķ', U"k" }, { U'ĸ', U"k" }, { U'Ĺ', U"L" }, { U'ĺ', U"l" }, { U'Ļ', U"L" }, { U'ļ', U"l" }, { U'Ľ', U"L" },
    { U'ľ', U"l" }, { U'Ŀ', U"L" }, { U'ŀ', U"l" }, { U'Ł', U"L" }, { U'ł', U"l" }, { U'Ń', U"N" }, { U'ń', U"n" },
    { U'Ņ', U"N" }, { U'ņ', U"n" }, { U'Ň', U"N" }, { U'ň', U"n" }, { U'ŉ', U"'n" }, { U'Ŋ', U"N" }, { U'ŋ', U"n" },
    { U'Ō', U"O" }, { U'ō', U"o" }, { U'Ŏ', U"O" }, { U'ŏ', U"o" }, { U'Ő', U"O" }, { U'ő', U"o" }, { U'Œ', U"OE" },
    { U'œ', U"oe" }, { U'Ŕ', U"R" }, { U'ŕ', U"r" }, { U'Ŗ', U"R" }, { U'ŗ', U"r" }, { U'Ř', U"R" }, { U'ř', U"r" },
    { U'Ś', U"S" }, { U'ś', U"s" }, { U'Ŝ', U"S" }, { U'ŝ', U"s" }, { U'Ş', U"S" }, { U'ş', U"s" }, { U'Š', U"S" },
    { U'š', U"s" }, { U'Ţ', U"T" }, { U'ţ', U"t" }, { U'Ť', U"T" }, { U'ť', U"t" }, { U'Ŧ', U"T" }, { U'ŧ', U"t" },
    { U'Ũ', U"U" }, { U'ũ', U"u" }, { U'Ū', U"U" }, { U'ū', U"u" }, { U'Ŭ', U"U" }, { U'ŭ', U"u" }, { U'Ů', U"U" },
    { U'ů', U"u" }, { U'Ű', U"U" }, { U'ű', U"u" }, { U'Ų', U"U" }, { U'ų', U"u" }, { U'Ŵ', U"W" }, { U'ŵ', U"w" },
    { U'Ŷ', U"Y" }, { U'ŷ', U"y" }, { U'Ÿ', U"Y" }, { U'Ź', U"Z" }, { U'ź', U"z" }, { U'Ż', U"Z" }, { U'ż', U"z" },
    { U'Ž', U"Z" }, { U'ž', U"z" }, { U'ſ', U"s" },
    // Spacing accents, dashes, quotes, bullets and signs
    { U'ˆ', U"^" }, { U'˜', U"~" }, { U'‑', U"‐" }, { U'‒', U"-" }, { U'–', U"-" }, { U'‚', U"‘" }, { U'‛', U"‘" },
    { U'„', U"“" }, { U'‟', U"“" }, { U'•', U"・" }, { U'‣', U"・" }, { U'‧', U"・" }, { U'\u202F', U" " },
    { U'‹', U"〈" }, { U'›', U"〉" }, { U'⁃', U"-" }, { U'⁄', U"/" }, { U'\u205F', U" " }, { U'℉', U"°F" },
    { U'™', U"TM" }, { U'∕', U"/" }, { U'∙', U"・" }, { U'∼', U"～" }, { U'≤', U"≦" }, { U'≥', U"≧" },
    { U'⸺', U"――" }, { U'⸻', U"―――" },
    // Kana that JIS X 0208 lacks
    { U'ゔ', U"ヴ" }, { U'ゕ', U"ヵ" }, { U'ゖ', U"ヶ" }, { U'゠', U"＝" },
    // Small and half-width forms
    { U'﹘', U"―" }, { U'﹣', U"-" }, { U'｟', U"（" }, { U'｠', U"）" }, { U'￨', U"│" }, { U'￩', U"←" }, { U'￪', U"↑" },
    { U'￫', U"→" }, { U'￬', U"↓" }, { U'￭', U"■" }, { U'￮', U"○" },
};
// clang-format on

constexpr bool nearestIsSortedAndShort()
{
    return std::is_sorted(std::begin(Nearest), std::end(Nearest), [](const TNearest& a, const TNearest& b) {
        return a.from < b.from;
    }) && std::all_of(std::begin(Nearest), std::end(Nearest), [](const TNearest& entry) {
        return entry.to.size() <= MaxStandInLength;
    });
}
static_assert(nearestIsSortedAndShort());

// Marks that a browser shows as nothing: combining accents (the letter stays), the soft hyphen, zero-width
// and direction marks, variation selectors, emoji tags and skin tones.
bool isUnseen(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || c == 0x00AD || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF
        || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0000 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF);
}

} // namespace

TUtf8Form utf8Form(std::string_view bytes) noexcept
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    bool multiByte = false;
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const TUtf8Char c = readUtf8(bytes, i);
        if (!c.valid)
            return TUtf8Form::Invalid;
        multiByte = true;
        i += c.length;
    }
    return multiByte ? TUtf8Form::MultiByte : TUtf8Form::Ascii;
}

void appendUtf8(std::string& out, char32_t c)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = Replacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        const char s[] = { static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F)) };
        out.append(s, 2);
    } else if (c < 0x10000) {
        const char s[] = { static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F)) };
        out.append(s, 3);
    } else {
        const char s[] = { static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
            static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F)) };
        out.append(s, 4);
    }
}

const uint16_t* cp932Codes() noexcept
{
    return tables().code.data();
}

uint16_t cp932Code(char32_t codePoint) noexcept
{
    return codePoint < 0x10000 ? tables().code[codePoint] : 0;
}

char32_t cp932Character(uint16_t code) noexcept
{
    return tables().character[code];
}

std::optional<std::u32string_view> nearestCharacters(char32_t codePoint) noexcept
{
    if (isUnseen(codePoint))
        return std::u32string_view();
    if (codePoint >= 0x2000 && codePoint <= 0x200A) // the typographic spaces
        return std::u32string_view(U" ");
    const auto* at = std::lower_bound(std::begin(Nearest), std::end(Nearest), codePoint,
        [](const TNearest& entry, char32_t c) { return entry.from < c; });
    if (at != std::end(Nearest) && at->from == codePoint)
        return at->to;
    return std::nullopt;
}
