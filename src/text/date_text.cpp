#include "text/date_text.h"

#include "base/byte_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>

namespace {

// The C library keeps the time zone in shared state; checks on several threads convert times one at a time.
std::mutex& timeZoneMutex()
{
    static std::mutex mutex;
    return mutex;
}

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

inline bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// The leading decimal digits as a number; 0 without any. Held below a billion so that no run of digits can
// overflow; the calendar conversion then refuses such a date.
int leadingNumber(std::string_view text) noexcept
{
    constexpr int Cap = 999'999'999;
    int n = 0;
    for (const char c : text) {
        if (!isDigit(c))
            break;
        n = n > (Cap - 9) / 10 ? Cap : n * 10 + (c - '0');
    }
    return n;
}

void appendTwoDigits(std::string& out, int value)
{
    if (value < 0 || value > 99) {
        out += std::to_string(value);
        return;
    }
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
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

    // Standard time only: the C library's `timezone` is the standard offset, west of UTC.
    int64_t west = 0;
    {
        const std::lock_guard lock(timeZoneMutex());
        tzset();
        west = static_cast<int64_t>(timezone);
    }
    const int64_t utc = daysFromCivil(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
    const int64_t value = utc + west;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        moment = -1;
    else
        moment = static_cast<int32_t>(value);
    return true;
}

int32_t readLastModifiedTime(std::string_view value)
{
    const basic_text_line<32> fields(value);
    if (fields.size() < 5)
        return -1;

    std::tm date {};
    date.tm_mday = leadingNumber(fields[1]);
    date.tm_mon = std::max(0, monthOf(fields[2]));
    date.tm_year = leadingNumber(fields[3]) - 1900;
    const basic_text_line<58> clock(fields[4]);
    if (clock.size() >= 3) {
        date.tm_hour = leadingNumber(clock[0]);
        date.tm_min = leadingNumber(clock[1]);
        date.tm_sec = leadingNumber(clock[2]);
    }
    date.tm_isdst = -1;

    std::time_t moment = 0;
    {
        const std::lock_guard lock(timeZoneMutex());
        moment = std::mktime(&date);
    }
    if (moment == static_cast<std::time_t>(-1) || moment < std::numeric_limits<int32_t>::min()
        || moment > std::numeric_limits<int32_t>::max())
        return -1;
    return static_cast<int32_t>(moment);
}

int32_t readContentLengthValue(std::string_view value) noexcept
{
    constexpr int64_t Limit = int64_t(1) << 31;
    int64_t magnitude = 0;
    bool negative = false;
    for (const char c : value) {
        if (isDigit(c))
            magnitude = magnitude >= Limit ? Limit : std::min(Limit, magnitude * 10 + (c - '0'));
        else if (c == '-')
            negative = !negative;
    }
    if (negative)
        return static_cast<int32_t>(-magnitude);
    return static_cast<int32_t>(std::min(magnitude, Limit - 1));
}

std::string formatCheckTime(const std::tm& time)
{
    static constexpr const char* Days[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    const int day = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
    const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;

    std::string text;
    text.reserve(24);
    text += Days[day];
    text += ' ';
    text += MonthNames[static_cast<size_t>(month)];
    text += ' ';
    appendTwoDigits(text, time.tm_mday);
    text += ' ';
    appendTwoDigits(text, time.tm_hour);
    text += ':';
    appendTwoDigits(text, time.tm_min);
    text += ':';
    appendTwoDigits(text, time.tm_sec);
    text += ' ';
    text += std::to_string(static_cast<long long>(time.tm_year) + 1900);
    return text;
}

std::string formatCheckTime(std::time_t moment)
{
    std::tm local {};
    {
        const std::lock_guard lock(timeZoneMutex());
        if (!localtime_r(&moment, &local))
            return {};
    }
    return formatCheckTime(local);
}
