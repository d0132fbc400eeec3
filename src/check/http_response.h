#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// A text split at every occurrence of one separator byte; two separators in a row give an empty field.
// An empty text has no fields; otherwise n separators give n + 1 fields.
template <char Separator>
class basic_text_line
{
public:
    explicit basic_text_line(std::string_view text)
    {
        if (text.empty())
            return;
        size_t from = 0;
        for (;;) {
            const size_t at = text.find(Separator, from);
            if (at == std::string_view::npos) {
                m_fields.push_back(text.substr(from));
                break;
            }
            m_fields.push_back(text.substr(from, at - from));
            from = at + 1;
        }
    }

    size_t size() const noexcept { return m_fields.size(); }
    // Fields count from 0; views into the text given to the constructor.
    std::string_view operator[](size_t index) const noexcept { return m_fields[index]; }

private:
    std::vector<std::string_view> m_fields;
};

// One header line of a response: the name keeps its colon ("Last-Modified:"); the value is the rest of the
// line after the one blank that ends the name, unchanged.
struct THTTPStatus
{
    std::string name;
    std::string value;

    THTTPStatus() = default;
    explicit THTTPStatus(std::string_view line);
};

// The head of a response as the client leaves it in its Header.
class THTTPResponse
{
public:
    explicit THTTPResponse(std::string_view header);

    // The first line, without its line end.
    const std::string& statusLine() const noexcept { return m_statusLine; }
    const std::string& version() const noexcept { return m_version; }
    const std::string& statusCode() const noexcept { return m_statusCode; }
    const std::string& reason() const noexcept { return m_reason; }

    // The value of the first header line with that name (colon included), ASCII case ignored; empty when absent.
    std::string_view value(std::string_view name) const noexcept;
    const std::vector<THTTPStatus>& headers() const noexcept { return m_headers; }

private:
    std::string m_statusLine;
    std::string m_version;
    std::string m_statusCode;
    std::string m_reason;
    std::vector<THTTPStatus> m_headers;
};

// The lines of a head; LF, CR and CR LF each end one line. A text without a final line end still gives its
// last line; nothing follows the last line end.
std::vector<std::string_view> splitHeaderLines(std::string_view header);

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
