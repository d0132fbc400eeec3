#include "history/history_codec.h"

#include "base/exception.h"

#include <zstd.h>

namespace {

constexpr int Level = 3;
// Windows up to 2^27 cover a prefix and a text of MaxTextBytes each; zstd's readers accept that by default.
constexpr int MinWindowLog = 10;
constexpr int MaxWindowLog = 27;

void check(size_t result, const char* what)
{
    if (ZSTD_isError(result))
        throw TException(std::string(what) + ": " + ZSTD_getErrorName(result));
}

int windowLogFor(size_t bytes)
{
    int log = MinWindowLog;
    while (log < MaxWindowLog && (size_t { 1 } << log) < bytes)
        ++log;
    return log;
}

} // namespace

THistoryCodec::THistoryCodec()
    : m_compressor(ZSTD_createCCtx())
    , m_decompressor(ZSTD_createDCtx())
{
    if (!m_compressor || !m_decompressor) {
        ZSTD_freeCCtx(m_compressor);
        ZSTD_freeDCtx(m_decompressor);
        throw TException("Out of memory for the history's compression");
    }
}

THistoryCodec::~THistoryCodec()
{
    ZSTD_freeCCtx(m_compressor);
    ZSTD_freeDCtx(m_decompressor);
}

std::string THistoryCodec::compress(std::string_view text, std::string_view prefix)
{
    if (text.size() > MaxTextBytes || prefix.size() > MaxTextBytes)
        throw TException("The page text is too large for the history (" + std::to_string(text.size()) + " bytes)");
    ZSTD_CCtx_reset(m_compressor, ZSTD_reset_session_and_parameters);
    check(ZSTD_CCtx_setParameter(m_compressor, ZSTD_c_compressionLevel, Level), "History compression");
    check(ZSTD_CCtx_setParameter(m_compressor, ZSTD_c_checksumFlag, 1), "History compression");
    if (!prefix.empty()) {
        // The whole earlier text must stay within reach of the new one, or a long page finds no matches in it.
        check(ZSTD_CCtx_setParameter(m_compressor, ZSTD_c_windowLog, windowLogFor(prefix.size() + text.size())),
            "History compression");
        check(ZSTD_CCtx_setParameter(m_compressor, ZSTD_c_enableLongDistanceMatching, 1), "History compression");
        check(ZSTD_CCtx_refPrefix(m_compressor, prefix.data(), prefix.size()), "History compression");
    }
    std::string frame(ZSTD_compressBound(text.size()), '\0');
    const size_t size = ZSTD_compress2(m_compressor, frame.data(), frame.size(), text.data(), text.size());
    check(size, "History compression");
    frame.resize(size);
    return frame;
}

std::string THistoryCodec::decompress(std::string_view frame, size_t size, std::string_view prefix)
{
    const unsigned long long declared = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (size > MaxTextBytes || declared != size)
        throw TException("A text of the history is damaged (its size does not match)");
    ZSTD_DCtx_reset(m_decompressor, ZSTD_reset_session_and_parameters);
    check(ZSTD_DCtx_setParameter(m_decompressor, ZSTD_d_windowLogMax, MaxWindowLog), "History text");
    if (!prefix.empty())
        check(ZSTD_DCtx_refPrefix(m_decompressor, prefix.data(), prefix.size()), "History text");
    std::string text(size, '\0');
    const size_t got = ZSTD_decompressDCtx(m_decompressor, text.data(), text.size(), frame.data(), frame.size());
    if (ZSTD_isError(got) || got != size)
        throw TException("A text of the history is damaged (it cannot be decompressed)");
    return text;
}
