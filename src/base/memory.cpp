#include "base/memory.h"

#include "base/exception.h"

#include <new>
#include <stdexcept>
#include <sys/mman.h>

namespace {

template <typename F>
void guarded(F&& f)
{
    try {
        f();
    } catch (const std::bad_alloc&) {
        throw TException("TMemory");
    } catch (const std::length_error&) {
        throw TException("TMemory");
    }
}

} // namespace

TMemory::TMemory(size_t size)
{
    resize(size);
}

TMemory::TMemory(const void* data, size_t size)
{
    assign(data, size);
}

TMemory::TMemory(std::string_view bytes)
{
    assign(bytes.data(), bytes.size());
}

void TMemory::resize(size_t size)
{
    guarded([&] { m_bytes.resize(size); });
}

void TMemory::reserve(size_t size)
{
    guarded([&] { m_bytes.reserve(size); });
}

void TMemory::assign(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    guarded([&] { m_bytes.assign(p, p + size); });
}

void TMemory::append(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    guarded([&] { m_bytes.insert(m_bytes.end(), p, p + size); });
}

void TMemory::clear() noexcept
{
    m_bytes.clear();
}

void adviseLargePages(void* data, size_t size) noexcept
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t LargePage = uintptr_t(2) << 20;
    constexpr size_t Worthwhile = size_t(4) << 20;
    if (size < Worthwhile)
        return;
    const auto start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (start + LargePage - 1) & ~(LargePage - 1);
    const uintptr_t end = (start + size) & ~(LargePage - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE); // a refusal only costs speed
#else
    (void)data;
    (void)size;
#endif
}
