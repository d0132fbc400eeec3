#include "exchange/date_text.h"

#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr std::array<const char*, 7> DayNames = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
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

void twoDigits(std::string& out, int value)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
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

// Leading decimal digits; large values stop growing so that they fail in the calendar conversion.
int leadingNumber(std::string_view text) noexcept
{
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max() / 2)
            return std::numeric_limits<int>::max() / 2;
    }
    return static_cast<int>(value);
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

std::string formatDateText(const std::tm& time)
{
    std::string out;
    out.reserve(24);
    out += DayNames[static_cast<size_t>(time.tm_wday) % DayNames.size()];
    out += ' ';
    out += MonthNames[static_cast<size_t>(time.tm_mon) % MonthNames.size()];
    out += ' ';
    twoDigits(out, time.tm_mday);
    out += ' ';
    twoDigits(out, time.tm_hour);
    out += ':';
    twoDigits(out, time.tm_min);
    out += ':';
    twoDigits(out, time.tm_sec);
    out += ' ';
    out += std::to_string(static_cast<int64_t>(time.tm_year) + 1900);
    return out;
}

std::string localDateText(std::time_t moment)
{
    std::tm local {};
    if (!localtime_r(&moment, &local))
        return {};
    return formatDateText(local);
}

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

int32_t readLastModifiedTime(std::string_view value)
{
    std::vector<std::string_view> fields;
    for (size_t from = 0;;) {
        const size_t blank = value.find(' ', from);
        if (blank == std::string_view::npos) {
            fields.push_back(value.substr(from));
            break;
        }
        fields.push_back(value.substr(from, blank - from));
        from = blank + 1;
        if (fields.size() > 5)
            break;
    }
    if (fields.size() < 5)
        return -1;

    std::tm time {};
    time.tm_mday = leadingNumber(fields[1]);
    const int month = monthOf(fields[2]);
    time.tm_mon = month < 0 ? 0 : month;
    time.tm_year = leadingNumber(fields[3]) - 1900;

    std::vector<std::string_view> parts;
    for (size_t from = 0; parts.size() < 3;) {
        const size_t colon = fields[4].find(':', from);
        parts.push_back(fields[4].substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from));
        if (colon == std::string_view::npos)
            break;
        from = colon + 1;
    }
    if (parts.size() >= 3) {
        time.tm_hour = leadingNumber(parts[0]);
        time.tm_min = leadingNumber(parts[1]);
        time.tm_sec = leadingNumber(parts[2]);
    }
    time.tm_isdst = -1;
    const std::time_t result = std::mktime(&time);
    if (result == static_cast<std::time_t>(-1) || result < std::numeric_limits<int32_t>::min()
        || result > std::numeric_limits<int32_t>::max())
        return -1;
    return static_cast<int32_t>(result);
}
