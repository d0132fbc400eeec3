#include "store/item_extension.h"

#include "base/exception.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/random.h>

namespace {

bool isLeadByte(uint8_t c) noexcept
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// A Shift_JIS value: a backslash escapes "n" and itself; any other escape makes the line unreadable. A second
// byte of a double-byte character may be 0x5C and is not a backslash.
std::optional<std::string> unescape(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const auto c = static_cast<uint8_t>(raw[i]);
        if (isLeadByte(c) && i + 1 < raw.size()) {
            out += raw[i];
            out += raw[++i];
        } else if (c == '\\') {
            if (i + 1 >= raw.size())
                return std::nullopt;
            const char next = raw[++i];
            if (next == 'n')
                out += '\n';
            else if (next == '\\')
                out += '\\';
            else
                return std::nullopt;
        } else {
            out += raw[i];
        }
    }
    return out;
}

std::string escape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<uint8_t>(value[i]);
        if (isLeadByte(c) && i + 1 < value.size()) {
            out += value[i];
            out += value[++i];
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

TItemExtension::TItemExtension(std::string_view text)
{
    if (text.empty())
        return;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        const size_t equals = line.find('=');
        std::optional<std::string> value;
        if (equals != std::string_view::npos && isKey(line.substr(0, equals)))
            value = unescape(line.substr(equals + 1));
        if (value)
            m_lines.push_back({ std::string(line.substr(0, equals)), std::move(*value) });
        else
            m_lines.push_back({ {}, std::string(line) });
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
}

std::string TItemExtension::text() const
{
    std::string out;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0)
            out += '\n';
        if (m_lines[i].key.empty()) {
            out += m_lines[i].value;
        } else {
            out += m_lines[i].key;
            out += '=';
            out += escape(m_lines[i].value);
        }
    }
    return out;
}

bool TItemExtension::has(std::string_view key) const
{
    return find(key).has_value();
}

std::string TItemExtension::value(std::string_view key) const
{
    return find(key).value_or(std::string());
}

std::optional<std::string> TItemExtension::find(std::string_view key) const
{
    for (const TLine& line : m_lines) {
        if (!line.key.empty() && line.key == key)
            return line.value;
    }
    return std::nullopt;
}

std::vector<std::string> TItemExtension::values(std::string_view key) const
{
    std::vector<std::string> out;
    for (const TLine& line : m_lines) {
        if (!line.key.empty() && line.key == key)
            out.push_back(line.value);
    }
    return out;
}

void TItemExtension::set(std::string_view key, std::string_view value)
{
    setValues(key, { std::string(value) });
}

void TItemExtension::setValues(std::string_view key, const std::vector<std::string>& values)
{
    if (!isKey(key))
        throw TException("not an extension key: " + std::string(key));
    // Lines before the first one of key are not of key, so its place survives the removal.
    const auto first = std::find_if(m_lines.begin(), m_lines.end(), [&](const TLine& l) { return l.key == key; });
    const auto at = first - m_lines.begin();
    remove(key);
    std::vector<TLine> lines;
    lines.reserve(values.size());
    for (const std::string& v : values)
        lines.push_back({ std::string(key), v });
    m_lines.insert(m_lines.begin() + at, lines.begin(), lines.end());
}

void TItemExtension::remove(std::string_view key)
{
    std::erase_if(m_lines, [&](const TLine& l) { return !l.key.empty() && l.key == key; });
}

TItemExtension TItemExtension::without(std::initializer_list<std::string_view> keys) const
{
    TItemExtension out = *this;
    for (std::string_view key : keys)
        out.remove(key);
    return out;
}

bool TItemExtension::isKey(std::string_view key) noexcept
{
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

std::string newItemId()
{
    uint8_t random[16];
    size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw TException("no random source for an item id", errno);
        }
        got += static_cast<size_t>(n);
    }
    static constexpr char Hex[] = "0123456789abcdef";
    std::string id;
    id.reserve(32);
    for (uint8_t b : random) {
        id += Hex[b >> 4];
        id += Hex[b & 0x0F];
    }
    return id;
}
