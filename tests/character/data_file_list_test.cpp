#include "character/data_file_list.h"
#include "character_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::vector<std::string> names(const TDataFileList& list)
{
    std::vector<std::string> result;
    for (const auto& item : list)
        result.push_back(item.name);
    return result;
}

TEST(ListCharacters, ListsSettingsFolderThenProgramFolder)
{
    test::TempDir settings;
    test::TempDir program;
    test::writeFile(settings.file("b.dat"), test::simpleCharacter("B"));
    test::writeFile(settings.file("a.dat"), test::simpleCharacter("A"));
    test::writeFile(settings.file("notes.txt"), test::simpleCharacter("T"));
    test::writeFile(program.file("0.DAT"), test::simpleCharacter("P"));
    const TDataFileList list = ListCharacters(settings.path() + "/", program.path());
    EXPECT_EQ(names(list), (std::vector<std::string> { "A", "B", "P" }));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].path, settings.path() + "/a.dat");
    EXPECT_EQ(list[2].path, program.path() + "/0.DAT");
}

TEST(ListCharacters, SkipsShortFilesAndFoldersNamedDat)
{
    test::TempDir dir;
    const std::string whole = test::simpleCharacter("Whole");
    test::writeFile(dir.file("exact.dat"), whole);
    test::writeFile(dir.file("short.dat"), whole.substr(0, whole.size() - 1));
    test::writeFile(dir.file("tiny.dat"), "BM");
    std::filesystem::create_directory(dir.file("x.dat"));
    test::writeFile(dir.file("x.dat/inner.dat"), test::simpleCharacter("Inner"));
    EXPECT_EQ(names(ListCharacters(dir.path(), "")), (std::vector<std::string> { "Whole" }));
}

TEST(ListCharacters, SameFolderInOtherLetterCaseIsSearchedOnce)
{
    // Two real folders whose names differ only in case: the second is taken for the first and skipped.
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("Chars"));
    std::filesystem::create_directory(dir.file("chars"));
    test::writeFile(dir.file("Chars/one.dat"), test::simpleCharacter("One"));
    test::writeFile(dir.file("chars/two.dat"), test::simpleCharacter("Two"));
    EXPECT_EQ(names(ListCharacters(dir.file("Chars/"), dir.file("chars/"))), (std::vector<std::string> { "One" }));
    EXPECT_EQ(names(ListCharacters(dir.file("Chars/"), dir.file("Chars"))), (std::vector<std::string> { "One" }));
    EXPECT_EQ(names(ListCharacters(dir.file("Chars/"), dir.path() + "/")), (std::vector<std::string> { "One" }));
}

TEST(ListCharacters, MissingFoldersListNothing)
{
    test::TempDir dir;
    EXPECT_TRUE(ListCharacters(dir.file("none/"), dir.file("other/")).empty());
}

TEST(ListCharacters, EmptiesTheListAndReturnsTheCount)
{
    test::TempDir dir;
    test::writeFile(dir.file("a.dat"), test::simpleCharacter("A"));
    test::writeFile(dir.file("b.dat"), test::simpleCharacter("B"));
    TDataFileList list { { "old", "/old.dat" } };
    EXPECT_EQ(ListCharacters(list, dir.path(), ""), 2u);
    EXPECT_EQ(names(list), (std::vector<std::string> { "A", "B" }));
    EXPECT_EQ(ListCharacters(list, dir.file("none"), ""), 0u);
    EXPECT_TRUE(list.empty());
}

} // namespace
