#include "exchange/japanese_code.h"

#include "store/exception.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <new>
#include <stdexcept>

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

template <typename F> auto guarded(F&& f)
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw TException("TMemory");
    } catch (const std::length_error&) {
        throw TException("TMemory");
    }
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

// Converts src into dst, which holds at least 2 * n bytes; returns the bytes written.
size_t sjisToEucInto(const uint8_t* src, size_t n, uint8_t* dst) noexcept
{
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
        const uint8_t b = src[i];
        if (b < 0x80) {
            dst[o++] = b;
            ++i;
        } else if (i + 1 < n && isSjisLead(b) && isSjisTrail(src[i + 1])) {
            sjisPairToEuc(b, src[i + 1], dst + o);
            o += 2;
            i += 2;
        } else if (i + 1 < n && isExtraLead(b) && isLowTrail(src[i + 1])) {
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
    return o;
}

// dst may equal src: the output never runs ahead of the input.
size_t eucToSjisInto(const uint8_t* src, size_t n, uint8_t* dst) noexcept
{
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
        const uint8_t b = src[i];
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

} // namespace

namespace {

TJapaneseCode byteRule(std::string_view bytes) noexcept;

bool isValidUtf8(std::string_view bytes, bool& multiByte) noexcept
{
    multiByte = false;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0)
                lo = 0xA0;
            if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0)
                lo = 0x90;
            if (b == 0xF4)
                hi = 0x8F;
        } else
            return false;
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        multiByte = true;
        i += len;
    }
    return true;
}

bool hasBom(std::string_view bytes) noexcept
{
    return bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
}

} // namespace

TJapaneseCode detect(std::string_view bytes) noexcept
{
    bool multiByte;
    if (hasBom(bytes) || (isValidUtf8(bytes, multiByte) && multiByte))
        return TJapaneseCode::Utf8;
    return byteRule(bytes);
}

namespace {

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

} // namespace

std::optional<TJapaneseCode> codeOfCharsetName(std::string_view name) noexcept
{
    while (!name.empty() && (name.front() == ' ' || name.front() == '"' || name.front() == '\''))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"' || name.back() == '\''))
        name.remove_suffix(1);
    std::string lower(name.size() < 32 ? name : name.substr(0, 32));
    for (auto& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    if (lower == "utf-8" || lower == "utf8")
        return TJapaneseCode::Utf8;
    if (lower == "shift_jis" || lower == "sjis" || lower == "windows-31j" || lower == "cp932" || lower == "x-sjis")
        return TJapaneseCode::ShiftJis;
    if (lower == "euc-jp")
        return TJapaneseCode::EucJp;
    if (lower == "iso-2022-jp")
        return TJapaneseCode::Iso2022Jp;
    return std::nullopt;
}

std::string_view charsetOfContentType(std::string_view contentType) noexcept
{
    const size_t at = contentType.find("charset=");
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = contentType.substr(at + 8);
    return rest.substr(0, rest.find(';'));
}

TJapaneseCode detectDocument(std::string_view bytes, std::string_view contentType) noexcept
{
    if (hasBom(bytes))
        return TJapaneseCode::Utf8;
    if (const auto labelled = codeOfCharsetName(charsetOfContentType(contentType))) {
        bool multiByte;
        if (*labelled != TJapaneseCode::Utf8 || isValidUtf8(bytes, multiByte))
            return *labelled;
        return byteRule(bytes);
    }
    return detect(bytes);
}

TInternalText readInternal(std::string_view bytes, std::string_view contentType)
{
    return guarded([&] {
        switch (detectDocument(bytes, contentType)) {
        case TJapaneseCode::Utf8:
            return TInternalText { std::string(hasBom(bytes) ? bytes.substr(3) : bytes), true };
        case TJapaneseCode::ShiftJis:
            return TInternalText { sjisToEuc(bytes), false };
        case TJapaneseCode::Iso2022Jp:
            return TInternalText { isoToEuc(bytes), false };
        case TJapaneseCode::EucJp:
            break;
        }
        return TInternalText { std::string(bytes), false };
    });
}

std::string utf8ToSjis(std::string_view utf8)
{
    return guarded([&] {
        std::string out;
        iconv_t cd = iconv_open("CP932", "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return std::string(utf8.size(), '?');
        char* in = const_cast<char*>(utf8.data());
        size_t inLeft = utf8.size();
        while (inLeft > 0) {
            char buffer[256];
            char* to = buffer;
            size_t toLeft = sizeof buffer;
            const size_t r = iconv(cd, &in, &inLeft, &to, &toLeft);
            out.append(buffer, to);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                out += '?';
                ++in;
                --inLeft;
                while (inLeft > 0 && (static_cast<uint8_t>(*in) & 0xC0) == 0x80) {
                    ++in;
                    --inLeft;
                }
            }
        }
        iconv_close(cd);
        return out;
    });
}

std::string codePointToSjis(char32_t codePoint)
{
    return utf8ToSjis(codePointToInternal(codePoint, true));
}

std::string sjisToUtf8(std::string_view sjis)
{
    return guarded([&] {
        std::string out;
        iconv_t cd = iconv_open("UTF-8", "CP932");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return std::string(sjis);
        char* in = const_cast<char*>(sjis.data());
        size_t inLeft = sjis.size();
        while (inLeft > 0) {
            char buffer[256];
            char* to = buffer;
            size_t toLeft = sizeof buffer;
            const size_t r = iconv(cd, &in, &inLeft, &to, &toLeft);
            out.append(buffer, to);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                out += "\xEF\xBF\xBD";
                ++in;
                --inLeft;
            }
        }
        iconv_close(cd);
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
        static const char hex[] = "0123456789ABCDEF";
        std::string out;
        for (char c : piece) {
            const auto b = static_cast<uint8_t>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += '%';
                out += hex[b >> 4];
                out += hex[b & 15];
            }
        }
        return out;
    });
}

