// The code conversion on arbitrary bytes: Shift_JIS to the internal form and back must give the input exactly,
// and the other conversions must stay within their length bounds.
#include "text/japanese_code.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    TMemory buffer(input);
    sjisToEuc(buffer);
    if (buffer.size() > 2 * size)
        std::abort();
    eucToSjis(buffer);
    if (buffer.view() != input)
        std::abort();

    TMemory internal(input);
    toInternal(internal);
    if (internal.size() > 2 * size)
        std::abort();
    TMemory back(input);
    eucToSjis(back);
    if (back.size() > size)
        std::abort();
    return 0;
}
