#pragma once

#include <optional>
#include <string_view>

// The code point of an HTML named character reference without "&" and ";" (every HTML 4 name and "apos",
// case-sensitive as HTML has them); nullopt for an unknown name.
std::optional<char32_t> namedCharacterReference(std::string_view name) noexcept;
