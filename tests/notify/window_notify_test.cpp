#include "store/config.h"
#include "store/store_file.h"
#include "ui/item_list.h"
#include "ui/main_window.h"
#include "ui/run_controller.h"
#include "ui/run_notifier.h"
#include "ui/run_reporter.h"
#include "ui/run_schedule.h"
#include "ui/tray.h"

#include "notification_service.h"
#include "support/encoded_text.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TCheckItem watched(const std::string& title, const std::string& uri)
{
    TCheckItem item = newItemTemplate();
    item.title() = title;
    item.checkUri() = uri;
    item.status = ItemStatus::Normal;
    item.compareLastModified = 1;
    item.lastModified() = "Mon, 01 Jan 2024 00:00:00 GMT";
    item.compareContentLength = 0;
    item.check = 1;
    return item;
}

std::string answer(const std::string& lastModified)
{
    return "HTTP/1.0 200 OK\r\nLast-Modified: " + lastModified + "\r\nContent-Length: 0\r\n\r\n";
}

// A timed run ends while the window is minimised on a desktop without a tray: the notification goes to the
// desktop's service, and its action brings the window back on the updated item.
TEST(WindowNotify, TimedRunWithoutATrayPostsToTheServiceWhoseActionShowsTheUpdatedItem)
{
    TNotificationService service;
    test::HttpServer server({ test::Reply::bytes(answer("Mon, 01 Jan 2024 00:00:00 GMT")),
        test::Reply::bytes(answer("Tue, 02 Jan 2024 00:00:00 GMT")) });
    test::TempDir settings;
    test::TempDir program;
    test::writeFile(program.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
    TConfig config;
    config.reportMode = 1;
    config.soundOnUpdate = 0;
    config.items.append(watched("same", server.url("/1")));
    config.items.append(watched(test::sjis("更新された頁"), server.url("/2")));
    ASSERT_TRUE(writeSettingsFile(config, settings.file("vantrel.cfg")));

    QDateTime now(QDate(2026, 12, 9), QTime(14, 25));
    auto form = std::make_unique<TImgForm>();
    form->runReporter()->schedule()->setClock([&now] { return now; });
    ASSERT_TRUE(form->startUp(settings.path(), program.path()));
    form->showMain();
    form->tray()->setAvailability([] { return false; });
    form->updateSettings([](TConfig& c) {
        c.checkInterval = 5;
        c.taskTray = 1;
    });
    form->setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    now = now.addSecs(5 * 60);
    form->runReporter()->schedule()->poll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->runController()->idle(); }));
    ASSERT_EQ(server.connectionCount(), 2u);

    const auto calls = service.waitForCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].summary, QStringLiteral("2件中、1件が更新されています"));
    EXPECT_EQ(calls[0].body, QStringLiteral("更新された頁"));
    EXPECT_TRUE(calls[0].actions.contains(QStringLiteral("変更点を表示")));
    EXPECT_TRUE(form->runReporter()->notifier()->messages().empty()) << "no tray balloon beside it";
    EXPECT_TRUE(form->isMinimized());

    service.invokeAction(calls[0].id, QStringLiteral("show-changes"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isMinimized(); }));
    EXPECT_EQ(form->itemList()->view()->currentIndex().row(), 1);
}

} // namespace
