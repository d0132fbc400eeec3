// Reads arbitrary bytes as a character file through an in-memory file.
#include "base/exception.h"
#include "character/character_data.h"

#include <algorithm>
#include <cstring>

namespace {

class TMemoryFile : public IFile
{
public:
    TMemoryFile(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    void open(const std::string&, const char*) override { }
    void close() override { }
    bool isOpen() const override { return true; }
    size_t read(void* buffer, size_t size) override
    {
        const size_t n = std::min(size, m_size - std::min(m_size, m_position));
        if (n)
            std::memcpy(buffer, m_data + m_position, n);
        m_position += n;
        return n;
    }
    size_t write(const void*, size_t) override { return 0; }
    void seek(int64_t offset, Origin origin) override
    {
        const int64_t base = origin == Origin::Begin ? 0
            : origin == Origin::Current              ? int64_t(m_position)
                                                     : int64_t(m_size);
        if (base + offset < 0)
            throw TException("TMemoryFile");
        m_position = size_t(base + offset);
    }
    int64_t position() override { return int64_t(m_position); }
    int64_t size() override { return int64_t(m_size); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryFile file(data, size);
    try {
        ReadCharacter(file);
    } catch (const TException&) {
    }
    return 0;
}
