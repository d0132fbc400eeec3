#pragma once

#include <string_view>
#include <vector>

// The words of a line as a word diff compares them, each a view into `line`, together covering it in order:
// a run of letters and digits of one script is one word; a run of white space is one token; every punctuation
// mark or symbol is a token of its own. Japanese has no spaces, so each kanji, kana and full-width character is
// a word of its own. A byte that does not start a well-formed UTF-8 character is a token of its own.
std::vector<std::string_view> splitWords(std::string_view line);
// The same words appended to `words`.
void appendWords(std::string_view line, std::vector<std::string_view>& words);
