#pragma once

#include <string_view>

namespace test {

// Whether every byte of the text belongs to a character of Windows Shift_JIS (CP932): ASCII, a half-width
// katakana 0xA1..0xDF, or a lead byte 0x81..0x9F / 0xE0..0xFC with a second byte 0x40..0x7E / 0x80..0xFC.
bool isValidShiftJis(std::string_view text);

} // namespace test
