#pragma once

#include "store/check_item.h"
#include "support/encoded_text.h"
#include "support/local_zone.h"

#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>

namespace test {

// Lines joined and each ended by CR LF.
inline std::string crlf(std::initializer_list<std::string_view> lines)
{
    std::string out;
    for (std::string_view line : lines) {
        out.append(line);
        out.append("\r\n");
    }
    return out;
}

// Shift_JIS characters whose second byte is "\" (0x5C) or "|" (0x7C): 表, ソ, ポ.
inline const std::string SjisTrail5C = "\x95\x5c";
inline const std::string SjisTrail5C2 = "\x83\x5c";
inline const std::string SjisTrail7C = "\x83\x7c";

inline TCheckItem markedItem(std::string title, std::string checkUri, std::string viewUri = {})
{
    TCheckItem item;
    item.title() = std::move(title);
    item.checkUri() = std::move(checkUri);
    item.viewUri() = std::move(viewUri);
    item.exportMark = 1;
    return item;
}

} // namespace test
