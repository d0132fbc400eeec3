#include "store/config.h"
#include "store/item_extension.h"
#include "store/store_file.h"
#include "ui/changes_window.h"
#include "ui/item_list.h"
#include "ui/main_window.h"
#include "ui/run_controller.h"
#include "ui/run_notifier.h"
#include "ui/run_reporter.h"
#include "ui/run_schedule.h"
#include "ui/tray.h"

#include "notification_service.h"
#include "support/checked_item.h"
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

// A timed run ends while the window is minimised on a desktop without a tray: the notification goes to the
// desktop's service, and its action brings the window back on the updated item.
TEST(WindowNotify, TimedRunWithoutATrayPostsToTheServiceWhoseActionShowsTheUpdatedItem)
{
    TNotificationService service;
    const std::string oldAnswer = test::answerDated(test::WatchedSince);
    const std::string newAnswer = test::answerDated("Tue, 02 Jan 2024 00:00:00 GMT");
    const std::string gone = "HTTP/1.0 404 Not Found\r\n\r\n";
    // A server each, as the checks run several at once; two timed runs.
    test::HttpServer same({ test::Reply::bytes(oldAnswer), test::Reply::bytes(oldAnswer) });
    test::HttpServer updated({ test::Reply::bytes(newAnswer), test::Reply::bytes(newAnswer) });
    test::HttpServer failing(
        { test::Reply::bytes(gone), test::Reply::bytes(gone), test::Reply::bytes(gone), test::Reply::bytes(gone) });
    test::TempDir settings;
    test::TempDir program;
    test::writeFile(program.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
    TConfig config;
    config.reportMode = 1;
    config.soundOnUpdate = 0;
    config.items.append(test::watchedItem("same", same.url("/1")));
    config.items.append(test::watchedItem(test::sjis("更新された頁"), updated.url("/2")));
    // Failing for the third time in this run, and in the next.
    TCheckItem third = test::watchedItem("third", failing.url("/3"));
    third.setExtension(ExtKey::Failures, "2");
    TCheckItem fourth = test::watchedItem("fourth", failing.url("/4"));
    fourth.setExtension(ExtKey::Failures, "1");
    config.items.append(third);
    config.items.append(fourth);
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
    ASSERT_EQ(failing.connectionCount(), 2u);

    auto calls = service.waitForCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].summary, QStringLiteral("4件中、1件が更新されています"));
    EXPECT_EQ(calls[0].body, QStringLiteral("更新された頁\n確認できなくなったページ\n　third"));
    EXPECT_TRUE(calls[0].actions.contains(QStringLiteral("変更点を表示")));
    EXPECT_TRUE(form->runReporter()->notifier()->messages().empty()) << "no tray balloon beside it";
    EXPECT_TRUE(form->isMinimized());

    service.invokeAction(calls[0].id, QStringLiteral("show-changes"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isMinimized(); }));
    EXPECT_EQ(form->itemList()->view()->currentIndex().row(), 1);
    EXPECT_NE(form->changesWindows()->window(config.items[1].id()), nullptr) << "the action opens its changes";

    form->setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    // A run whose only news is a page that stopped answering still tells it.
    now = now.addSecs(5 * 60);
    form->runReporter()->schedule()->poll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->runController()->idle(); }));
    calls = service.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].summary, QStringLiteral("更新はありませんでした"));
    EXPECT_EQ(calls[1].body, QStringLiteral("確認できなくなったページ\n　fourth"));
}

} // namespace
