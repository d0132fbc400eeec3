#include "exchange/character_references.h"

std::optional<char32_t> namedCharacterReference(std::string_view name) noexcept
{
    if (name == "amp")
        return U'&';
    if (name == "lt")
        return U'<';
    if (name == "gt")
        return U'>';
    if (name == "quot")
        return U'"';
    if (name == "apos")
        return U'\'';
    if (name == "nbsp")
        return 0xA0;
    return std::nullopt;
}
