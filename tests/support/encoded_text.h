#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace test {

// A UTF-8 literal in another code, converted by the C library rather than by our own tables. Throws when the
// text has no form in that code, so that a test names the text instead of ending.
inline std::string encodeAs(const char* code, std::string_view utf8)
{
    iconv_t cd = iconv_open(code, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument(std::string("no converter for ") + code);
    std::string out(utf8.size() * 3 + 16, '\0');
    char* src = const_cast<char*>(utf8.data());
    size_t srcLeft = utf8.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    // The second call lets a stateful code return to ASCII at the end.
    const bool converted = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)
        && iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!converted)
        throw std::invalid_argument(std::string(utf8) + " has no form in " + code);
    out.resize(out.size() - dstLeft);
    return out;
}

// Shift_JIS as Windows has it.
inline std::string sjis(std::string_view utf8)
{
    return encodeAs("CP932", utf8);
}

} // namespace test
