#include "text/japanese_code.h"

#include "base/byte_text.h"
#include "base/exception.h"
#include "text/unicode_text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr uint8_t Esc = 0x1B;
constexpr uint8_t SingleBytePrefix = 0x8E;
constexpr uint8_t Jis0212Prefix = 0x8F;
constexpr uint8_t GetaLead = 0x81;
constexpr uint8_t GetaTrail = 0xAC;

inline bool isSjisLead(uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}
inline bool isSjisTrail(uint8_t b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
// Lead bytes outside JIS X 0208 whose second byte may be below 0x80 (user-defined and vendor rows).
inline bool isExtraLead(uint8_t b)
{
    return b >= 0xF0 && b <= 0xFC;
}
inline bool isLowTrail(uint8_t b)
{
    return b >= 0x40 && b <= 0x7E;
}
inline bool isEucByte(uint8_t b)
{
    return b >= 0xA1 && b <= 0xFE;
}

template <typename F>
auto guarded(F&& f)
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw TException("TMemory");
    } catch (const std::length_error&) {
        throw TException("TMemory");
    }
}

// A block for a converted text, which a long one can have backed by large pages. Converting into it rather than
// in place keeps the conversion's stores away from its loads.
std::string outputOfSize(size_t size)
{
    std::string out;
    out.reserve(size);
    adviseLargePages(out.data(), size);
    out.resize(size);
    return out;
}

inline void sjisPairToEuc(uint8_t lead, uint8_t trail, uint8_t* out)
{
    unsigned row = (lead <= 0x9F ? lead - 0x81u : lead - 0xC1u) * 2u;
    unsigned cell;
    if (trail >= 0x9F) {
        ++row;
        cell = trail - 0x9Fu;
    } else {
        cell = trail - (trail >= 0x80 ? 0x41u : 0x40u);
    }
    out[0] = static_cast<uint8_t>(0xA1 + row);
    out[1] = static_cast<uint8_t>(0xA1 + cell);
}

inline void eucPairToSjis(uint8_t first, uint8_t second, uint8_t* out)
{
    const unsigned row = first - 0xA1u; // 0..93
    const unsigned cell = second - 0xA1u; // 0..93
    out[0] = static_cast<uint8_t>(row / 2 + (row < 62 ? 0x81 : 0xC1));
    if (row % 2 == 0)
        out[1] = static_cast<uint8_t>(cell + (cell < 63 ? 0x40 : 0x41));
    else
        out[1] = static_cast<uint8_t>(cell + 0x9F);
}

#ifdef __SSE2__
// Windows of 16 bytes, each read with the byte after it, the second byte of a pair that begins at its last
// position. That byte is converted as the next window's first; a window's start never waits on the one before.
constexpr size_t WindowSize = 16;

inline __m128i loadWindow(const uint8_t* p) noexcept
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i bytesOf(uint8_t b) noexcept
{
    return _mm_set1_epi8(static_cast<char>(b));
}

// All ones in the bytes from lo to hi.
inline __m128i inRange(__m128i x, uint8_t lo, uint8_t hi) noexcept
{
    const __m128i d = _mm_sub_epi8(x, bytesOf(lo));
    return _mm_cmpeq_epi8(_mm_min_epu8(d, bytesOf(static_cast<uint8_t>(hi - lo))), d);
}

inline __m128i atLeast(__m128i x, uint8_t lo) noexcept
{
    return _mm_cmpeq_epi8(_mm_max_epu8(x, bytesOf(lo)), x);
}

