// Any byte string is either refused as an item table or reads to items that survive a round trip.
#include "base/exception.h"
#include "store/store_file.h"

#include <cstdlib>
#include <cstring>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TCheckItems items;
    try {
        readItemTable(TBytes(data, size), items);
    } catch (const TException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const TMemory once = encodeItemTable(items);
    TCheckItems again;
    readItemTable(asBytes(once), again);
    const TMemory twice = encodeItemTable(again);
    if (once.size() != twice.size() || std::memcmp(once.data(), twice.data(), once.size()) != 0)
        std::abort();
    return 0;
}
