#pragma once

#include <array>
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

// Two short byte strings, equal; written out, since std::equal calls memcmp, which costs more than a name.
constexpr bool sameName(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// A hash table, built at compile time, of at most 255 names that every tag of a page is looked up in.
template <size_t Slots>
class TNameTable
{
public:
    template <class Names, class NameOf>
    constexpr TNameTable(const Names& names, NameOf nameOf)
    {
        size_t i = 0;
        for (const auto& entry : names) {
            size_t at = nameHash(nameOf(entry)) % Slots;
            while (m_slots[at] != 0)
                at = (at + 1) % Slots;
            m_slots[at] = static_cast<uint8_t>(++i);
        }
    }

    // The place of `name` among the names, from 1; 0 when it is not one of them.
    template <class Names, class NameOf>
    constexpr uint8_t find(std::string_view name, const Names& names, NameOf nameOf) const noexcept
    {
        for (size_t at = nameHash(name) % Slots; m_slots[at] != 0; at = (at + 1) % Slots)
            if (sameName(nameOf(names[m_slots[at] - 1]), name))
                return m_slots[at];
        return 0;
    }

private:
    std::array<uint8_t, Slots> m_slots {};
};

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