inline unsigned bitsOf(__m128i mask) noexcept
{
    return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

// The byte mask with all ones where `bits` has its bit.
inline __m128i maskOfBits(unsigned bits) noexcept
{
    __m128i v = _mm_cvtsi32_si128(static_cast<int>(bits));
    v = _mm_unpacklo_epi8(v, v);
    v = _mm_unpacklo_epi16(v, v);
    v = _mm_unpacklo_epi32(v, v); // bytes 0..7 hold the low 8 bits, bytes 8..15 the high 8
    const __m128i bit = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    return _mm_cmpeq_epi8(_mm_and_si128(v, bit), bit);
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) noexcept
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The bytes of a window that open a pair, from `runs`, the bytes that open a pair when a character starts at
// them and may be a second byte too: each run of them pairs up from its start. The window starts at a
// character, or, with `carry`, at the second byte of a pair.
inline unsigned pairStarts(unsigned runs, unsigned carry) noexcept
{
    constexpr unsigned Even = 0x5555;
    runs &= ~carry;
    const unsigned starts = runs & ~(runs << 1);
    // Adding the start of a run clears the run, so this keeps the runs that start at an even position.
    const unsigned fromEven = runs & ~(runs + (starts & Even));
    return ((fromEven & Even) | (runs & ~fromEven & ~Even)) & 0xFFFF;
}

// The byte mask of the second bytes: after each first byte, and the window's first byte with `carry`.
inline __m128i secondMask(__m128i leadMask, unsigned carry) noexcept
{
    return _mm_or_si128(_mm_slli_si128(leadMask, 1), _mm_cvtsi32_si128(static_cast<int>(carry * 0xFF)));
}

// Converts the window at src when every character in it keeps its length; false when some byte needs the
// byte-wise path. `carry` is 1 when the window starts with the second byte of a pair, and is set for the next.
inline bool sjisWindowToEuc(const uint8_t* src, uint8_t* dst, unsigned& carry) noexcept
{
    const __m128i x = loadWindow(src);
    const unsigned high = bitsOf(x);
    if ((high | carry) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), x);
        return true;
    }
    const __m128i y = loadWindow(src + 1);
    const __m128i upperLead = inRange(x, 0xE0, 0xEF);
    const unsigned leads = pairStarts(bitsOf(_mm_or_si128(inRange(x, 0x81, 0x9F), upperLead)), carry);
    const unsigned trails = ((leads << 1) | carry) & 0xFFFF;
    const unsigned goodSeconds = bitsOf(_mm_andnot_si128(_mm_cmpeq_epi8(y, bytesOf(0x7F)), inRange(y, 0x40, 0xFC)));
    if ((high & ~(leads | trails)) != 0 || (leads & ~goodSeconds) != 0)
        return false;
    const __m128i leadMask = maskOfBits(leads);
    const __m128i trailMask = secondMask(leadMask, carry);
    // First byte: 0xA1 + twice the lead's row pair (0x81.. and 0xE0.. follow each other), + 1 from second 0x9F on.
    const __m128i rowPair = _mm_sub_epi8(_mm_sub_epi8(x, bytesOf(0x81)), _mm_and_si128(upperLead, bytesOf(0x40)));
    const __m128i first = _mm_sub_epi8(_mm_add_epi8(_mm_add_epi8(rowPair, rowPair), bytesOf(0xA1)), atLeast(y, 0x9F));
    // Second byte: +0x61 below 0x80, +0x60 from 0x80, +2 from 0x9F.
    __m128i second = _mm_add_epi8(_mm_add_epi8(x, bytesOf(0x61)), _mm_cmplt_epi8(x, _mm_setzero_si128()));
    second = _mm_sub_epi8(second, _mm_and_si128(atLeast(x, 0x9F), bytesOf(0x5E)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), select(leadMask, first, select(trailMask, second, x)));
    carry = leads >> 15;
    return true;
}

// As sjisWindowToEuc, the other way; `previous` is the window before, whose last byte a carried pair began with.
inline bool eucWindowToSjis(const uint8_t* src, uint8_t* dst, unsigned& carry, __m128i& previous) noexcept
{
    const __m128i x = loadWindow(src);
    const unsigned high = bitsOf(x);
    if ((high | carry) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), x);
        previous = x;
        return true;
    }
    const __m128i y = loadWindow(src + 1);
    const unsigned leads = pairStarts(bitsOf(inRange(x, 0xA1, 0xFE)), carry) & bitsOf(inRange(y, 0xA1, 0xFE));
    const unsigned trails = ((leads << 1) | carry) & 0xFFFF;
    if ((high & ~(leads | trails)) != 0)
        return false;
    const __m128i leadMask = maskOfBits(leads);
    const __m128i trailMask = secondMask(leadMask, carry);
    // First byte: half the row + 0x81, from row 62 on + 0xC1.
    const __m128i row = _mm_sub_epi8(x, bytesOf(0xA1));
    const __m128i first
        = _mm_add_epi8(_mm_add_epi8(_mm_and_si128(_mm_srli_epi16(row, 1), bytesOf(0x7F)), bytesOf(0x81)),
            _mm_and_si128(atLeast(x, 0xDF), bytesOf(0x40)));
    // Second byte: after an odd row (an even first byte) cell + 0x9F, else cell + 0x40 with 0x7F left out.
    const __m128i before = _mm_or_si128(_mm_slli_si128(x, 1), _mm_srli_si128(previous, 15));
    const __m128i oddRow = _mm_cmpeq_epi8(_mm_and_si128(before, bytesOf(1)), _mm_setzero_si128());
    const __m128i second
        = select(oddRow, _mm_sub_epi8(x, bytesOf(2)), _mm_sub_epi8(_mm_sub_epi8(x, bytesOf(0x61)), atLeast(x, 0xE0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), select(leadMask, first, select(trailMask, second, x)));
    carry = leads >> 15;
    previous = x;
    return true;
}
#endif

