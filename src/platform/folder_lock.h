#pragma once

#include <string>

// One program per settings folder: an advisory lock (flock) on "vantrel.lock" in the folder, held for
// the object's life. The system drops the lock of a process that dies, so a stale lock never blocks.
class TFolderLock
{
public:
    enum class State {
        Held,
        InUse, // another process holds it
        Unavailable, // the lock file cannot be made or locked, as in a read-only folder
    };

    explicit TFolderLock(const std::string& folder);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    State state() const noexcept { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

inline constexpr const char* LockFileName = "vantrel.lock";
