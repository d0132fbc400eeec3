#include "platform/folder_lock.h"

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <string>

namespace {

std::set<std::string> entries(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            names.insert(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

} // namespace

// A second window on a folder whose settings another Vantrel holds says so and leaves the folder as it was.
TEST(FolderInUse, ASecondWindowSaysSoAndWritesNothing)
{
    const std::string program = VANTREL_BINARY_DIR "/vantrel";
    if (!test::fileExists(program))
        GTEST_SKIP() << "the program is built only with the user interface";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1); // its message box must not reach a real screen
    test::TempDir dir;
    const TFolderLock lock(dir.path());
    ASSERT_EQ(lock.state(), TFolderLock::State::Held);
    const std::set<std::string> before = entries(dir.path());

    test::TProgram window(program, { "--folder", dir.path() }, dir.path());
    const std::string message = "このフォルダーの設定は既に使用中です。";
    const std::string said = window.errorUntil(message);
    EXPECT_NE(said.find(message), std::string::npos) << said;
    // The message box waits for its user; the default action of SIGTERM ends it where it stands.
    window.signal(SIGTERM);
    window.wait();
    EXPECT_EQ(entries(dir.path()), before);
}
