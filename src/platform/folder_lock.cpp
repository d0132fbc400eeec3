#include "platform/folder_lock.h"

#include "base/byte_text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TFolderLock::TFolderLock(const std::string& folder)
{
    const std::string path = withTrailingSlash(folder) + LockFileName;
    // Close-on-exec, so that the programs we start never hold the lock after we end.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); // one left in a folder now read-only
    if (m_fd < 0)
        return;
    int result;
    do
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Held;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::InUse : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

TFolderLock::~TFolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
