#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The keys of an item's extension text. Their spelling is part of the stored files.
namespace ExtKey {
inline constexpr std::string_view Id = "id";
inline constexpr std::string_view CompareText = "compareText";
inline constexpr std::string_view Region = "region";
inline constexpr std::string_view Ignore = "ignore";
inline constexpr std::string_view IgnoreNumbers = "ignoreNumbers";
inline constexpr std::string_view Etag = "etag";
inline constexpr std::string_view Failures = "failures";
} // namespace ExtKey

// What an item keeps beyond its fixed record, in its last text slot: LF-separated `key=value` lines. A key is
// ASCII letters and digits; a value is Shift_JIS in which a backslash escapes a line end ("\n") and itself
// ("\\"). Lines that cannot be read and keys this program does not know are kept, in their place, and written
// back unchanged, so a newer program's settings survive an older one.
class TItemExtension
{
public:
    TItemExtension() = default;
    explicit TItemExtension(std::string_view text);

    std::string text() const;
    bool empty() const noexcept { return m_lines.empty(); }

    bool has(std::string_view key) const;
    // The first value of key; empty when there is none.
    std::string value(std::string_view key) const;
    std::optional<std::string> find(std::string_view key) const;
    std::vector<std::string> values(std::string_view key) const;

    // Replaces the first line of key (later ones go), or appends one. The key must be letters and digits.
    void set(std::string_view key, std::string_view value);
    // Replaces every line of key with one line per value, where the first one stood.
    void setValues(std::string_view key, const std::vector<std::string>& values);
    void remove(std::string_view key);
    // The same text without the lines of these keys.
    TItemExtension without(std::initializer_list<std::string_view> keys) const;

    static bool isKey(std::string_view key) noexcept;

private:
    struct TLine
    {
        std::string key; // empty for a line that could not be read
        std::string value; // unescaped, or the raw line when the key is empty
    };
    std::vector<TLine> m_lines;
};

// 32 lower-case hex digits from the system's random source.
std::string newItemId();
