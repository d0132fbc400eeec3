#include "check/content_coding.h"

#include "check/powersock.h"

#include <algorithm>
#include <limits>
#include <zlib.h>

namespace {

enum class TWrapper { None, Gzip, Zlib, Raw };

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Servers that say "deflate" send either the zlib format or the bare stream; the two-byte zlib header tells them
// apart (deflate method, a window that zlib allows, and a check sum of the pair divisible by 31).
TWrapper deflateWrapper(std::string_view body)
{
    if (body.size() >= 2) {
        const auto cmf = static_cast<unsigned char>(body[0]);
        const auto flg = static_cast<unsigned char>(body[1]);
        if ((cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0)
            return TWrapper::Zlib;
    }
    return TWrapper::Raw;
}

TWrapper wrapperOf(std::string_view coding, std::string_view body)
{
    coding = trimmed(coding);
    if (equalsNoCase(coding, "gzip") || equalsNoCase(coding, "x-gzip"))
        return TWrapper::Gzip;
    if (equalsNoCase(coding, "deflate"))
        return deflateWrapper(body);
    return TWrapper::None;
}

int windowBits(TWrapper wrapper)
{
    switch (wrapper) {
    case TWrapper::Gzip:
        return 15 + 16;
    case TWrapper::Raw:
        return -15;
    default:
        return 15;
    }
}

class TInflater
{
public:
    explicit TInflater(TWrapper wrapper)
    {
        if (inflateInit2(&m_stream, windowBits(wrapper)) != Z_OK)
            throw TDecodeError("Cannot start decoding");
    }
    ~TInflater() { inflateEnd(&m_stream); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream& stream() noexcept { return m_stream; }

private:
    z_stream m_stream {};
};

} // namespace

std::string decodeContent(std::string_view coding, std::string_view body, size_t maxLength)
{
    const TWrapper wrapper = wrapperOf(coding, body);
    if (wrapper == TWrapper::None)
        return std::string(body);
    if (body.size() > std::numeric_limits<uInt>::max())
        throw TDecodeError("Compressed body too large");

    TInflater inflater(wrapper);
    z_stream& stream = inflater.stream();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    std::string out;
    char chunk[64 * 1024];
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        const int result = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = sizeof chunk - stream.avail_out;
        if (produced > maxLength - std::min(maxLength, out.size()))
            throw TLimitError("Response body too large");
        out.append(chunk, produced);
        if (result == Z_STREAM_END) {
            // A gzip body may hold several members, one after another.
            const bool nextMember = wrapper == TWrapper::Gzip && stream.avail_in >= 2
                && static_cast<unsigned char>(stream.next_in[0]) == 0x1f
                && static_cast<unsigned char>(stream.next_in[1]) == 0x8b;
            if (!nextMember)
                return out;
            if (inflateReset(&stream) != Z_OK)
                throw TDecodeError("Cannot decode the body");
            continue;
        }
        if (result != Z_OK)
            throw TDecodeError(stream.avail_in == 0 ? "Compressed body cut short" : "Cannot decode the body");
    }
}
