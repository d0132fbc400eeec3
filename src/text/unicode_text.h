#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// UTF-8 reading and writing, and the Windows Shift_JIS (CP932) code of a Unicode character. The conversions of
// whole texts (utf8ToSjis, sjisToUtf8, codePointToSjis) are declared with the other code conversions in
// exchange/japanese_code.h.

// One character read from UTF-8 at a position: its code point and the bytes it takes. An ill-formed sequence
// is read as U+FFFD over its maximal invalid part (one byte, or a lead byte with the continuation bytes that
// fit it), as browsers and the Unicode standard read it.
struct TUtf8Char
{
    char32_t codePoint;
    size_t length;
    bool valid;
};
inline TUtf8Char readUtf8(std::string_view bytes, size_t at) noexcept
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
    const size_t left = bytes.size() - at;
    const uint8_t b = p[0];
    if (b < 0x80)
        return { b, 1, true };
    size_t length;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    char32_t c;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0Fu;
        if (b == 0xE0)
            low = 0xA0; // longer than needed
        else if (b == 0xED)
            high = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07u;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return { 0xFFFD, 1, false };
    }
    for (size_t k = 1; k < length; ++k) {
        if (k >= left || p[k] < low || p[k] > high)
            return { 0xFFFD, k, false };
        c = c << 6 | (p[k] & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return { c, length, true };
}

enum class TUtf8Form {
    Invalid,
    Ascii, // valid, but no multi-byte character
    MultiByte, // valid with at least one multi-byte character
};
TUtf8Form utf8Form(std::string_view bytes) noexcept;

// Surrogates and values beyond U+10FFFF are written as U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// The CP932 code of a character: one byte (below 0x100) or lead * 256 + trail; 0 when CP932 has no code for it
// (U+0000 is the byte 0). Where CP932 has two codes for one character, the one Windows writes: JIS X 0208 before
// the NEC row 13, the NEC row 13 before the IBM extension, the IBM extension before its NEC-selected copy.
// The table comes from the C library's converter on first use; without the converter only ASCII and
// half-width katakana are known.
uint16_t cp932Code(char32_t codePoint) noexcept;
// The table behind cp932Code for the code points below 0x10000, for loops over long texts.
const uint16_t* cp932Codes() noexcept;
// The character of a CP932 code as above; 0 for a code that is no character (except the byte 0).
char32_t cp932Character(uint16_t code) noexcept;

// The characters that stand for one that CP932 cannot hold, each of which it can hold: the letter without its
// accent, a dash for a dash, a space for a space, the full-width form. Empty for a mark that is not seen (a
// combining accent, a zero-width or direction mark, a variation selector), which is dropped; nullopt when
// nothing stands for the character.
std::optional<std::u32string_view> nearestCharacters(char32_t codePoint) noexcept;
constexpr size_t MaxStandInLength = 3; // characters
