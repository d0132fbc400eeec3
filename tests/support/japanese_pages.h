#pragma once

#include <string>
#include <vector>

namespace test {

// One small page with the title "漢字テスト" and the meta tag "キー" holding "ア表", written in each of the
// three Japanese codes. The ISO-2022-JP form of "ア" holds a double quote byte, and the Shift_JIS form of "表"
// ends in a backslash.
struct JapanesePage
{
    const char* code;
    std::string body;
};

std::vector<JapanesePage> japanesePages();

// The page's texts as they are stored: Shift_JIS.
extern const std::string PageTitleSjis;
extern const std::string MetaNameSjis;
extern const std::string MetaValueSjis;

} // namespace test
