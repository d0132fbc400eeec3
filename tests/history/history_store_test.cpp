#include "base/exception.h"
#include "history/history_store.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string ItemA = "0123456789abcdef0123456789abcdef";
const std::string ItemB = "fedcba9876543210fedcba9876543210";
const std::string ItemC = "00000000000000000000000000000001";

// A page text of about `bytes` that zstd cannot shrink much, different for every `seed`.
std::string noisyText(uint32_t seed, size_t bytes = 64 * 1024)
{
    std::mt19937 random(seed);
    std::string text = "check " + std::to_string(seed) + "\n";
    while (text.size() < bytes)
        text += static_cast<char>('a' + random() % 26);
    return text;
}

// A page of many lines where only one line differs from version to version, as most pages change.
std::string pageVersion(int version)
{
    std::string text;
    for (int line = 0; line < 400; ++line)
        text += "行 " + std::to_string(line) + (line == version % 400 ? " 変更 " + std::to_string(version) : "") + "\n";
    return text;
}

std::vector<int64_t> checkTimes(const std::vector<THistoryVersion>& versions)
{
    std::vector<int64_t> times;
    for (size_t i = 0; i < versions.size(); ++i) {
        EXPECT_EQ(versions[i].number, static_cast<int>(i + 1));
        times.push_back(versions[i].checkTime);
    }
    return times;
}

mode_t modeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string integrity(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &query, nullptr) == SQLITE_OK
            && sqlite3_step(query) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    return result;
}

TEST(HistoryStore, KeepsOnlyChangedTextsNumberedFromTheOldest)
{
    test::TempDir dir;
    THistoryStore store(dir.path());
    EXPECT_EQ(store.latestText(ItemA), std::nullopt);
    EXPECT_TRUE(store.versions(ItemA).empty());

    const std::string large = noisyText(7, 2 * 1024 * 1024);
    struct Step
    {
        int64_t time;
        std::string text;
        bool added;
    };
    const Step steps[] = {
        { 10, "ページ α", true },
        { 11, "ページ α", false },
        { 12, "", true },
        { 13, "", false },
        { 14, large, true },
        { 15, large, false },
        { 16, "ページ α", true },
    };
    for (const auto& step : steps)
        EXPECT_EQ(store.record(ItemA, step.time, step.text), step.added) << step.time;

    const auto versions = store.versions(ItemA);
    EXPECT_EQ(checkTimes(versions), (std::vector<int64_t> { 10, 12, 14, 16 }));
    EXPECT_EQ(versions[0].characters, 5u); // code points, not bytes
    EXPECT_EQ(versions[2].characters, large.size());
    EXPECT_EQ(store.text(ItemA, 1), "ページ α");
    EXPECT_EQ(store.text(ItemA, 2), "");
    EXPECT_EQ(store.text(ItemA, 3), large);
    EXPECT_EQ(store.latestText(ItemA), "ページ α");
    EXPECT_TRUE(store.versions(ItemB).empty());
    for (int outside : { 0, 5, -1 })
        EXPECT_THROW(store.text(ItemA, outside), TException) << outside;
    EXPECT_THROW(store.record("not-an-id", 1, "x"), TException);
}