inline bool asciiWord(const uint8_t* p) noexcept
{
    uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & 0x8080808080808080u) == 0;
}

// Converts from the start while every character keeps its length (ASCII and JIS X 0208 pairs); returns the bytes
// done, in and out alike. dst may equal src.
size_t sjisToEucSameLength(const uint8_t* src, size_t n, uint8_t* dst) noexcept
{
    size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
        unsigned carry = 0;
        while (i + WindowSize < n && sjisWindowToEuc(src + i, dst + i, carry))
            i += WindowSize;
        if (carry) { // the second byte of a pair whose first the last window converted
            const unsigned t = src[i];
            dst[i++] = static_cast<uint8_t>(t + 0x61 - (t >= 0x80) - 0x5E * (t >= 0x9F));
        }
#endif
        const size_t stop = std::min(n, i + 16);
        while (i < stop) {
            const uint8_t b = src[i];
            if (b < 0x80) {
                if (i + 8 <= n && asciiWord(src + i)) {
                    std::memmove(dst + i, src + i, 8);
                    i += 8;
                } else {
                    dst[i++] = b;
                }
            } else if (i + 1 < n && isSjisLead(b) && isSjisTrail(src[i + 1])) {
                sjisPairToEuc(b, src[i + 1], dst + i);
                i += 2;
            } else {
                return i;
            }
        }
    }
    return n;
}

// Converts src into dst, which holds at least 2 * n bytes; returns the bytes written.
size_t sjisToEucInto(const uint8_t* src, size_t n, uint8_t* dst) noexcept
{
    size_t o = 0;
    size_t i = 0;
    while (true) {
        const size_t done = sjisToEucSameLength(src + i, n - i, dst + o);
        i += done;
        o += done;
        if (i == n)
            return o;
        const uint8_t b = src[i];
        if (i + 1 < n && isExtraLead(b) && isLowTrail(src[i + 1])) {
            dst[o++] = Jis0212Prefix;
            dst[o++] = b;
            dst[o++] = static_cast<uint8_t>(src[i + 1] | 0x80);
            i += 2;
        } else {
            dst[o++] = SingleBytePrefix;
            dst[o++] = b;
            ++i;
        }
    }
}

// dst may equal src: the output never runs ahead of the input.
size_t eucToSjisInto(const uint8_t* src, size_t n, uint8_t* dst) noexcept
{
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
        unsigned carry = 0;
        __m128i previous = _mm_setzero_si128();
        while (i + WindowSize < n && eucWindowToSjis(src + i, dst + o, carry, previous)) {
            i += WindowSize;
            o += WindowSize;
        }
        if (carry) { // in place the first byte may be overwritten: it is taken from the last window
            uint8_t pair[2];
            eucPairToSjis(static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(previous, 15))), src[i], pair);
            dst[o++] = pair[1];
            ++i;
        }
#endif
        const size_t stop = std::min(n, i + 16);
        while (i < stop) {
            const uint8_t b = src[i];
            if (b < 0x80 && i + 8 <= n && asciiWord(src + i)) {
                std::memmove(dst + o, src + i, 8);
                o += 8;
                i += 8;
                continue;
            }
            if (b >= 0x80 && i + 1 < n) {
                const uint8_t next = src[i + 1];
                if (isEucByte(b) && isEucByte(next)) {
                    eucPairToSjis(b, next, dst + o);
                    o += 2;
                    i += 2;
                    continue;
                }
                if (b == SingleBytePrefix && next >= 0x80) {
                    dst[o++] = next;
                    i += 2;
                    continue;
                }
                if (b == Jis0212Prefix && i + 2 < n) {
                    const uint8_t third = src[i + 2];
                    // Rows 0xF0..0xFC hold no JIS X 0212 character, so they carry the extra Shift_JIS pairs.
                    if (isExtraLead(next) && third >= 0xC0 && third <= 0xFE) {
                        dst[o++] = next;
                        dst[o++] = static_cast<uint8_t>(third & 0x7F);
                        i += 3;
                        continue;
                    }
                    if (isEucByte(next) && isEucByte(third)) {
                        dst[o++] = GetaLead;
                        dst[o++] = GetaTrail;
                        i += 3;
                        continue;
                    }
                }
            }
            dst[o++] = b;
            ++i;
        }
    }
    return o;
}

