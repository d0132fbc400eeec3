#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The date text of the exchange files and of an item's last check: "Tue Dec 08 03:32:10 2026"
// (English day and month names, two-digit day, hh:mm:ss, the year with as many digits as it has).
std::string formatDateText(const std::tm& time);
// The same for a moment, in local time.
std::string localDateText(std::time_t moment);

// Reads a number the lenient way of the item lists: digits accumulate in base 10, each "-" flips the sign,
// every other byte is skipped; no digits give 0. Wraps at 32 bits as the stored numbers do.
int32_t numberValue(std::string_view text) noexcept;

// Reads a date text of the form above at its fixed positions as local standard time (daylight saving off).
// Gives nothing for a text of 20 characters or fewer, and -1 for a moment a 32-bit time cannot hold.
bool readDateText(std::string_view text, int32_t& moment);

// Reads a Last-Modified value ("Sun, 06 Nov 1994 08:49:37 GMT") as local time; -1 when it cannot be read.
int32_t readLastModifiedTime(std::string_view value);