TEST(HistoryStore, KeepsTheNewestDepthVersionsEachReadable)
{
    struct Case
    {
        int depth; // as passed
        int kept; // after clamping
        int recorded;
    };
    const Case cases[] = { { 1, 2, 7 }, { 5, 5, 60 }, { 50, 50, 120 }, { 5000, 1000, 30 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        test::TempDir dir;
        {
            THistoryStore store(dir.path(), c.depth);
            EXPECT_EQ(store.depth(), c.kept);
            for (int version = 1; version <= c.recorded; ++version)
                // Every 9th version a page that shares nothing with the ones before, so full versions come too.
                store.record(ItemA, version, version % 9 == 0 ? noisyText(version) : pageVersion(version));
        }
        THistoryStore store(dir.path(), c.depth); // the versions survive the program's end
        const auto versions = store.versions(ItemA);
        const int kept = std::min(c.kept, c.recorded);
        ASSERT_EQ(versions.size(), static_cast<size_t>(kept));
        for (int number = 1; number <= kept; ++number) {
            const int version = c.recorded - kept + number;
            EXPECT_EQ(versions[number - 1].checkTime, version);
            EXPECT_EQ(store.text(ItemA, number), version % 9 == 0 ? noisyText(version) : pageVersion(version));
        }
    }

    // A smaller depth drops the older versions at once.
    test::TempDir dir;
    THistoryStore store(dir.path(), 10);
    for (int version = 1; version <= 10; ++version)
        store.record(ItemA, version, pageVersion(version));
    store.setDepth(3);
    EXPECT_EQ(checkTimes(store.versions(ItemA)), (std::vector<int64_t> { 8, 9, 10 }));
    EXPECT_EQ(store.text(ItemA, 1), pageVersion(8));
}

TEST(HistoryStore, RemovedAndUnretainedItemsLoseTheirHistory)
{
    test::TempDir dir;
    THistoryStore store(dir.path());
    for (const auto& item : { ItemA, ItemB, ItemC })
        store.record(item, 1, "text of " + item);
    store.removeItem(ItemA);
    EXPECT_TRUE(store.versions(ItemA).empty());
    store.retainItems({ ItemB, "ffffffffffffffffffffffffffffffff" });
    EXPECT_EQ(store.latestText(ItemA), std::nullopt);
    EXPECT_EQ(store.latestText(ItemB), "text of " + ItemB);
    EXPECT_EQ(store.latestText(ItemC), std::nullopt);
    store.retainItems({});
    EXPECT_TRUE(store.versions(ItemB).empty());
}

TEST(HistoryStore, FilesAreTheOwnersOnlyWhateverTheUmask)
{
    test::TempDir dir;
    const std::string path = dir.file(THistoryStore::FileName);
    const int status = test::runInChild([&] {
        ::umask(0);
        THistoryStore store(dir.path());
        store.record(ItemA, 1, "text");
        int wrong = 0;
        for (const char* suffix : { "", "-wal", "-shm" })
            wrong += modeOf(path + suffix) == 0600 ? 0 : 1;
        return wrong;
    });
    EXPECT_EQ(status, 0);
}

TEST(HistoryStore, UnusableFolderOrFullDiskRaiseAReadableCause)
{
    test::TempDir dir;
    const std::string kept = noisyText(1);
    {
        THistoryStore store(dir.path());
        store.record(ItemA, 1, kept);
    }

    // Opening: a folder that is a file, and a folder the program may not write in (root passes every
    // permission check, so that attempt runs under an unprivileged identity).
    test::writeFile(dir.file("file"), "x");
    EXPECT_THROW(
        {
            try {
                THistoryStore store(dir.file("file"));
            } catch (const TException& e) {
                EXPECT_NE(e.message().find("Not a directory"), std::string::npos) << e.message();
                throw;
            }
        },
        TException);
    const std::string readOnly = dir.file("read-only");
    ::mkdir(readOnly.c_str(), 0500);
    const int refused = test::runInChild([&] {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            return 3;
        try {
            THistoryStore store(readOnly);
        } catch (const TException& e) {
            return e.message().find("Permission denied") != std::string::npos ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(refused, 0);

    // Writing: a file size limit stands for a full disk; the store keeps what it had.
    const int full = test::runInChild([&] {
        rlimit limit { 512 * 1024, 512 * 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        THistoryStore store(dir.path());
        try {
            for (uint32_t seed = 2; seed < 100; ++seed)
                store.record(ItemA, seed, noisyText(seed));
        } catch (const TException& e) {
            return e.message().find("disk may be full") != std::string::npos ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(full, 0);
    THistoryStore store(dir.path());
    EXPECT_FALSE(store.wasDamaged());
    EXPECT_EQ(store.text(ItemA, 1), kept);
    EXPECT_TRUE(store.record(ItemB, 2, "after"));
    EXPECT_EQ(integrity(store.path()), "ok");
}

TEST(HistoryStore, DamagedFileIsMovedAsideAndANewOneBegun)
{
    struct Case
    {
        const char* name;
        long offset; // garbage from here to the end of the file
    };
    // Over the header SQLite sees no database at open; over the tables it finds them damaged when they are read.
    const Case cases[] = { { "header", 0 }, { "tables", 4096 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.file(THistoryStore::FileName);
        {
            THistoryStore store(dir.path());
            for (uint32_t seed = 1; seed <= 4; ++seed)
                store.record(ItemA, seed, noisyText(seed));
        }
        const std::string before = test::readFile(path);
        ASSERT_GT(before.size(), 64u * 1024);
        test::writeFile(path, before.substr(0, c.offset) + std::string(before.size() - c.offset, '\x5a'));

        THistoryStore store(dir.path());
        store.versions(ItemA);
        EXPECT_TRUE(store.wasDamaged());
        EXPECT_TRUE(test::fileExists(path + ".damaged"));
        EXPECT_TRUE(store.versions(ItemA).empty());
        EXPECT_TRUE(store.record(ItemA, 9, "new"));
        EXPECT_EQ(store.text(ItemA, 1), "new");
        EXPECT_EQ(integrity(path), "ok");
    }
}

TEST(HistoryStore, KilledWriterLeavesAStoreThatOpensAndRecords)
{
    test::TempDir dir;
    // Each round kills a writer somewhere in the middle of recording texts large enough to take a while.
    for (int round = 0; round < 4; ++round) {
        test::TChildProcess child([&](const std::function<void()>& ready) {
            std::atomic<int> recorded { 0 };
            std::thread writer([&] {
                THistoryStore store(dir.path(), 10);
                for (uint32_t seed = 1000 * (round + 1);; ++seed) {
                    store.record(ItemA, seed, noisyText(seed, 256 * 1024));
                    ++recorded;
                }
            });
            while (recorded < 3 + round)
                std::this_thread::yield();
            ready();
        });
        ASSERT_TRUE(child.waitReady());
        child.kill();
    }

    THistoryStore store(dir.path(), 10);
    EXPECT_FALSE(store.wasDamaged());
    const auto versions = store.versions(ItemA);
    ASSERT_EQ(versions.size(), 10u);
    for (const auto& version : versions)
        EXPECT_EQ(store.text(ItemA, version.number), noisyText(static_cast<uint32_t>(version.checkTime), 256 * 1024));
    EXPECT_TRUE(store.record(ItemA, 1, "after the kills"));
    EXPECT_EQ(store.latestText(ItemA), "after the kills");
    EXPECT_EQ(integrity(store.path()), "ok");
}

} // namespace