enum class Mode { Single, Double, Kana };

// Length of the ISO-2022-JP mode sequence at p (0 when none) and the mode it sets.
size_t modeSequence(const uint8_t* p, size_t left, Mode& mode) noexcept
{
    if (left < 3 || p[0] != Esc)
        return 0;
    auto has = [&](const char* seq, size_t len) { return left >= len && std::memcmp(p, seq, len) == 0; };
    if (has("\x1B$@", 3) || has("\x1B$B", 3)) {
        mode = Mode::Double;
        return 3;
    }
    if (has("\x1B$(D", 4)) {
        mode = Mode::Double;
        return 4;
    }
    if (has("\x1B&@\x1B$B", 6)) {
        mode = Mode::Double;
        return 6;
    }
    if (has("\x1B(B", 3) || has("\x1B(H", 3) || has("\x1B(J", 3)) {
        mode = Mode::Single;
        return 3;
    }
    if (has("\x1B(I", 3)) {
        mode = Mode::Kana;
        return 3;
    }
    return 0;
}

// Writes at most 2 * n bytes (half-width katakana take two); returns the bytes written.
size_t isoToEucInto(const uint8_t* p, size_t n, uint8_t* dst) noexcept
{
    Mode mode = Mode::Single;
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
        if (p[i] == Esc) {
            if (const size_t skip = modeSequence(p + i, n - i, mode)) {
                i += skip;
                continue;
            }
        }
        const uint8_t b = p[i++];
        if (b == 0x0E || b == 0x0F)
            continue;
        if (mode == Mode::Double) {
            dst[o++] = static_cast<uint8_t>(b | 0x80);
        } else if (mode == Mode::Kana && b >= 0x21 && b <= 0x5F) {
            dst[o++] = SingleBytePrefix;
            dst[o++] = static_cast<uint8_t>(b | 0x80);
        } else {
            dst[o++] = b;
        }
    }
    return o;
}

std::string isoToEuc(std::string_view bytes)
{
    return guarded([&] {
        std::string out(bytes.size() * 2, '\0');
        out.resize(isoToEucInto(
            reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), reinterpret_cast<uint8_t*>(out.data())));
        return out;
    });
}

// The rule for the three Japanese codes, from the first telling byte.
TJapaneseCode byteRule(std::string_view bytes) noexcept
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    bool sevenBit = true;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = p[i];
        if (b == 0xFD || b == 0xFE)
            return TJapaneseCode::EucJp;
        if (b >= 0x80 && b <= 0xA0)
            return TJapaneseCode::ShiftJis;
        if (b >= 0x80) {
            sevenBit = false;
        } else if (sevenBit && b == Esc) {
            Mode mode;
            if (modeSequence(p + i, n - i, mode))
                return TJapaneseCode::Iso2022Jp;
        }
    }
    return TJapaneseCode::EucJp;
}

bool hasByteOrderMark(std::string_view bytes) noexcept
{
    return bytes.starts_with("\xEF\xBB\xBF");
}

std::string_view withoutByteOrderMark(std::string_view bytes) noexcept
{
    return hasByteOrderMark(bytes) ? bytes.substr(3) : bytes;
}

// Whether the bytes could be text in the code: every byte with the high bit set belongs to one of its characters.
bool fits(TJapaneseCode code, std::string_view bytes) noexcept
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    switch (code) {
    case TJapaneseCode::Utf8:
        return utf8Form(bytes) != TUtf8Form::Invalid;
    case TJapaneseCode::Iso2022Jp:
        return std::all_of(p, p + n, [](uint8_t b) { return b < 0x80; });
    case TJapaneseCode::ShiftJis:
        // 7-bit text with the escapes of ISO-2022-JP is plainly that code, whatever its label says.
        if (detect(bytes) == TJapaneseCode::Iso2022Jp)
            return false;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = p[i];
            if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
                continue;
            if (i + 1 < n && (isSjisLead(b) || isExtraLead(b)) && isSjisTrail(p[i + 1]))
                ++i;
            else
                return false;
        }
        return true;
    case TJapaneseCode::EucJp:
        if (detect(bytes) == TJapaneseCode::Iso2022Jp)
            return false;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = p[i];
            if (b < 0x80)
                continue;
            if ((isEucByte(b) && i + 1 < n && isEucByte(p[i + 1]))
                || (b == SingleBytePrefix && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF))
                i += 1;
            else if (b == Jis0212Prefix && i + 2 < n && isEucByte(p[i + 1]) && isEucByte(p[i + 2]))
                i += 2;
            else
                return false;
        }
        return true;
    }
    return false;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// `lower` is in lower case.
bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size()
        && std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) { return lowerAscii(a) == b; });
}

bool startsWithIgnoringCase(std::string_view text, size_t at, std::string_view lower)
{
    return at <= text.size() && equalsIgnoringCase(text.substr(at, lower.size()), lower);
}

size_t findIgnoringCase(std::string_view text, std::string_view lower, size_t from)
{
    for (size_t at = from; at + lower.size() <= text.size(); ++at)
        if (startsWithIgnoringCase(text, at, lower))
            return at;
    return std::string_view::npos;
}

size_t skipBlanks(std::string_view text, size_t at)
{
    while (at < text.size() && isBlank(text[at]))
        ++at;
    return at;
}

struct TAttribute
{
    std::string_view name;
    std::string_view value;
};

// Reads the next attribute inside a tag the way a browser's look for the charset does, so that a quoted value
// is never taken for markup. False at the tag's end (and `at` is past its ">") or the text's end.
bool nextAttribute(std::string_view s, size_t& at, TAttribute& attribute)
{
    const size_t n = s.size();
    while (at < n && (isBlank(s[at]) || s[at] == '/'))
        ++at;
    if (at >= n)
        return false;
    if (s[at] == '>') {
        ++at;
        return false;
    }
    const size_t nameStart = at++;
    while (at < n && s[at] != '=' && s[at] != '>' && s[at] != '/' && !isBlank(s[at]))
        ++at;
    attribute = { s.substr(nameStart, at - nameStart), {} };
    at = skipBlanks(s, at);
    if (at >= n || s[at] != '=')
        return true;
    at = skipBlanks(s, at + 1);
    if (at >= n || s[at] == '>')
        return true;
    if (s[at] == '"' || s[at] == '\'') {
        const size_t end = std::min(s.find(s[at], at + 1), n);
        attribute.value = s.substr(at + 1, end - at - 1);
        at = std::min(end + 1, n);
        return true;
    }
    const size_t valueStart = at;
    while (at < n && s[at] != '>' && !isBlank(s[at]))
        ++at;
    attribute.value = s.substr(valueStart, at - valueStart);
    return true;
}

