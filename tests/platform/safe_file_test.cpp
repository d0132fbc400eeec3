#include "platform/safe_file.h"
#include "store/exception.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

// Runs `body` in a child process and returns its exit status, so that limits and identities changed
// for the test never reach the test program itself.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST(SafeFile, WritesNewFileOwnerOnlyAndLeavesNoTemporary)
{
    test::TempDir dir;
    const std::string path = dir.file("vantrel.cfg");
    const std::string bytes("a\0b\xff", 4);
    writeFileSafely(path, bytes.data(), bytes.size());
    EXPECT_EQ(test::readFile(path), bytes);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"vantrel.cfg"});

    const auto image = readWholeFile(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()), image.size()), bytes);
}

TEST(SafeFile, ReplacesOldFileWithoutWideningItsMode)
{
    test::TempDir dir;
    const std::string path = dir.file("list.xml");
    test::writeFile(path, "old contents that are longer than the new ones");

    ::chmod(path.c_str(), 0400);
    writeFileSafely(path, "new", 3, 0644);
    EXPECT_EQ(test::readFile(path), "new");
    EXPECT_EQ(modeOf(path), 0400u);

    // A wider old mode is narrowed to what the caller allows.
    ::chmod(path.c_str(), 0666);
    writeFileSafely(path, "", 0, 0644);
    EXPECT_EQ(test::readFile(path), "");
    EXPECT_EQ(modeOf(path), 0644u);
}

TEST(SafeFile, FailedWriteKeepsOldFileByteForByte)
{
    test::TempDir dir;
    const std::string path = dir.file("vantrel.cfg");
    const std::string old(1000, 'o');
    test::writeFile(path, old);
    const std::string large(64 * 1024, 'n');

    // A file size limit makes the write itself fail part-way.
    const int limited = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            writeFileSafely(path, large.data(), large.size());
        } catch (const TException& e) {
            return std::string(e.what()) == "TSafeFile" && e.code() == EFBIG ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(limited, 0);
    EXPECT_EQ(test::readFile(path), old);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"vantrel.cfg"});

    // A folder the writer may not create files in fails before anything is touched. Root passes every
    // permission check, so the attempt runs under an unprivileged identity.
    ::chmod(dir.path().c_str(), 0555);
    const int refused = inChild([&] {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            return 3;
        try {
            writeFileSafely(path, large.data(), large.size());
        } catch (const TException& e) {
            return e.code() == EACCES ? 0 : 2;
        }
        return 1;
    });
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(test::readFile(path), old);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"vantrel.cfg"});
}

TEST(SafeFile, MissingFolderMissingFileAndFolderAsFileRaise)
{
    test::TempDir dir;
    EXPECT_THROW(writeFileSafely(dir.file("no/such/folder/file"), "x", 1), TException);
    EXPECT_THROW(readWholeFile(dir.file("absent")), TException);
    // A folder opens for reading but must not be taken for a file of some enormous size.
    EXPECT_THROW(readWholeFile(dir.path()), TException);
}
