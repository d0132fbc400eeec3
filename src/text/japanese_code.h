#pragma once

#include "base/memory.h"

#include <optional>
#include <string>
#include <string_view>

// Japanese code conversion. The internal form is EUC-JP: every byte of a multi-byte character has its high bit
// set, so the markup scanners never mistake part of a Japanese character for "<", ">", "&", a quote or a letter.
// UTF-8 has the same property, so a UTF-8 document stays UTF-8 for the scanners (readInternal) and only the
// texts taken out of it are converted to Shift_JIS (utf8ToSjis, with the Windows code page CP932).
//
// sjisToEuc maps each JIS X 0208 pair by the row/cell arithmetic. Every other Shift_JIS byte with the high bit
// set (half-width katakana, 0x80, 0xA0, lead bytes without a valid second byte, 0xF0 to 0xFF) is written as
// 0x8E followed by that byte, and a pair of lead 0xF0..0xFC with a second byte below 0x80 as 0x8F, lead,
// second | 0x80. eucToSjis undoes both, so eucToSjis(sjisToEuc(x)) == x for every byte string x.
// In EUC-JP input, half-width katakana (0x8E 0xA1..0xDF) come out as Shift_JIS half-width katakana; a
// JIS X 0212 character (0x8F and two bytes) has no Shift_JIS form and comes out as the geta mark 0x81 0xAC.

enum class TJapaneseCode {
    EucJp, // also plain 7-bit text
    Iso2022Jp,
    ShiftJis,
    Utf8,
};

// The code a charset label names ("utf-8", "UTF8", "Shift_JIS", "windows-31j", "euc-jp", ...), without regard
// to ASCII case and surrounding blanks or quotes; nullopt for any other name.
std::optional<TJapaneseCode> codeOfCharsetName(std::string_view name) noexcept;
// The charset parameter of a Content-Type value ("text/html; charset=UTF-8" -> "UTF-8"); empty when none.
std::string_view charsetOfContentType(std::string_view contentType) noexcept;

// The byte rule for the three Japanese codes, with a UTF-8 byte order mark and valid multi-byte UTF-8 ahead of it.
TJapaneseCode detect(std::string_view bytes) noexcept;
inline TJapaneseCode detect(const TMemory& buffer) noexcept
{
    return detect(buffer.view());
}

// detect() with the labels between the byte order mark and the rest: the Content-Type header's charset (for a
// fetched page), then the document's own declaration (<?xml ... encoding="..."?> at its start, <meta charset>,
// <meta http-equiv=Content-Type content="...; charset=">) in its first DeclarationPrefix bytes, where comments
// and the attributes of other tags are skipped as browsers skip them. A label is passed over when it names a
// code we do not read or when the bytes are not valid in the code it names (UTF-8 with a broken sequence,
// 8-bit ISO-2022-JP, ...); detect() decides when no label is left.
// Browsers look at 1024 bytes; more finds the label of pages with long heads (scripts, styles) at no risk.
constexpr size_t DeclarationPrefix = 4096;
TJapaneseCode detectDocument(std::string_view bytes, std::string_view contentType = {}) noexcept;

// Text in the form the markup scanners read: EUC-JP for the three Japanese codes, or UTF-8 (byte order mark
// dropped) when the source was UTF-8. In both every byte of a multi-byte character has its high bit set.
struct TInternalText
{
    std::string bytes;
    bool utf8 = false;
};
TInternalText readInternal(std::string_view bytes, std::string_view contentType = {});

// Brings bytes of any detected code to EUC-JP; UTF-8 goes through utf8ToSjis, so what Shift_JIS cannot hold is lost.
void toInternal(TMemory& buffer);
std::string toInternal(std::string_view bytes);

// Never fails and never produces invalid Shift_JIS (Windows variant, CP932): a character it cannot hold
// becomes its nearest (full-width forms, dashes, Latin letters without accents) or "?". Invalid UTF-8: "?" for
// each maximal invalid part.
std::string utf8ToSjis(std::string_view utf8);
// One code point to Shift_JIS by the same rule (used for character references).
std::string codePointToSjis(char32_t codePoint);
// Shift_JIS (CP932) to UTF-8; a byte or pair that is no character becomes U+FFFD.
std::string sjisToUtf8(std::string_view sjis);

// Pieces of internal text back to Shift_JIS: text by eucToSjis or utf8ToSjis; a URL keeps its ASCII bytes and
// (from UTF-8) has its other bytes percent-encoded as %XX (upper-case hex), as browsers send them.
std::string internalToSjis(std::string_view piece, bool utf8);
std::string internalUrlToSjis(std::string_view piece, bool utf8);
// A Shift_JIS text, or one code point, in the internal form of a document of that kind.
std::string sjisToInternal(std::string_view sjis, bool utf8);
std::string codePointToInternal(char32_t codePoint, bool utf8);

// The result may be longer than the source (at most twice): single high bytes take two bytes.
void sjisToEuc(TMemory& buffer);
std::string sjisToEuc(std::string_view bytes);

// Never longer than the source; works in place.
void eucToSjis(TMemory& buffer) noexcept;
std::string eucToSjis(std::string_view bytes);
