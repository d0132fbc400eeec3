#pragma once

#include "base/byte_text.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

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
