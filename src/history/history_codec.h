#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// zstd for the history's texts. A version may be compressed against an earlier text of the same page (a zstd
// prefix), which then has to be given again to read it.
class THistoryCodec
{
public:
    // The largest text the history keeps; a stored size above it is taken for damage.
    static constexpr size_t MaxTextBytes = 64u << 20;

    THistoryCodec();
    ~THistoryCodec();
    THistoryCodec(const THistoryCodec&) = delete;
    THistoryCodec& operator=(const THistoryCodec&) = delete;

    std::string compress(std::string_view text, std::string_view prefix = {});
    // Raises TException unless the frame holds exactly `size` bytes (at most MaxTextBytes).
    std::string decompress(std::string_view frame, size_t size, std::string_view prefix = {});

private:
    struct ZSTD_CCtx_s* m_compressor;
    struct ZSTD_DCtx_s* m_decompressor;
};
