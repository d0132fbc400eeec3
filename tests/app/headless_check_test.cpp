#include "platform/folder_lock.h"
#include "store/config.h"
#include "store/store_file.h"
#include "vantrel_version.h"

#include "support/checked_item.h"
#include "support/child_process.h"
#include "support/encoded_text.h"
#include "support/holding_server.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using test::answerDated;
using namespace std::chrono_literals;

const std::string Program = VANTREL_BINARY_DIR "/vantrel";
// Without these the window could not start; the command must not need them.
const std::vector<std::string> NoDisplay = { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" };
const std::string OldDate = "Mon, 01 Jan 2024 00:00:00 GMT";
const std::string NewDate = "Tue, 02 Jan 2024 00:00:00 GMT";

// A ticked item that last saw OldDate and a length of 0.
TCheckItem watched(const std::string& title, const std::string& uri, ItemStatus status = ItemStatus::Normal)
{
    TCheckItem item = newItemTemplate();
    item.title() = title;
    item.checkUri() = uri;
    item.status = status;
    item.lastModified() = OldDate;
    item.contentLength() = "0";
    return item;
}

class HeadlessCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!test::fileExists(Program))
            GTEST_SKIP() << "the program is built only with the user interface";
    }

    std::string settingsPath() const { return m_dir.file("vantrel.cfg"); }

    void writeSettings(const std::vector<TCheckItem>& items) const
    {
        TConfig config;
        for (const TCheckItem& item : items)
            config.items.append(item);
        ASSERT_TRUE(writeSettingsFile(config, settingsPath()));
    }

    TCheckItems readSettings() const
    {
        TConfig config;
        loadSettingsFile(config, settingsPath());
        return config.items;
    }

    test::ProgramResult check(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), "--check");
        return test::runProgram(Program, arguments, m_dir.path(), NoDisplay);
    }

    test::TempDir m_dir;
};

TEST_F(HeadlessCheck, PrintsOneLinePerCheckedItemAndWritesTheResultsBack)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(NewDate)), test::Reply::bytes(answerDated(OldDate)),
        test::Reply::bytes("HTTP/1.0 404 Not Found\r\n\r\n"), test::Reply::bytes(answerDated(OldDate)) });
    TCheckItem unticked = watched("unticked", server.url("/x"));
    unticked.check = 0;
    writeSettings({ watched(test::sjis("更新された頁"), server.url("/a")), watched("same\r\nline", server.url("/b")),
        watched("gone", server.url("/c")), unticked, watched("first", server.url("/d"), ItemStatus::Initial) });

    const test::ProgramResult result = check({ "--jobs", "1" });
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out,
        "updated\t更新された頁\t" + server.url("/a") + "\n" + "unchanged\tsame  line\t" + server.url("/b") + "\n"
            + "error\tgone\t" + server.url("/c") + "\tHTTP/1.0 404 Not Found\n" + "new\tfirst\t" + server.url("/d")
            + "\n" + "checked 4 of 4, updated 1, failed 1\n");
    EXPECT_EQ(result.err, "");

    const TCheckItems items = readSettings();
    ASSERT_EQ(items.count(), 5u);
    const ItemStatus expected[]
        = { ItemStatus::Update, ItemStatus::Normal, ItemStatus::Error, ItemStatus::Normal, ItemStatus::Normal };
    for (size_t i = 0; i < items.count(); ++i)
        EXPECT_EQ(items[i].status, expected[i]) << i;
    EXPECT_EQ(items[0].lastModified(), NewDate);
    EXPECT_EQ(items[3].lastCheck(), "") << "an unticked item is not checked";
    EXPECT_NE(items[4].lastCheck(), "");
    EXPECT_EQ(server.connectionCount(), 4u);
}

TEST_F(HeadlessCheck, PrintsTheCheckedItemsAsOneJsonArray)
{
    test::HttpServer server({ test::Reply::bytes("HTTP/1.0 500 Server \"Error\"\r\n\r\n") });
    writeSettings({ watched(test::sjis("引用符\"と\\記号\t\x01"), server.url("/a")) });

    const test::ProgramResult result = check({ "--json" });
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
        "[\n"
        "    {\n"
        "        \"contentLength\": \"0\",\n"
        "        \"failures\": 1,\n"
        "        \"finalUrl\": \"\",\n"
        "        \"lastModified\": \""
            + OldDate
            + "\",\n"
              "        \"reason\": \"HTTP/1.0 500 Server \\\"Error\\\"\",\n"
              "        \"status\": \"error\",\n"
              "        \"title\": \"引用符\\\"と\\\\記号\\t\\u0001\",\n"
              "        \"url\": \""
            + server.url("/a")
            + "\"\n"
              "    }\n"
              "]\n");
}

