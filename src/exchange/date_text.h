#pragma once

#include <cstdint>
#include <string_view>

// Reads a number the lenient way of the item lists: digits accumulate in base 10, each "-" flips the sign,
// every other byte is skipped; no digits give 0. Wraps at 32 bits as the stored numbers do.
int32_t numberValue(std::string_view text) noexcept;

// Reads a date text of the form "Tue Dec 08 03:32:10 2026" at its fixed positions as local standard time
// (daylight saving off). False for a text of 20 characters or fewer; -1 for a moment beyond a 32-bit time.
bool readDateText(std::string_view text, int32_t& moment);
