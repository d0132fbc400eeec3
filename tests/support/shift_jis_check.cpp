#include "support/shift_jis_check.h"

#include <cstdint>

namespace test {

bool isValidShiftJis(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<uint8_t>(text[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (!lead || i + 1 == text.size())
            return false;
        const auto t = static_cast<uint8_t>(text[++i]);
        if (!((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)))
            return false;
    }
    return true;
}

} // namespace test
