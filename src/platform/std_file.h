#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// A binary file. Failures raise TException with the class name as message and the errno value
// as code where the C library gives one (a failed seek or position query), else 0.
class IFile
{
public:
    enum class Origin { Begin, Current, End };

    virtual ~IFile() = default;
    // Modes as the C library names them: "rb", "wb", "ab", "r+b", "w+b", "a+b".
    virtual void open(const std::string& path, const char* mode) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Return the number of bytes moved; fewer than asked means end of file or a failure.
    virtual size_t read(void* buffer, size_t size) = 0;
    virtual size_t write(const void* buffer, size_t size) = 0;
    virtual void seek(int64_t offset, Origin origin) = 0;
    virtual int64_t position() = 0;
    virtual int64_t size() = 0;
};

class TStdFile : public IFile
{
public:
    TStdFile() = default;
    TStdFile(const std::string& path, const char* mode) { open(path, mode); }
    ~TStdFile() override;
    TStdFile(const TStdFile&) = delete;
    TStdFile& operator=(const TStdFile&) = delete;

    void open(const std::string& path, const char* mode) override;
    void close() override;
    bool isOpen() const override { return m_file != nullptr; }
    size_t read(void* buffer, size_t size) override;
    size_t write(const void* buffer, size_t size) override;
    void seek(int64_t offset, Origin origin) override;
    int64_t position() override;
    int64_t size() override;

private:
    void requireOpen() const;

    std::FILE* m_file = nullptr;
};