// The encoding pseudo-attribute of an XML declaration at the very start.
std::optional<TJapaneseCode> xmlDeclaredCode(std::string_view s) noexcept
{
    if (!s.starts_with("<?xml"))
        return std::nullopt;
    s = s.substr(0, s.find("?>"));
    for (size_t at = s.find("encoding"); at != std::string_view::npos; at = s.find("encoding", at + 1)) {
        size_t p = skipBlanks(s, at + 8);
        if (p >= s.size() || s[p] != '=')
            continue;
        p = skipBlanks(s, p + 1);
        if (p >= s.size() || (s[p] != '"' && s[p] != '\''))
            return std::nullopt;
        const size_t end = s.find(s[p], p + 1);
        return end == std::string_view::npos ? std::nullopt : codeOfCharsetName(s.substr(p + 1, end - p - 1));
    }
    return std::nullopt;
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The code the document names for itself in its first bytes: its XML declaration, else the first meta tag
// whose charset we know. Comments and the attributes of other tags are skipped whole, as browsers do.
std::optional<TJapaneseCode> declaredCode(std::string_view bytes) noexcept
{
    const std::string_view s = bytes.substr(0, DeclarationPrefix);
    if (const auto code = xmlDeclaredCode(s))
        return code;
    const size_t n = s.size();
    size_t at = 0;
    TAttribute attribute;
    while (at < n) {
        // NOLINTNEXTLINE(bugprone-branch-clone): text between tags and a lone '<' are both stepped over
        if (s[at] != '<') {
            ++at;
        } else if (s.substr(at).starts_with("<!--")) {
            const size_t end = s.find("-->", at + 2);
            if (end == std::string_view::npos)
                break;
            at = end + 3;
        } else if (startsWithIgnoringCase(s, at, "<meta") && at + 5 < n && (isBlank(s[at + 5]) || s[at + 5] == '/')) {
            at += 5;
            std::optional<std::string_view> charset;
            std::optional<std::string_view> content;
            std::optional<bool> contentType;
            while (nextAttribute(s, at, attribute)) {
                if (equalsIgnoringCase(attribute.name, "charset") && !charset)
                    charset = attribute.value;
                else if (equalsIgnoringCase(attribute.name, "content") && !content)
                    content = attribute.value;
                else if (equalsIgnoringCase(attribute.name, "http-equiv") && !contentType)
                    contentType = equalsIgnoringCase(attribute.value, "content-type");
            }
            const std::string_view label
                = charset ? *charset : (contentType.value_or(false) && content ? charsetOfContentType(*content) : "");
            if (const auto code = codeOfCharsetName(label))
                return code;
        } else if (at + 1 < n
            && (isAsciiLetter(s[at + 1]) || (s[at + 1] == '/' && at + 2 < n && isAsciiLetter(s[at + 2])))) {
            while (at < n && !isBlank(s[at]) && s[at] != '>')
                ++at;
            while (nextAttribute(s, at, attribute)) { }
        } else if (at + 1 < n && (s[at + 1] == '!' || s[at + 1] == '/' || s[at + 1] == '?')) {
            const size_t end = s.find('>', at + 2);
            if (end == std::string_view::npos)
                break;
            at = end + 1;
        } else {
            ++at;
        }
    }
    return std::nullopt;
}

struct TCharsetName
{
    std::string_view name;
    TJapaneseCode code;
};

// The names browsers accept for the four codes.
constexpr TCharsetName CharsetNames[] = {
    { "utf-8", TJapaneseCode::Utf8 },
    { "utf8", TJapaneseCode::Utf8 },
    { "unicode-1-1-utf-8", TJapaneseCode::Utf8 },
    { "unicode11utf8", TJapaneseCode::Utf8 },
    { "unicode20utf8", TJapaneseCode::Utf8 },
    { "x-unicode20utf8", TJapaneseCode::Utf8 },
    { "shift_jis", TJapaneseCode::ShiftJis },
    { "shift-jis", TJapaneseCode::ShiftJis },
    { "sjis", TJapaneseCode::ShiftJis },
    { "windows-31j", TJapaneseCode::ShiftJis },
    { "cp932", TJapaneseCode::ShiftJis },
    { "ms932", TJapaneseCode::ShiftJis },
    { "ms_kanji", TJapaneseCode::ShiftJis },
    { "x-sjis", TJapaneseCode::ShiftJis },
    { "csshiftjis", TJapaneseCode::ShiftJis },
    { "euc-jp", TJapaneseCode::EucJp },
    { "x-euc-jp", TJapaneseCode::EucJp },
    { "cseucpkdfmtjapanese", TJapaneseCode::EucJp },
    { "iso-2022-jp", TJapaneseCode::Iso2022Jp },
    { "csiso2022jp", TJapaneseCode::Iso2022Jp },
};

// Writes the Shift_JIS of one character, a stand-in for it or "?"; `out` has room for MaxStandInBytes.
char* putSjis(char* out, char32_t c) noexcept
{
    auto put = [&out](uint16_t code) {
        if (code > 0xFF)
            *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code);
    };
    if (const uint16_t code = cp932Code(c); code != 0 || c == 0) {
        put(code);
    } else if (const auto standIn = nearestCharacters(c)) {
        for (const char32_t s : *standIn)
            put(cp932Code(s));
    } else {
        *out++ = '?';
    }
    return out;
}

constexpr size_t MaxStandInBytes = 2 * MaxStandInLength;

} // namespace

TJapaneseCode detect(std::string_view bytes) noexcept
{
    if (hasByteOrderMark(bytes) || utf8Form(bytes) == TUtf8Form::MultiByte)
        return TJapaneseCode::Utf8;
    return byteRule(bytes);
}

