#include "base/exception.h"
#include "platform/std_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

TEST(StdFile, ModesCreateTruncateAndAppend)
{
    test::TempDir dir;
    const std::string path = dir.file("f.bin");

    {
        TStdFile file(path, "wb");
        EXPECT_EQ(file.write("hello", 5), 5u);
    }
    {
        TStdFile file(path, "ab");
        EXPECT_EQ(file.write(" world", 6), 6u);
    }
    EXPECT_EQ(test::readFile(path), "hello world");

    {
        TStdFile file(path, "r+b");
        file.seek(6, IFile::Origin::Begin);
        EXPECT_EQ(file.write("W", 1), 1u);
        EXPECT_EQ(file.size(), 11);
        EXPECT_EQ(file.position(), 7);
    }
    EXPECT_EQ(test::readFile(path), "hello World");

    {
        TStdFile file(path, "rb");
        char buffer[16] = {};
        file.seek(-5, IFile::Origin::End);
        EXPECT_EQ(file.read(buffer, sizeof buffer), 5u);
        EXPECT_EQ(std::string(buffer, 5), "World");
        // Reading at the end moves nothing but does not fail.
        EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
    }

    {
        TStdFile file(path, "w+b");
        EXPECT_EQ(file.size(), 0);
    }
    EXPECT_EQ(test::readFile(path), "");
}

TEST(StdFile, FailuresRaiseWithClassNameAndErrno)
{
    test::TempDir dir;
    const std::string path = dir.file("f.bin");

    // Unknown modes are refused before the file system is asked.
    for (const char* mode : { "r", "w", "rt", "", "x+b" }) {
        TStdFile file;
        EXPECT_THROW(file.open(path, mode), TException) << mode;
    }
    EXPECT_FALSE(test::fileExists(path));

    try {
        TStdFile file(dir.file("missing"), "rb");
        FAIL() << "opened a missing file";
    } catch (const TException& e) {
        EXPECT_STREQ(e.what(), "TStdFile");
    }

    TStdFile closed;
    EXPECT_FALSE(closed.isOpen());
    EXPECT_THROW(closed.read(nullptr, 0), TException);
    EXPECT_THROW(closed.position(), TException);

    test::writeFile(path, "abc");
    TStdFile file(path, "rb");
    try {
        file.seek(-10, IFile::Origin::Begin);
        FAIL() << "seeked before the start";
    } catch (const TException& e) {
        EXPECT_STREQ(e.what(), "TStdFile");
        EXPECT_EQ(e.code(), EINVAL);
    }
    file.close();
    EXPECT_FALSE(file.isOpen());
    // Closing twice is harmless.
    EXPECT_NO_THROW(file.close());
}
