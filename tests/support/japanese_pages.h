#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace test {

// One small page with the title "日本語のページ ― 更新情報" and the meta tag "キー" holding "ア表版３", written in
// each of the three Japanese codes and in UTF-8 (where the dash is U+2014, as UTF-8 pages write it) labelled by
// the answer's header, by the page itself, or not at all. The ISO-2022-JP form holds a "<" and a double quote
// byte; the Shift_JIS form holds second bytes that are a backslash and ASCII letters.
struct JapanesePage
{
    const char* code;
    std::string body;
    std::string contentType; // the Content-Type header to serve it with; empty for none
};

std::vector<JapanesePage> japanesePages();

enum class Utf8Label {
    Header, // only the answer's Content-Type names UTF-8; the page itself claims Shift_JIS
    Meta, // <meta charset="utf-8">
    None,
};
// The page with its title and meta value given in UTF-8.
JapanesePage utf8Page(Utf8Label label, std::string_view title, std::string_view metaValue);

// The page's texts as they are stored: Shift_JIS.
extern const std::string PageTitleSjis;
extern const std::string MetaNameSjis;
extern const std::string MetaValueSjis;

} // namespace test
