#include "store/config.h"
#include "store/item_extension.h"
#include "store/store_file.h"

#include "notification_service.h"
#include "support/child_process.h"
#include "support/encoded_text.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const std::string Program = VANTREL_BINARY_DIR "/vantrel";

std::string page(const std::string& paragraphs)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body>" + paragraphs
        + "</body></html>";
}

// `vantrel --check --notify` on one ticked item that compares its page's text, checked once before, whose page
// has gained a paragraph since.
class CheckNotify : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TCheckItem item = newItemTemplate();
        item.title() = test::sjis("更新された頁");
        item.checkUri() = m_server.url("/a");
        item.compareLastModified = 0;
        item.compareContentLength = 0;
        item.setExtension(ExtKey::CompareText, "1");
        TConfig config;
        config.items.append(item);
        ASSERT_TRUE(writeSettingsFile(config, m_dir.file("vantrel.cfg")));
        ASSERT_EQ(test::runProgram(Program, { "--check", "--folder", m_dir.path() }, m_dir.path()).status, 0);
        // Stands in for the window, telling where and how it was started and whether it could hold the folder.
        test::writeFile(m_dir.file("window.sh"),
            "#!/bin/sh\n{ printf '%s\\n' \"$PWD\" \"$@\"; flock -n vantrel.lock true && echo free; } > \"$0.tmp\"\n"
            "mv \"$0.tmp\" \"$0.txt\"\n");
        ::chmod(m_dir.file("window.sh").c_str(), 0700);
        ::setenv("VANTREL_WINDOW_PROGRAM", m_dir.file("window.sh").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VANTREL_WINDOW_PROGRAM"); }

    test::ProgramResult check(const std::vector<std::string>& unset = {})
    {
        return test::runProgram(Program, { "--check", "--notify", "--folder", m_dir.path() }, m_dir.path(), unset);
    }

    std::string started() const
    {
        const QDeadlineTimer deadline(10000);
        while (!test::fileExists(m_dir.file("window.sh.txt")) && !deadline.hasExpired())
            QThread::msleep(10);
        return test::fileExists(m_dir.file("window.sh.txt")) ? test::readFile(m_dir.file("window.sh.txt")) : "";
    }

    test::HttpServer m_server { { test::Reply::bytes(page("<p>one</p>")),
        test::Reply::bytes(page("<p>one</p><p>新しい行 " + std::string(100, 'x') + "</p>")) } };
    test::TempDir m_dir;
};

TEST_F(CheckNotify, PostsOneNotificationWhoseActionStartsTheWindowOnTheSameFolder)
{
    TNotificationService service({}, QStringLiteral("show-changes"));
    const test::ProgramResult result = check();
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "");

    const auto calls = service.waitForCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].summary, QStringLiteral("1件中、1件が更新されています"));
    EXPECT_EQ(
        calls[0].body, QStringLiteral("更新された頁\n　新しい行 ") + QString(74, QLatin1Char('x')) + QChar(0x2026));
    EXPECT_TRUE(calls[0].actions.contains(QStringLiteral("変更点を表示")));
    EXPECT_EQ(started(), m_dir.path() + "\n--folder\n" + m_dir.path() + "/\nfree\n");
}

TEST_F(CheckNotify, WithoutASessionBusPostsNothingAndSaysNothing)
{
    TNotificationService service({}, QStringLiteral("show-changes"));
    const test::ProgramResult result = check({ "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR" });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.substr(0, 8), "updated\t");
    QThread::msleep(200);
    EXPECT_TRUE(service.waitForCalls(0).empty());
}

} // namespace
