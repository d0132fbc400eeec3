#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A byte buffer with its length: file images, page bodies, stored content.
// A failed allocation raises TException("TMemory").
class TMemory
{
public:
    TMemory() = default;
    explicit TMemory(size_t size);
    TMemory(const void* data, size_t size);
    explicit TMemory(std::string_view bytes);

    uint8_t* data() noexcept { return m_bytes.data(); }
    const uint8_t* data() const noexcept { return m_bytes.data(); }
    size_t size() const noexcept { return m_bytes.size(); }
    bool empty() const noexcept { return m_bytes.empty(); }

    void resize(size_t size);
    void reserve(size_t size);
    void assign(const void* data, size_t size);
    void append(const void* data, size_t size);
    void clear() noexcept;

    std::string_view view() const noexcept { return { reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size() }; }
    std::string toString() const { return std::string(view()); }

    bool operator==(const TMemory& other) const = default;

private:
    std::vector<uint8_t> m_bytes;
};

// Asks the system to back the whole large pages inside a block of many megabytes with large pages, so that its
// first use faults in a few times rather than once per small page. Nothing for smaller blocks; never fails.
void adviseLargePages(void* data, size_t size) noexcept;

// Texts are Shift_JIS byte strings of any length; an array of them fills the text slots of records.
using TAnsiStringArray = std::vector<std::string>;
