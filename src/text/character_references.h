#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The code point of an HTML named character reference without "&" and ";" (every HTML 4 name and "apos",
// case-sensitive as HTML has them); nullopt for an unknown name.
std::optional<char32_t> namedCharacterReference(std::string_view name) noexcept;

// The character a browser shows for a numeric reference (&#8212; or &#x2014;) to `value`: U+FFFD for 0, a
// surrogate or a value beyond U+10FFFF, and the windows-1252 character for 0x80..0x9F, as HTML reads them.
// A caller reading digits should stop growing `value` once it passes 0x10FFFF.
char32_t numericCharacterReference(uint32_t value) noexcept;
