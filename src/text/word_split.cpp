#include "text/word_split.h"

#include "text/unicode_text.h"

namespace {

// What a character is to the splitter. A script whose words are spelled with spaces between them has its own
// class, so its runs join; Single characters each make a token.
enum TCharClass : unsigned {
    Single,
    Space,
    Mark, // a combining mark joins the word before it
    Latin,
    Greek,
    Cyrillic,
    Hangul,
    OtherScript, // above: OtherScript + the 128-character block, a fair stand-in for the script
};

unsigned classOf(char32_t c)
{
    if (c < 0x80) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return Latin;
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' ? Space : Single;
    }
    if (c < 0x250) {
        if (c == 0xA0)
            return Space;
        // Latin-1's letters, less the multiplication and division signs, and Latin Extended-A and B
        return c >= 0xC0 && c != 0xD7 && c != 0xF7 ? Latin : (c == 0xAA || c == 0xB5 || c == 0xBA ? Latin : Single);
    }
    if (c < 0x2B0)
        return Latin; // IPA
    if (c < 0x300)
        return Single; // spacing modifiers
    if (c < 0x370)
        return Mark;
    if (c < 0x400)
        return c == 0x37E || c == 0x387 ? Single : Greek;
    if (c < 0x530)
        return Cyrillic;
    if (c >= 0x1100 && c < 0x1200)
        return Hangul;
    if (c >= 0x1AB0 && c < 0x1B00)
        return Mark;
    if (c >= 0x1DC0 && c < 0x1E00)
        return Mark;
    if (c >= 0x1E00 && c < 0x1F00)
        return Latin;
    if (c >= 0x1F00 && c < 0x2000)
        return Greek;
    if (c < 0x2000)
        return OtherScript + (c >> 7);
    if (c <= 0x200A || c == 0x202F || c == 0x205F)
        return Space;
    if (c >= 0x20D0 && c < 0x2100)
        return Mark;
    if (c < 0x3000)
        return Single; // punctuation, symbols, arrows, box drawing and the like
    if ((c >= 0x3130 && c < 0x3190) || (c >= 0xA960 && c < 0xA980) || (c >= 0xAC00 && c < 0xD800))
        return Hangul;
    if (c >= 0x3099 && c <= 0x309A)
        return Mark; // the combining (semi-)voiced sound marks
    if (c >= 0xFE00 && c < 0xFE10)
        return Mark; // variation selectors
    if (c >= 0xFE20 && c < 0xFE30)
        return Mark;
    if (c >= 0xE0100 && c < 0xE01F0)
        return Mark;
    // CJK punctuation, kana, kanji, full-width forms, half-width katakana, emoji, private use: one each
    return Single;
}

} // namespace

std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    appendWords(line, words);
    return words;
}

void appendWords(std::string_view line, std::vector<std::string_view>& words)
{
    size_t start = 0;
    unsigned current = Single;
    size_t at = 0;
    while (at < line.size()) {
        const TUtf8Char read = readUtf8(line, at);
        if (!read.valid) {
            if (start < at)
                words.push_back(line.substr(start, at - start));
            words.push_back(line.substr(at, 1));
            start = ++at;
            current = Single;
            continue;
        }
        const unsigned kind = classOf(read.codePoint);
        // a combining mark belongs to the character before it, whatever that is but a space
        const bool joins
            = start < at && ((kind == Mark && current != Space) || (kind != Single && kind != Mark && kind == current));
        if (!joins) {
            if (start < at)
                words.push_back(line.substr(start, at - start));
            start = at;
            current = kind == Mark ? Single : kind;
        }
        at += read.length;
    }
    if (start < at)
        words.push_back(line.substr(start, at - start));
}
