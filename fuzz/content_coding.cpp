// A compressed body and a Retry-After value on arbitrary bytes: the first byte chooses the coding, the rest is
// the body. Decoding either gives at most the bound or fails with one of its two failures.
#include "check/content_coding.h"
#include "check/check_result.h"
#include "check/powersock.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static constexpr std::string_view Codings[] = { "gzip", "deflate", "x-gzip", "identity" };
    static constexpr size_t Bound = size_t { 1 } << 20;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);

    const int64_t wait = retryAfterSeconds(body, 1796637600);
    if (wait < -1 || wait > MaxRetryAfter)
        std::abort();
    try {
        if (decodeContent(Codings[data[0] % 4], body, Bound).size() > Bound && data[0] % 4 != 3)
            std::abort();
    } catch (const TDecodeError&) {
    } catch (const TLimitError&) {
    }
    return 0;
}
