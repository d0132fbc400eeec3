#include "platform/folder_lock.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using State = TFolderLock::State;

// The lock as another program sees it: tried in a child process, whose exit code is the state.
State stateSeenByAnotherProcess(const std::string& folder)
{
    return static_cast<State>(test::runInChild([&] { return static_cast<int>(TFolderLock(folder).state()); }));
}

} // namespace

TEST(FolderLock, SecondHolderIsRefusedUntilTheFirstEnds)
{
    test::TempDir dir;
    {
        const TFolderLock lock(dir.path());
        ASSERT_EQ(lock.state(), State::Held);
        EXPECT_TRUE(test::fileExists(dir.file("vantrel.lock")));
        EXPECT_EQ(stateSeenByAnotherProcess(dir.path()), State::InUse);
        // Even within one process a second lock is refused.
        EXPECT_EQ(TFolderLock(dir.path() + "/").state(), State::InUse);
    }
    EXPECT_EQ(stateSeenByAnotherProcess(dir.path()), State::Held);

    // A holder killed where it stands leaves no stale lock behind.
    test::TChildProcess holder([&](const std::function<void()>& ready) {
        const TFolderLock lock(dir.path());
        if (lock.state() == State::Held)
            ready();
    });
    ASSERT_TRUE(holder.waitReady());
    EXPECT_EQ(TFolderLock(dir.path()).state(), State::InUse);
    holder.kill();
    EXPECT_EQ(TFolderLock(dir.path()).state(), State::Held);
}

TEST(FolderLock, ReadOnlyFolderCannotBeLockedUnlessTheLockFileIsThere)
{
    const struct
    {
        const char* name;
        bool lockFileLeft;
        State expected;
    } cases[] = {
        { "no lock file", false, State::Unavailable },
        { "lock file left from before", true, State::Held },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        if (c.lockFileLeft)
            test::writeFile(dir.file("vantrel.lock"), "");
        ::chmod(dir.path().c_str(), 0555);
        // Root passes every permission check, so the attempt runs under an unprivileged identity.
        const int state = test::runInChild([&] {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                return 100;
            return static_cast<int>(TFolderLock(dir.path()).state());
        });
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(state, static_cast<int>(c.expected));
    }
}
