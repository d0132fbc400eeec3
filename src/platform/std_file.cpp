#include "platform/std_file.h"

#include "base/exception.h"

#include <cerrno>
#include <cstring>

namespace {

const char* const ClassName = "TStdFile";

bool validMode(const char* mode)
{
    static const char* const modes[] = { "rb", "wb", "ab", "r+b", "w+b", "a+b" };
    if (!mode)
        return false;
    for (const char* m : modes) {
        if (std::strcmp(m, mode) == 0)
            return true;
    }
    return false;
}

} // namespace

TStdFile::~TStdFile()
{
    if (m_file)
        std::fclose(m_file);
}

void TStdFile::open(const std::string& path, const char* mode)
{
    close();
    if (!validMode(mode))
        throw TException(ClassName);
    m_file = std::fopen(path.c_str(), mode);
    if (!m_file)
        throw TException(ClassName);
}

void TStdFile::close()
{
    if (m_file) {
        std::FILE* file = m_file;
        m_file = nullptr;
        if (std::fclose(file) != 0)
            throw TException(ClassName);
    }
}

void TStdFile::requireOpen() const
{
    if (!m_file)
        throw TException(ClassName);
}

size_t TStdFile::read(void* buffer, size_t size)
{
    requireOpen();
    return size ? std::fread(buffer, 1, size, m_file) : 0;
}

size_t TStdFile::write(const void* buffer, size_t size)
{
    requireOpen();
    return size ? std::fwrite(buffer, 1, size, m_file) : 0;
}

void TStdFile::seek(int64_t offset, Origin origin)
{
    requireOpen();
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    if (fseeko(m_file, static_cast<off_t>(offset), whence) != 0)
        throw TException(ClassName, errno);
}

int64_t TStdFile::position()
{
    requireOpen();
    const off_t at = ftello(m_file);
    if (at < 0)
        throw TException(ClassName, errno);
    return at;
}

int64_t TStdFile::size()
{
    requireOpen();
    const int64_t here = position();
    seek(0, Origin::End);
    const int64_t end = position();
    seek(here, Origin::Begin);
    return end;
}