std::string sjisToInternal(std::string_view sjis, bool utf8)
{
    return utf8 ? sjisToUtf8(sjis) : sjisToEuc(sjis);
}

std::string codePointToInternal(char32_t c, bool utf8)
{
    if (!utf8)
        return sjisToEuc(codePointToSjis(c));
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    return guarded([&] {
        std::string out;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        return out;
    });
}

void toInternal(TMemory& buffer)
{
    switch (detect(buffer)) {
    case TJapaneseCode::Utf8: {
        const std::string euc = sjisToEuc(utf8ToSjis(hasBom(buffer.view()) ? buffer.view().substr(3) : buffer.view()));
        buffer.assign(euc.data(), euc.size());
        return;
    }
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
    }
}

std::string toInternal(std::string_view bytes)
{
    switch (detect(bytes)) {
    case TJapaneseCode::Utf8:
        return sjisToEuc(utf8ToSjis(hasBom(bytes) ? bytes.substr(3) : bytes));
    case TJapaneseCode::ShiftJis:
        return sjisToEuc(bytes);
    case TJapaneseCode::Iso2022Jp:
        return isoToEuc(bytes);
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
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
        } else if (i + 1 < n && isSjisLead(b) && isSjisTrail(p[i + 1])) {
            sjisPairToEuc(b, p[i + 1], p + i);
            i += 2;
        } else {
            break;
        }
    }
    if (i == n)
        return;
    TMemory grown(i + 2 * (n - i));
    std::memcpy(grown.data(), p, i);
    grown.resize(i + sjisToEucInto(p + i, n - i, grown.data() + i));
    buffer = std::move(grown);
}

std::string sjisToEuc(std::string_view bytes)
{
    return guarded([&] {
        std::string out(bytes.size() * 2, '\0');
        out.resize(sjisToEucInto(
            reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), reinterpret_cast<uint8_t*>(out.data())));
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
        std::string out(bytes);
        auto* p = reinterpret_cast<uint8_t*>(out.data());
        out.resize(eucToSjisInto(p, out.size(), p));
        return out;
    });
}
