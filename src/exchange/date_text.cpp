#include "exchange/date_text.h"

#include <array>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

constexpr std::array<const char*, 12> MonthNames
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

// Month 0..11 of the first three bytes, or -1.
int monthOf(std::string_view text) noexcept
{
    if (text.size() < 3)
        return -1;
    for (size_t m = 0; m < MonthNames.size(); ++m)
        if (std::memcmp(text.data(), MonthNames[m], 3) == 0)
            return static_cast<int>(m);
    return -1;
}

// Two characters as a number; a non-digit counts 0 in its place.
int twoDigitsAt(std::string_view text, size_t at) noexcept
{
    int value = 0;
    for (size_t i = at; i < at + 2; ++i) {
        const char c = i < text.size() ? text[i] : '0';
        value = value * 10 + ((c >= '0' && c <= '9') ? c - '0' : 0);
    }
    return value;
}

// Days from 1970-01-01 to a proleptic Gregorian date; month may be any number and is carried into the year.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) noexcept
{
    year += month / 12;
    month %= 12;
    if (month < 0) {
        month += 12;
        year -= 1;
    }
    // March-based year, so the leap day is the last of its year.
    const int64_t m = month + 1;
    const int64_t y = m <= 2 ? year - 1 : year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

size_t characterCount(std::string_view sjis) noexcept
{
    size_t count = 0;
    for (size_t i = 0; i < sjis.size(); ++count) {
        const auto b = static_cast<unsigned char>(sjis[i]);
        const bool lead = (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
        i += (lead && i + 1 < sjis.size()) ? 2 : 1;
    }
    return count;
}

} // namespace

int32_t numberValue(std::string_view text) noexcept
{
    uint32_t value = 0;
    bool negative = false;
    for (char c : text) {
        if (c == '-')
            negative = !negative;
        else if (c >= '0' && c <= '9')
            value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

bool readDateText(std::string_view text, int32_t& moment)
{
    if (characterCount(text) <= 20)
        return false;
    const int64_t day = twoDigitsAt(text, 8);
    const int64_t hours = twoDigitsAt(text, 11);
    const int64_t minutes = twoDigitsAt(text, 14);
    const int64_t seconds = twoDigitsAt(text, 17);
    const int64_t month = monthOf(text.substr(4));
    const int64_t year = numberValue(text.substr(20));

    tzset();
    const int64_t utc = daysFromCivil(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
    // Standard time only: the C library's `timezone` is the standard offset, west of UTC.
    const int64_t value = utc + static_cast<int64_t>(timezone);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        moment = -1;
    else
        moment = static_cast<int32_t>(value);
    return true;
}