TEST_F(HeadlessCheck, ExitStatusTellsWhatHappenedAndRefusalsWriteNothing)
{
    enum class Settings { Missing, Unusable, OneItem };
    test::HoldingServer server(0ms);
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        Settings settings;
        bool folderInUse;
        int status;
        std::string out; // the start of what is printed on stdout
        std::string err; // a part of what is printed on stderr
    } cases[] = {
        { "nothing to check", { "--check" }, Settings::Missing, false, 0, "nothing to check\n", "" },
        { "unchanged", { "--check" }, Settings::OneItem, false, 0, "unchanged\tone\t", "" },
        { "unusable settings", { "--check" }, Settings::Unusable, false, 2, "",
            "vantrel.cfg cannot be used: ファイルの内容が正しくありません" },
        { "folder in use", { "--check" }, Settings::OneItem, true, 3, "", "in use by another Vantrel" },
        { "jobs out of range", { "--check", "--jobs", "17" }, Settings::OneItem, false, 2, "", "Usage:" },
        { "jobs without check", { "--jobs", "2" }, Settings::OneItem, false, 2, "", "--jobs needs --check" },
        { "json without check", { "--json" }, Settings::OneItem, false, 2, "", "--json needs --check" },
        { "unknown option", { "--check", "--frobnicate" }, Settings::OneItem, false, 2, "", "unknown option" },
        { "unknown after Qt's", { "-platform", "offscreen", "--frobnicate" }, Settings::OneItem, false, 2, "",
            "unknown option --frobnicate" },
        { "help", { "--help" }, Settings::OneItem, false, 0, "Usage: vantrel", "" },
        { "version", { "--version" }, Settings::OneItem, false, 0, std::string("vantrel ") + VantrelVersion + "\n",
            "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(settingsPath().c_str());
        if (c.settings == Settings::Unusable)
            test::writeFile(settingsPath(), "not a settings file");
        if (c.settings == Settings::OneItem)
            writeSettings({ watched("one", server.url()) });
        const bool existed = test::fileExists(settingsPath());
        const std::string before = existed ? test::readFile(settingsPath()) : "";
        const size_t requests = server.paths().size();
        std::optional<TFolderLock> lock;
        if (c.folderInUse)
            lock.emplace(m_dir.path());

        const test::ProgramResult result = test::runProgram(Program, c.arguments, m_dir.path(), NoDisplay);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_TRUE(result.out.starts_with(c.out)) << result.out;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        if (c.status != 0 || c.settings == Settings::Missing) {
            EXPECT_EQ(server.paths().size(), requests) << "nothing is checked";
            EXPECT_EQ(test::fileExists(settingsPath()), existed);
            EXPECT_EQ(existed ? test::readFile(settingsPath()) : "", before) << "nothing is written";
        }
    }
}

TEST_F(HeadlessCheck, ChecksAsManyAtOnceAsTheSettingsOrJobsSay)
{
    const struct
    {
        const char* ini; // the contents of vantrel.ini, or null for none
        std::vector<std::string> arguments;
        size_t most;
    } cases[] = {
        { nullptr, {}, 3 }, // the factory value, 4, is more than the servers
        { "[General]\nConcurrentChecks=2\n", {}, 2 },
        { "[General]\nConcurrentChecks=2\n", { "--jobs", "1" }, 1 },
        { nullptr, { "--jobs=3" }, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.most);
        test::ConnectionGauge inAll;
        std::vector<std::unique_ptr<test::HoldingServer>> servers;
        std::vector<TCheckItem> items;
        for (int i = 0; i < 3; ++i) {
            servers.push_back(
                std::make_unique<test::HoldingServer>(150ms, std::map<std::string, std::string> {}, &inAll));
            items.push_back(watched("item", servers.back()->url()));
        }
        writeSettings(items);
        std::remove(m_dir.file("vantrel.ini").c_str());
        if (c.ini)
            test::writeFile(m_dir.file("vantrel.ini"), c.ini);

        const test::ProgramResult result = check(c.arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(inAll.most(), c.most);
    }
}

TEST_F(HeadlessCheck, TerminationStopsTheRunAndKeepsWhatWasDone)
{
    for (const auto& [signal, status] : { std::pair { SIGTERM, 143 }, std::pair { SIGINT, 130 } }) {
        SCOPED_TRACE(status);
        test::HttpServer fast({ test::Reply::bytes(answerDated(NewDate)), test::Reply::bytes(answerDated(NewDate)) });
        test::HoldingServer slow(30s);
        writeSettings({ watched("done", fast.url("/a")), watched("held", slow.url("/b")),
            watched("not reached", fast.url("/c")) });

        test::TProgram program(Program, { "--check", "--jobs", "1" }, m_dir.path(), NoDisplay);
        const auto giveUp = std::chrono::steady_clock::now() + 20s;
        while (slow.paths().empty() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(5ms);
        ASSERT_FALSE(slow.paths().empty()) << "the held request never came";
        program.signal(signal);
        const test::ProgramResult result = program.wait();

        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_EQ(result.out, "updated\tdone\t" + fast.url("/a") + "\nstopped: checked 1 of 3, updated 1, failed 0\n");
        const TCheckItems items = readSettings();
        ASSERT_EQ(items.count(), 3u);
        EXPECT_EQ(items[0].status, ItemStatus::Update);
        EXPECT_EQ(items[0].lastModified(), NewDate);
        // The one in flight and the one after it are as they were.
        for (size_t i : { 1, 2 }) {
            EXPECT_EQ(items[i].status, ItemStatus::Normal) << i;
            EXPECT_EQ(items[i].lastCheck(), "") << i;
            EXPECT_EQ(items[i].lastModified(), OldDate) << i;
        }
    }
}

} // namespace
