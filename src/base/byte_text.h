#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Small helpers on byte strings, written once for every layer.

inline char lowerAscii(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// FNV-1a: cheap enough for the hash tables that look up every tag name of a page.
constexpr uint32_t nameHash(std::string_view name) noexcept
{
    uint32_t hash = 2166136261u;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

// ASCII case-insensitive equality of two byte strings; other bytes must be equal.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;

// The folder with one "/" at its end; an empty folder stays empty (the current one).
std::string withTrailingSlash(std::string folder);

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
