#include "check/http_response.h"

#include "check/html_parser.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

namespace {

// The C library keeps the time zone in shared state; checks on several threads convert times one at a time.
std::mutex& timeZoneMutex()
{
    static std::mutex mutex;
    return mutex;
}

inline bool isHeadBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

inline bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

size_t skipBlanks(std::string_view text, size_t from) noexcept
{
    while (from < text.size() && isHeadBlank(text[from]))
        ++from;
    return from;
}

size_t findBlank(std::string_view text, size_t from) noexcept
{
    while (from < text.size() && !isHeadBlank(text[from]))
        ++from;
    return from;
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

int monthIndex(std::string_view field) noexcept
{
    static constexpr const char* Months[] = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
    };
    if (field.size() < 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        if (std::memcmp(field.data(), Months[i], 3) == 0)
            return i;
    }
    return 0;
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

THTTPStatus::THTTPStatus(std::string_view line)
{
    const size_t blank = findBlank(line, 0);
    name.assign(line.substr(0, blank));
    if (blank < line.size())
        value.assign(line.substr(blank + 1));
}

std::vector<std::string_view> splitHeaderLines(std::string_view header)
{
    std::vector<std::string_view> lines;
    size_t from = 0;
    while (from < header.size()) {
        size_t end = from;
        while (end < header.size() && header[end] != '\r' && header[end] != '\n')
            ++end;
        lines.push_back(header.substr(from, end - from));
        if (end == header.size())
            break;
        from = end + 1;
        if (header[end] == '\r' && from < header.size() && header[from] == '\n')
            ++from;
    }
    return lines;
}

THTTPResponse::THTTPResponse(std::string_view header)
{
    const std::vector<std::string_view> lines = splitHeaderLines(header);
    if (lines.empty())
        return;

    const std::string_view status = lines.front();
    m_statusLine.assign(status);
    size_t pos = skipBlanks(status, 0);
    size_t end = findBlank(status, pos);
    m_version.assign(status.substr(pos, end - pos));
    pos = skipBlanks(status, end);
    end = findBlank(status, pos);
    m_statusCode.assign(status.substr(pos, end - pos));
    pos = skipBlanks(status, end);
    m_reason.assign(status.substr(pos));

    m_headers.reserve(lines.size() - 1);
    for (size_t i = 1; i < lines.size(); ++i) {
        THTTPStatus line(lines[i]);
        if (!line.name.empty())
            m_headers.push_back(std::move(line));
    }
}

std::string_view THTTPResponse::value(std::string_view name) const noexcept
{
    for (const THTTPStatus& line : m_headers) {
        if (equalsIgnoringAsciiCase(line.name, name))
            return line.value;
    }
    return {};
}

int32_t readLastModifiedTime(std::string_view value)
{
    const basic_text_line<32> fields(value);
    if (fields.size() < 5)
        return -1;

    std::tm date {};
    date.tm_mday = leadingNumber(fields[1]);
    date.tm_mon = monthIndex(fields[2]);
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
    static constexpr const char* Months[] = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
    };
    const int day = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
    const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;

    std::string text;
    text.reserve(24);
    text += Days[day];
    text += ' ';
    text += Months[month];
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
