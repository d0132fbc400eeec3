// Detection and the UTF-8 conversions on arbitrary bytes. An input holding a line feed in its first 64 bytes
// is a Content-Type value and a document; any other is a document alone. Shift_JIS made from any bytes must be
// valid, UTF-8 made from any bytes must be valid, and a URL from UTF-8 must come out in ASCII.
#include "text/character_references.h"
#include "text/japanese_code.h"
#include "text/unicode_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool validShiftJis(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<uint8_t>(text[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) || ++i == text.size())
            return false;
        const auto t = static_cast<uint8_t>(text[i]);
        if (!((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)))
            return false;
    }
    return true;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.substr(0, 64).find('\n');
    const std::string_view contentType
        = lineEnd == std::string_view::npos ? std::string_view() : input.substr(0, lineEnd);
    const std::string_view document = lineEnd == std::string_view::npos ? input : input.substr(lineEnd + 1);

    const std::string_view charset = charsetOfContentType(contentType);
    check(charset.empty()
        || (charset.data() >= contentType.data()
            && charset.data() + charset.size() <= contentType.data() + contentType.size()));
    codeOfCharsetName(charset);
    namedCharacterReference(document.substr(0, 16));

    const TJapaneseCode code = detectDocument(document, contentType);
    const TInternalText text = readInternal(document, contentType);
    check(text.utf8 == (code == TJapaneseCode::Utf8));
    if (text.utf8)
        check(document.ends_with(text.bytes) && document.size() - text.bytes.size() <= 3);
    else
        check(text.bytes.size() <= 2 * document.size());

    const std::string sjis = utf8ToSjis(input);
    check(validShiftJis(sjis) && sjis.size() <= 2 * size);
    check(utf8Form(sjisToUtf8(input)) != TUtf8Form::Invalid);
    const std::string url = internalUrlToSjis(input, true);
    check(std::all_of(url.begin(), url.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; }));
    return 0;
}
