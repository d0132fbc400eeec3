#include "base/exception.h"
#include "platform/safe_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
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
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

bool isSymbolicLink(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool folderTakesUnnamedFiles(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Each case runs with O_TMPFILE and again as on a file system without it.
struct TemporaryKind
{
    const char* name;
    bool unnamed;
};
const TemporaryKind TemporaryKinds[] = { { "unnamed", true }, { "named", false } };

class UnnamedTemporaries
{
public:
    explicit UnnamedTemporaries(bool allowed) { setUnnamedTemporaryFilesAllowed(allowed); }
    ~UnnamedTemporaries() { setUnnamedTemporaryFilesAllowed(true); }
};

} // namespace

TEST(SafeFile, WritesNewFileOwnerOnlyAndLeavesNoTemporary)
{
    test::TempDir dir;
    const std::string path = dir.file("vantrel.cfg");
    const std::string bytes("a\0b\xff", 4);
    writeFileSafely(path, bytes.data(), bytes.size());
    EXPECT_EQ(test::readFile(path), bytes);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "vantrel.cfg" });

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

    // A file size limit makes the write itself fail part-way; the writer, not this test, keeps SIGXFSZ
    // from killing the process.
    for (const auto& kind : TemporaryKinds) {
        SCOPED_TRACE(kind.name);
        const int limited = test::runInChild([&] {
            setUnnamedTemporaryFilesAllowed(kind.unnamed);
            rlimit limit { 4096, 4096 };
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
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "vantrel.cfg" });
    }

    // A folder the writer may not create files in fails before anything is touched. Root passes every
    // permission check, so the attempt runs under an unprivileged identity.
    ::chmod(dir.path().c_str(), 0555);
    const int refused = test::runInChild([&] {
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
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "vantrel.cfg" });
}

TEST(SafeFile, MissingFolderMissingFileAndFolderAsFileRaise)
{
    test::TempDir dir;
    EXPECT_THROW(writeFileSafely(dir.file("no/such/folder/file"), "x", 1), TException);
    EXPECT_THROW(readWholeFile(dir.file("absent")), TException);
    // A folder opens for reading but must not be taken for a file of some enormous size.
    EXPECT_THROW(readWholeFile(dir.path()), TException);
}

TEST(SafeFile, KilledWriteLeavesOnlyTheOldFileOnceCleanedUp)
{
    const std::string old = "the settings as they were";
    bool unnamedUnsupported = false;
    for (const auto& kind : TemporaryKinds) {
        SCOPED_TRACE(kind.name);
        test::TempDir dir;
        if (kind.unnamed && !folderTakesUnnamedFiles(dir.path())) {
            unnamedUnsupported = true;
            continue;
        }
        const std::string path = dir.file("vantrel.cfg");
        test::writeFile(path, old);
        {
            test::TChildProcess child([&](const std::function<void()>& ready) {
                setUnnamedTemporaryFilesAllowed(kind.unnamed);
                writeFileSafely(path, [&](TFileWriter& out) {
                    const std::string block(1024 * 1024, 'n');
                    for (int i = 0; i < 32; ++i)
                        out.write(block.data(), block.size());
                    ready(); // killed here, 32 MiB into the write
                });
            });
            ASSERT_TRUE(child.waitReady());
            child.kill();
        }
        EXPECT_EQ(test::readFile(path), old);
        const auto left = folderEntries(dir.path());
        if (kind.unnamed) {
            EXPECT_EQ(left, std::vector<std::string> { "vantrel.cfg" });
            continue;
        }
        ASSERT_EQ(left.size(), 2u);
        EXPECT_EQ(left[1].substr(0, 15), "vantrel.cfg.tmp");
        EXPECT_GE(test::readFile(dir.file(left[1])).size(), 32u * 1024 * 1024);

        // The start-up cleanup removes that leftover and nothing that merely looks like one.
        const std::vector<std::string> others
            = { "other.cfg.tmpAbC123", "vantrel.cfg.tmp12345", "vantrel.cfg.tmp1234567", "vantrel.cfg.tmp12345-",
                  "vantrel.cfg.tmpAbC123.bak", "xvantrel.cfg.tmpAbC123", "vantrel.cfg.tmpDirXYZ/" };
        for (const auto& name : others) {
            if (name.back() == '/')
                ::mkdir(dir.file(name).c_str(), 0700);
            else
                test::writeFile(dir.file(name), "not ours");
        }
        EXPECT_EQ(removeLeftoverTemporaries(path), 1u);
        EXPECT_FALSE(test::fileExists(dir.file(left[1])));
        EXPECT_EQ(folderEntries(dir.path()).size(), 1 + others.size());
        EXPECT_EQ(test::readFile(path), old);
    }
    if (unnamedUnsupported)
        GTEST_SKIP() << "the temporary folder's file system has no O_TMPFILE; only the named case ran";
}

TEST(SafeFile, SymbolicLinkStaysAndItsFinalTargetGetsTheBytes)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link, what it points to (relative to the folder)
        std::string target; // the file that must get the bytes, from the folder
        bool targetExists;
    };
    const Case cases[] = {
        { "relative", { { "vantrel.cfg", "real.cfg" } }, "real.cfg", true },
        { "into another folder", { { "vantrel.cfg", "elsewhere/real.cfg" } }, "elsewhere/real.cfg", true },
        { "dangling", { { "vantrel.cfg", "elsewhere/new.cfg" } }, "elsewhere/new.cfg", false },
        { "chain", { { "vantrel.cfg", "elsewhere/hop" }, { "elsewhere/hop", "../real.cfg" } }, "real.cfg", true },
    };
    for (const auto& c : cases) {
        for (const auto& kind : TemporaryKinds) {
            SCOPED_TRACE(std::string(c.name) + ", " + kind.name);
            const UnnamedTemporaries temporaries(kind.unnamed);
            test::TempDir dir;
            ::mkdir(dir.file("elsewhere").c_str(), 0700);
            if (c.targetExists)
                test::writeFile(dir.file(c.target), "old");
            for (const auto& [link, to] : c.links)
                ASSERT_EQ(::symlink(to.c_str(), dir.file(link).c_str()), 0);
            // Nothing but the target itself may appear, in either folder.
            auto expected = folderEntries(dir.path());
            auto expectedElsewhere = folderEntries(dir.file("elsewhere"));
            if (!c.targetExists)
                expectedElsewhere.push_back(c.target.substr(c.target.find('/') + 1));

            writeFileSafely(dir.file("vantrel.cfg"), "new", 3);
            EXPECT_EQ(test::readFile(dir.file(c.target)), "new");
            for (const auto& link : c.links)
                EXPECT_TRUE(isSymbolicLink(dir.file(link.first))) << link.first;
            EXPECT_EQ(folderEntries(dir.path()), expected);
            EXPECT_EQ(folderEntries(dir.file("elsewhere")), expectedElsewhere);
        }
    }
}
