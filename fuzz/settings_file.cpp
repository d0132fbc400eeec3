// Any byte string is either refused as a settings file or decodes to settings that survive a round trip.
#include "base/exception.h"
#include "store/store_file.h"

#include <cstdlib>
#include <cstring>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TConfig config;
    try {
        decodeSettings(TBytes(data, size), config);
    } catch (const TException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const TMemory once = encodeSettings(config);
    TConfig again;
    decodeSettings(asBytes(once), again);
    const TMemory twice = encodeSettings(again);
    if (once.size() != twice.size() || std::memcmp(once.data(), twice.data(), once.size()) != 0)
        std::abort();
    return 0;
}
