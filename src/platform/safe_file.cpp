#include "platform/safe_file.h"

#include "base/exception.h"
#include "platform/std_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char* const ClassName = "TSafeFile";
const char* const TemporaryMark = ".tmp";
constexpr size_t UniqueLength = 6; // as mkstemp's XXXXXX
constexpr int MaxLinkHops = 40; // the kernel's own limit
const char UniqueAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::atomic<bool> unnamedAllowed { true };

[[noreturn]] void fail(int error)
{
    throw TException(ClassName, error);
}

void closeQuietly(int fd)
{
    // Linux releases the descriptor even when close fails with EINTR, so never retry.
    ::close(fd);
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

std::string nameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write of `path` replaces: symbolic links followed to the end, also to a target that does
// not exist yet.
std::string finalTarget(std::string path)
{
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        struct stat status
        {
        };
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        std::string link(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0)
            fail(errno);
        if (static_cast<size_t>(n) == link.size())
            fail(ENAMETOOLONG); // the link changed under us
        link.resize(static_cast<size_t>(n));
        path = !link.empty() && link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    fail(ELOOP);
}

bool isLeftoverName(const std::string& name, const std::string& target)
{
    const std::string prefix = target + TemporaryMark;
    if (name.size() != prefix.size() + UniqueLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string_view alphabet(UniqueAlphabet);
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (alphabet.find(name[i]) == std::string_view::npos)
            return false;
    }
    return true;
}

std::string uniqueName(const std::string& target)
{
    uint8_t random[UniqueLength];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const uint64_t seed = static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(::getpid()) << 20;
        for (size_t i = 0; i < UniqueLength; ++i)
            random[i] = static_cast<uint8_t>(seed >> (8 * i));
    }
    std::string name = target + TemporaryMark;
    for (uint8_t r : random)
        name += UniqueAlphabet[r % (sizeof UniqueAlphabet - 1)];
    return name;
}

// Gives the complete unnamed file a unique name beside the target.
std::string linkUnnamed(int fd, const std::string& target)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = uniqueName(target);
        int result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
        // Without /proc, AT_EMPTY_PATH does the same where the process may use it.
        if (result != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            result = ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
        if (result == 0)
            return name;
        if (errno != EEXIST)
            fail(errno);
    }
    fail(EEXIST);
}

// A temporary file in the target's folder: unnamed when the file system allows it, else named.
struct TTemporary
{
    int fd = -1;
    std::string name;
};

TTemporary createTemporary(const std::string& target)
{
    TTemporary temporary;
    if (unnamedAllowed.load()) {
        temporary.fd = ::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (temporary.fd >= 0)
            return temporary;
        // File systems and kernels without O_TMPFILE refuse it in one of these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            fail(errno);
    }
    temporary.name = target + TemporaryMark + std::string(UniqueLength, 'X');
    temporary.fd = ::mkostemp(temporary.name.data(), O_CLOEXEC);
    if (temporary.fd < 0)
        fail(errno);
    return temporary;
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

void onFileSizeSignal(int) { }

} // namespace

TFileWriter::TFileWriter(int fd, size_t bufferSize)
    : m_fd(fd)
{
    m_buffer.resize(bufferSize > 0 ? bufferSize : 1);
}

void TFileWriter::write(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    if (size > m_buffer.size() - m_used) {
        flush();
        if (size >= m_buffer.size()) {
            writeAll(m_fd, p, size);
            m_written += size;
            return;
        }
    }
    if (size > 0)
        std::memcpy(m_buffer.data() + m_used, p, size);
    m_used += size;
    m_written += size;
}

void TFileWriter::flush()
{
    writeAll(m_fd, m_buffer.data(), m_used);
    m_used = 0;
}

void writeFileSafely(const std::string& path, const std::function<void(TFileWriter&)>& fill, mode_t mode)
{
    ignoreFileSizeSignal();
    const std::string target = finalTarget(path);
    TTemporary temporary = createTemporary(target);
    try {
        // The temporary file starts at 0600; widen only to what was asked, never past the old file's own mode.
        struct stat old
        {
        };
        mode_t wanted = mode;
        if (::stat(target.c_str(), &old) == 0)
            wanted = old.st_mode & mode & 07777;
        if (::fchmod(temporary.fd, wanted) != 0)
            fail(errno);
        {
            TFileWriter writer(temporary.fd);
            fill(writer);
            writer.flush();
        }
        if (::fsync(temporary.fd) != 0)
            fail(errno);
        if (temporary.name.empty())
            temporary.name = linkUnnamed(temporary.fd, target);
        const int fd = std::exchange(temporary.fd, -1);
        if (::close(fd) != 0)
            fail(errno);
        if (::rename(temporary.name.c_str(), target.c_str()) != 0)
            fail(errno);
    } catch (...) {
        if (temporary.fd >= 0)
            closeQuietly(temporary.fd);
        if (!temporary.name.empty())
            ::unlink(temporary.name.c_str());
        throw;
    }

    const int folderFd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        closeQuietly(folderFd);
    }
}

void writeFileSafely(const std::string& path, const void* data, size_t size, mode_t mode)
{
    writeFileSafely(
        path, [data, size](TFileWriter& writer) { writer.write(data, size); }, mode);
}

size_t removeLeftoverTemporaries(const std::string& path)
{
    const std::string target = finalTarget(path);
    const std::string folder = folderOf(target);
    const std::string targetName = nameOf(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isLeftoverName(name, targetName))
            continue;
        struct stat status
        {
        };
        const std::string leftover = folder + "/" + name;
        if (::lstat(leftover.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::unlink(leftover.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

void setUnnamedTemporaryFilesAllowed(bool allowed)
{
    unnamedAllowed.store(allowed);
}

void ignoreFileSizeSignal()
{
    // A handler of our own rather than SIG_IGN: an ignored signal would stay ignored in the programs we start.
    struct sigaction current
    {
    };
    if (::sigaction(SIGXFSZ, nullptr, &current) != 0)
        return;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
        return;
    struct sigaction handler
    {
    };
    handler.sa_handler = onFileSizeSignal;
    handler.sa_flags = SA_RESTART;
    sigemptyset(&handler.sa_mask);
    ::sigaction(SIGXFSZ, &handler, nullptr);
}

TMemory readWholeFile(const std::string& path)
{
    // A folder opens for reading too, and its "size" is no byte count.
    struct stat status
    {
    };
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