std::optional<TJapaneseCode> codeOfCharsetName(std::string_view name) noexcept
{
    auto trimmed = [](char c) { return isBlank(c) || c == '"' || c == '\''; };
    while (!name.empty() && trimmed(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && trimmed(name.back()))
        name.remove_suffix(1);
    for (const TCharsetName& known : CharsetNames)
        if (equalsIgnoringCase(name, known.name))
            return known.code;
    return std::nullopt;
}

std::string_view charsetOfContentType(std::string_view contentType) noexcept
{
    const std::string_view& v = contentType;
    for (size_t at = findIgnoringCase(v, "charset", 0); at != std::string_view::npos;
         at = findIgnoringCase(v, "charset", at + 7)) {
        size_t p = skipBlanks(v, at + 7);
        if (p >= v.size() || v[p] != '=')
            continue;
        p = skipBlanks(v, p + 1);
        if (p < v.size() && (v[p] == '"' || v[p] == '\'')) {
            const size_t end = v.find(v[p], p + 1);
            return end == std::string_view::npos ? std::string_view() : v.substr(p + 1, end - p - 1);
        }
        size_t end = p;
        while (end < v.size() && !isBlank(v[end]) && v[end] != ';')
            ++end;
        return v.substr(p, end - p);
    }
    return {};
}

TJapaneseCode detectDocument(std::string_view bytes, std::string_view contentType) noexcept
{
    if (hasByteOrderMark(bytes))
        return TJapaneseCode::Utf8;
    if (const auto code = codeOfCharsetName(charsetOfContentType(contentType)); code && fits(*code, bytes))
        return *code;
    if (const auto code = declaredCode(bytes); code && fits(*code, bytes))
        return *code;
    return detect(bytes);
}

TInternalText readInternal(std::string_view bytes, std::string_view contentType)
{
    switch (detectDocument(bytes, contentType)) {
    case TJapaneseCode::Utf8:
        return { guarded([&] { return std::string(withoutByteOrderMark(bytes)); }), true };
    case TJapaneseCode::ShiftJis:
        return { sjisToEuc(bytes), false };
    case TJapaneseCode::Iso2022Jp:
        return { isoToEuc(bytes), false };
    case TJapaneseCode::EucJp:
        break;
    }
    return { guarded([&] { return std::string(bytes); }), false };
}

void toInternal(TMemory& buffer)
{
    switch (detect(buffer)) {
    case TJapaneseCode::EucJp:
        return;
    case TJapaneseCode::ShiftJis:
        sjisToEuc(buffer);
        return;
    case TJapaneseCode::Iso2022Jp: {
        TMemory converted(buffer.size() * 2);
        converted.resize(isoToEucInto(buffer.data(), buffer.size(), converted.data()));
        buffer = std::move(converted);
        return;
    }
    case TJapaneseCode::Utf8: {
        const std::string euc = toInternal(buffer.view());
        buffer.assign(euc.data(), euc.size());
        return;
    }
    }
}

std::string toInternal(std::string_view bytes)
{
    switch (detect(bytes)) {
    case TJapaneseCode::ShiftJis:
        return sjisToEuc(bytes);
    case TJapaneseCode::Iso2022Jp:
        return isoToEuc(bytes);
    case TJapaneseCode::Utf8:
        return sjisToEuc(utf8ToSjis(withoutByteOrderMark(bytes)));
    case TJapaneseCode::EucJp:
        break;
    }
    return guarded([&] { return std::string(bytes); });
}

void sjisToEuc(TMemory& buffer)
{
    uint8_t* p = buffer.data();
    const size_t n = buffer.size();
    // ASCII and JIS X 0208 pairs keep their length: convert in place up to the first byte that needs more.
    const size_t done = sjisToEucSameLength(p, n, p);
    if (done == n)
        return;
    TMemory grown(done + 2 * (n - done));
    std::memcpy(grown.data(), p, done);
    grown.resize(done + sjisToEucInto(p + done, n - done, grown.data() + done));
    buffer = std::move(grown);
}

std::string sjisToEuc(std::string_view bytes)
{
    return guarded([&] {
        // Sized for the common text whose characters all keep their length; grown once when one does not.
        const size_t n = bytes.size();
        std::string out = outputOfSize(n);
        const size_t done = sjisToEucSameLength(
            reinterpret_cast<const uint8_t*>(bytes.data()), n, reinterpret_cast<uint8_t*>(out.data()));
        if (done < n) {
            out.resize(done + 2 * (n - done));
            out.resize(done
                + sjisToEucInto(reinterpret_cast<const uint8_t*>(bytes.data()) + done, n - done,
                    reinterpret_cast<uint8_t*>(out.data()) + done));
        }
        return out;
    });
}

void eucToSjis(TMemory& buffer) noexcept
{
    const size_t n = eucToSjisInto(buffer.data(), buffer.size(), buffer.data());
    buffer.resize(n); // shrinking never allocates
}

std::string eucToSjis(std::string_view bytes)
{
    return guarded([&] {
        std::string out = outputOfSize(bytes.size());
        out.resize(eucToSjisInto(
            reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), reinterpret_cast<uint8_t*>(out.data())));
        return out;
    });
}

