#include "platform/safe_file.h"

#include "platform/std_file.h"
#include "store/exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const ClassName = "TSafeFile";

int retryClose(int fd)
{
    // Linux releases the descriptor even when close fails with EINTR, so never retry.
    return ::close(fd);
}

[[noreturn]] void fail(int error)
{
    throw TException(ClassName, error);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void writeAll(int fd, const uint8_t* p, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

void writeFileSafely(const std::string& path, const void* data, size_t size, mode_t mode)
{
    std::string tempName = path + ".tmpXXXXXX";
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0)
        fail(errno);

    int error = 0;
    try {
        // mkstemp creates 0600; widen only to what was asked, never past the old file's own mode.
        struct stat old {};
        mode_t wanted = mode;
        if (::stat(path.c_str(), &old) == 0)
            wanted = old.st_mode & mode & 07777;
        if (::fchmod(fd, wanted) != 0)
            fail(errno);
        writeAll(fd, static_cast<const uint8_t*>(data), size);
        if (::fsync(fd) != 0)
            fail(errno);
    } catch (const TException& e) {
        error = e.code();
    }
    if (retryClose(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tempName.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tempName.c_str());
        fail(error);
    }

    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        retryClose(dirFd);
    }
}

TMemory readWholeFile(const std::string& path)
{
    // A folder opens for reading too, and its "size" is no byte count.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        throw TException("TStdFile");
    TStdFile file(path, "rb");
    const int64_t size = file.size();
    file.seek(0, IFile::Origin::Begin);
    if (size < 0 || static_cast<uint64_t>(size) > SIZE_MAX)
        throw TException("TStdFile");
    TMemory image(static_cast<size_t>(size));
    if (file.read(image.data(), image.size()) != image.size())
        throw TException("TStdFile");
    file.close();
    return image;
}
