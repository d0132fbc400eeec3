#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Reads a number the lenient way of the item lists: digits accumulate in base 10, each "-" flips the sign,
// every other byte is skipped; no digits give 0. Wraps at 32 bits as the stored numbers do.
int32_t numberValue(std::string_view text) noexcept;

// Reads a date text of the form "Tue Dec 08 03:32:10 2026" at its fixed positions as local standard time
// (daylight saving off). False for a text of 20 characters or fewer; -1 for a moment beyond a 32-bit time.
bool readDateText(std::string_view text, int32_t& moment);

// A Last-Modified value in the form "Sun, 06 Nov 1994 08:49:37 GMT" read as local time, in seconds since 1970;
// -1 when it has fewer than five fields, when the calendar conversion fails or when the moment does not fit
// the 32-bit field. The weekday and the zone are not looked at.
int32_t readLastModifiedTime(std::string_view value);

// Every decimal digit is appended to the number, every "-" flips the sign, every other byte is skipped.
// A number beyond the 32-bit range stays at the nearest end of it.
int32_t readContentLengthValue(std::string_view value) noexcept;

// "Tue Dec 08 03:34:39 2026": English names from our own tables, so no locale can change them.
std::string formatCheckTime(const std::tm& time);
// The moment as the text above, in local time.
std::string formatCheckTime(std::time_t moment);