std::string utf8ToSjis(std::string_view utf8)
{
    return guarded([&] {
        const uint16_t* codes = cp932Codes();
        const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
        const size_t n = utf8.size();
        std::string out;
        out.reserve(n); // Shift_JIS is shorter unless many stand-ins are longer
        adviseLargePages(out.data(), n);
        // Converted through a small buffer, so that the result is written once and never zero-filled first.
        constexpr size_t ChunkSize = 4096;
        char chunk[ChunkSize + std::max<size_t>(8, MaxStandInBytes)];
        size_t o = 0;
        size_t i = 0;
        while (i < n) {
            if (o >= ChunkSize) {
                out.append(chunk, o);
                o = 0;
            }
            if (p[i] < 0x80) {
                if (i + 8 <= n && asciiWord(p + i)) {
                    std::memcpy(chunk + o, p + i, 8);
                    o += 8;
                    i += 8;
                } else {
                    chunk[o++] = static_cast<char>(p[i++]);
                }
                continue;
            }
            // Japanese text is mostly three-byte characters: read a valid one here, leave the rest to readUtf8.
            if ((p[i] & 0xF0) == 0xE0 && i + 3 <= n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
                const char32_t c = (p[i] & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
                const uint16_t code = codes[c];
                if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF) && code > 0xFF) {
                    chunk[o++] = static_cast<char>(code >> 8);
                    chunk[o++] = static_cast<char>(code);
                    i += 3;
                    continue;
                }
            }
            const TUtf8Char c = readUtf8(utf8, i);
            i += c.length;
            if (const uint16_t code = c.codePoint < 0x10000 ? codes[c.codePoint] : 0; code > 0xFF) {
                chunk[o++] = static_cast<char>(code >> 8);
                chunk[o++] = static_cast<char>(code);
            } else if (code != 0) {
                chunk[o++] = static_cast<char>(code);
            } else {
                // An invalid part reads as U+FFFD, which has no stand-in: "?".
                o = static_cast<size_t>(putSjis(chunk + o, c.codePoint) - chunk);
            }
        }
        out.append(chunk, o);
        return out;
    });
}

std::string codePointToSjis(char32_t codePoint)
{
    return guarded([&] {
        char buffer[MaxStandInBytes];
        return std::string(buffer, putSjis(buffer, codePoint));
    });
}

std::string sjisToUtf8(std::string_view sjis)
{
    return guarded([&] {
        constexpr char32_t Replacement = 0xFFFD;
        std::string out;
        out.reserve(sjis.size() + sjis.size() / 2);
        const auto* p = reinterpret_cast<const uint8_t*>(sjis.data());
        const size_t n = sjis.size();
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = p[i];
            if (b < 0x80) {
                out += static_cast<char>(b);
            } else if (i + 1 < n && (isSjisLead(b) || isExtraLead(b)) && isSjisTrail(p[i + 1])) {
                const char32_t c = cp932Character(static_cast<uint16_t>(b << 8 | p[i + 1]));
                appendUtf8(out, c != 0 ? c : Replacement);
                ++i;
            } else {
                const char32_t c = cp932Character(b);
                appendUtf8(out, c != 0 ? c : Replacement);
            }
        }
        return out;
    });
}

std::string internalToSjis(std::string_view piece, bool utf8)
{
    return utf8 ? utf8ToSjis(piece) : eucToSjis(piece);
}

std::string internalUrlToSjis(std::string_view piece, bool utf8)
{
    if (!utf8)
        return eucToSjis(piece);
    return guarded([&] {
        static constexpr char Hex[] = "0123456789ABCDEF";
        std::string out;
        out.reserve(piece.size());
        for (const char c : piece) {
            const auto b = static_cast<uint8_t>(c);
            if (b < 0x80) {
                out += c;
            } else {
                const char escaped[] = { '%', Hex[b >> 4], Hex[b & 0x0F] };
                out.append(escaped, 3);
            }
        }
        return out;
    });
}

std::string sjisToInternal(std::string_view sjis, bool utf8)
{
    return utf8 ? sjisToUtf8(sjis) : sjisToEuc(sjis);
}

std::string codePointToInternal(char32_t codePoint, bool utf8)
{
    if (!utf8)
        return sjisToEuc(codePointToSjis(codePoint));
    return guarded([&] {
        std::string out;
        appendUtf8(out, codePoint);
        return out;
    });
}
