#pragma once

#include "store/memory.h"

#include <string>
#include <string_view>

// Japanese code conversion. The internal form is EUC-JP: every byte of a multi-byte character has its high bit
// set, so the markup scanners never mistake part of a Japanese character for "<", ">", "&", a quote or a letter.
//
// sjisToEuc maps each JIS X 0208 pair by the row/cell arithmetic. Every other Shift_JIS byte with the high bit
// set (half-width katakana, 0x80, 0xA0, lead bytes without a valid second byte, 0xF0 to 0xFF) is written as
// 0x8E followed by that byte, and a pair of lead 0xF0..0xFC with a second byte below 0x80 as 0x8F, lead,
// second | 0x80. eucToSjis undoes both, so eucToSjis(sjisToEuc(x)) == x for every byte string x.
// In EUC-JP input, half-width katakana (0x8E 0xA1..0xDF) come out as Shift_JIS half-width katakana; a
// JIS X 0212 character (0x8F and two bytes) has no Shift_JIS form and comes out as the geta mark 0x81 0xAC.

enum class TJapaneseCode {
    EucJp, // also plain 7-bit text
    Iso2022Jp,
    ShiftJis,
};

TJapaneseCode detect(std::string_view bytes) noexcept;
inline TJapaneseCode detect(const TMemory& buffer) noexcept { return detect(buffer.view()); }

// Brings bytes of any of the three codes to the internal form.
void toInternal(TMemory& buffer);
std::string toInternal(std::string_view bytes);

// The result may be longer than the source (at most twice): single high bytes take two bytes.
void sjisToEuc(TMemory& buffer);
std::string sjisToEuc(std::string_view bytes);

// Never longer than the source; works in place.
void eucToSjis(TMemory& buffer) noexcept;
std::string eucToSjis(std::string_view bytes);
