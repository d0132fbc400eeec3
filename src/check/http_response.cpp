#include "check/http_response.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

inline bool isHeadBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
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
