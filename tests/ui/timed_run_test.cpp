#include "session/sjis_text.h"
#include "store/store_file.h"
#include "ui/main_window.h"
#include "ui/run_notifier.h"
#include "ui/run_schedule.h"

#include "support/checked_item.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"
#include "window_driver.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using test::answerDated;
using test::watchedItem;

const std::string DefaultCharacter = VANTREL_BINARY_DIR "/vantrel.dat";
const std::string OldDate = test::WatchedSince;
const std::string NewDate = "Tue, 02 Jan 2024 00:00:00 GMT";

// The real window started offscreen from a settings folder, with the schedule on a clock the test moves.
class TimedRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::writeFile(program.file("vantrel.dat"), test::readFile(DefaultCharacter));
        config.reportMode = 1;
    }

    void start(bool show = true)
    {
        writeSettingsFile(config, settings.file("vantrel.cfg"));
        form = std::make_unique<TImgForm>();
        form->setPrompts(std::make_unique<test::ScriptedPrompts>());
        // Before start-up, which plans the run at start and the interval kept in vantrel.ini by this clock.
        schedule()->setClock([this] { return now; });
        ASSERT_TRUE(form->startUp(settings.path(), program.path()));
        if (show) {
            form->showMain();
            QApplication::processEvents();
        }
    }

    void setInterval(int minutes)
    {
        form->updateSettings([minutes](TConfig& c) { c.checkInterval = minutes; });
    }

    // Moves the clock and lets the schedule look, as its timer would.
    void passMinutes(int minutes)
    {
        now = now.addSecs(minutes * 60);
        schedule()->poll();
    }

    void sendToTray(bool trayOption = true)
    {
        form->updateSettings([trayOption](TConfig& c) { c.taskTray = trayOption ? 1 : 0; });
        form->setWindowState(Qt::WindowMinimized);
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }

    TRunSchedule* schedule() const { return form->runReporter()->schedule(); }
    QString panel(int index) const { return form->statusPanel(index)->text(); }
    const std::vector<TRunNotifier::TMessage>& messages() const { return form->runReporter()->notifier()->messages(); }

    test::TempDir settings;
    test::TempDir program;
    TConfig config;
    std::unique_ptr<TImgForm> form;
    QDateTime now { QDate(2026, 12, 9), QTime(14, 25) };
};

} // namespace

TEST_F(TimedRun, IntervalAndStartSwitchComeFromTheIniAndGoBack)
{
    const std::tuple<const char*, int, bool> cases[] = {
        { "", 0, false },
        { "CheckInterval=5\nCheckAtStart=true\n", 5, true },
        { "CheckInterval=1440\nCheckAtStart=1\n", 1440, true },
        { "CheckInterval=3\nCheckAtStart=yes please\n", 5, false },
        { "CheckInterval=1441\n", 1440, false },
        { "CheckInterval=-30\n", 0, false },
        { "CheckInterval=hourly\n", 0, false },
    };
    for (const auto& [text, interval, atStart] : cases) {
        SCOPED_TRACE(text);
        test::writeFile(settings.file("vantrel.ini"), std::string("[General]\n") + text);
        start(false);
        EXPECT_EQ(form->settings().checkInterval, interval);
        EXPECT_EQ(form->settings().checkAtStart != 0, atStart);
        EXPECT_EQ(schedule()->interval(), interval);
        form->updateSettings([](TConfig& c) { c.checkInterval = 30; });
        form.reset();
        const std::string ini = test::readFile(settings.file("vantrel.ini"));
        EXPECT_NE(ini.find("CheckInterval=30\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find(atStart ? "CheckAtStart=true\n" : "CheckAtStart=false\n"), std::string::npos) << ini;
    }
}

TEST_F(TimedRun, StartsWhenDueCountsFromTheLastRunAndTellsTheNext)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(NewDate)), test::Reply::bytes(answerDated(NewDate)) });
    config.items.append(watchedItem("one", server.url("/1")));
    start();

    struct Step
    {
        std::function<void()> act;
        size_t runs;
        QString panel;
    };
    const QString updated = QStringLiteral("1件中、1件が更新されています");
    const Step steps[] = {
        { [] {}, 0, QString() },
        { [this] { setInterval(5); }, 0, QStringLiteral("次回の確認 14:30") },
        { [this] { passMinutes(4); }, 0, QStringLiteral("次回の確認 14:30") },
        { [this] { passMinutes(1); }, 1, updated + QStringLiteral("　次回の確認 14:35") },
        // A run the user starts counts too.
        { [this] {
             passMinutes(2);
             test::action(*form, "actRun")->trigger();
         },
            2, QStringLiteral("更新はありませんでした　次回の確認 14:37") },
        { [this] { setInterval(60); }, 2, QStringLiteral("更新はありませんでした　次回の確認 15:32") },
        { [this] {
             setInterval(0);
             passMinutes(24 * 60);
         },
            2, QStringLiteral("更新はありませんでした") },
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        steps[i].act();
        EXPECT_EQ(server.connectionCount(), steps[i].runs);
        EXPECT_EQ(panel(2), steps[i].panel);
        // The timer looks again at least every minute while a run is planned.
        EXPECT_EQ(schedule()->timer().isActive(), !schedule()->nextRun().isNull());
        EXPECT_LE(schedule()->timer().interval(), TRunSchedule::LongestWaitMs);
    }
}

TEST_F(TimedRun, DueRunWaitsWhileAModalIsOpen)
{
    test::HttpServer server(std::vector<test::Reply>(4, test::Reply::bytes(answerDated(OldDate))));
    config.items.append(watchedItem("one", server.url("/1")));
    start();
    setInterval(5);
    auto* fileDialog = new QFileDialog(form.get());
    fileDialog->setOption(QFileDialog::DontUseNativeDialog);
    QDialog* const dialogs[] = { new QDialog(form.get()),
        new QMessageBox(
            QMessageBox::Question, QStringLiteral("Vantrel"), QStringLiteral("?"), QMessageBox::Ok, form.get()),
        fileDialog };
    for (size_t i = 0; i < std::size(dialogs); ++i) {
        SCOPED_TRACE(i);
        dialogs[i]->setModal(true);
        dialogs[i]->show();
        ASSERT_EQ(QApplication::activeModalWidget(), dialogs[i]);
        passMinutes(10);
        QTest::qWait(2 * TRunSchedule::RetryMs);
        EXPECT_EQ(server.connectionCount(), i);
        // Closed, the timer's next look starts the run.
        dialogs[i]->reject();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return server.connectionCount() == i + 1 && form->runController()->idle(); }));
    }

    // A command of the window's own holds it back the same way.
    form->itemList()->guarded([this] { passMinutes(10); });
    EXPECT_EQ(server.connectionCount(), 3u);
    schedule()->poll();
    EXPECT_EQ(server.connectionCount(), 4u);
}

TEST_F(TimedRun, NoTimedRunStartsDuringARun)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(OldDate)) });
    config.items.append(watchedItem("one", server.url("/1")));
    config.items.append(watchedItem("two", server.url("/2")));
    start();
    setInterval(5);

    bool idleDuring = true;
    std::function<void()> pump = form->runController()->checker().client().Pump;
    form->runController()->checker().client().Pump = [&, pump, done = false]() mutable {
        pump();
        if (!done && server.connectionCount() >= 1) { // both items may connect between two pumps
            done = true;
            idleDuring = form->runController()->idle();
            passMinutes(10);
        }
    };
    test::action(*form, "actRun")->trigger();

    EXPECT_FALSE(idleDuring);
    EXPECT_EQ(server.connectionCount(), 2u);
    EXPECT_EQ(schedule()->nextRun(), now.addSecs(5 * 60));
    EXPECT_TRUE(form->runController()->idle());
}

TEST_F(TimedRun, RunsAtStartOnceTheWindowIsUp)
{
    for (bool atStart : { true, false }) {
        SCOPED_TRACE(atStart);
        test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)) });
        config.items.clear();
        config.items.append(watchedItem("one", server.url("/1")));
        test::writeFile(settings.file("vantrel.ini"),
            std::string("[General]\nCheckAtStart=") + (atStart ? "true" : "false") + "\n");
        start(false);
        schedule()->poll();
        EXPECT_EQ(server.connectionCount(), 0u);

        form->showMain();
        // Off, nothing comes within a few of the schedule's looks.
        EXPECT_EQ(QTest::qWaitFor([&] { return server.connectionCount() > 0; }, 3 * TRunSchedule::RetryMs), atStart);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->runController()->idle(); }));
        EXPECT_EQ(server.connectionCount(), atStart ? 1u : 0u);
        form.reset();
    }
}

TEST_F(TimedRun, EndOfRunNotifiesOrRaisesTheWindow)
{
    struct Case
    {
        const char* what;
        bool timed;
        bool trayOption; // minimised into the tray, or to the task bar only
        bool trayAvailable;
        uint8_t reportMode;
        int updated; // of six items
        QString message; // none when empty: the window comes back instead
    };
    const QString six = QStringLiteral("6件中、6件が更新されています\n更新一\nb\nc\nd\ne");
    const Case cases[] = {
        { "timed, in the tray", true, true, true, 1, 6, six },
        { "timed, minimised", true, false, true, 1, 6, six },
        { "timed, always, nothing updated", true, true, true, 2, 0, QStringLiteral("更新はありませんでした") },
        { "timed, one of six", true, true, true, 1, 1, QStringLiteral("6件中、1件が更新されています\n更新一") },
        { "started by the user", false, true, true, 1, 6, QString() },
        { "timed, no tray on the desktop", true, false, false, 1, 6, QString() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<test::Reply> replies;
        for (int i = 0; i < 6; ++i)
            replies.push_back(test::Reply::bytes(answerDated(i < c.updated ? NewDate : OldDate)));
        test::HttpServer server(replies);
        config.items.clear();
        const char* titles[] = { "\x8dX\x90V\x88\xea" /* 更新一 */, "b", "c", "d", "e", "f" };
        for (int i = 0; i < 6; ++i)
            config.items.append(watchedItem(titles[i], server.url("/" + std::to_string(i))));
        config.reportMode = c.reportMode;
        config.soundOnUpdate = 0;
        start();
        form->tray()->setAvailability([&c] { return c.trayAvailable; });
        setInterval(5);
        sendToTray(c.trayOption);
        ASSERT_EQ(form->tray()->shown(), c.trayOption && c.trayAvailable);

        if (c.timed)
            passMinutes(5);
        else
            test::action(*form, "actRun")->trigger();

        EXPECT_EQ(server.connectionCount(), 6u);
        EXPECT_EQ(form->runReporter()->notifier()->beepCount(), 1);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(messages().empty());
            EXPECT_TRUE(form->isVisible());
            EXPECT_FALSE(form->isMinimized());
            EXPECT_FALSE(form->tray()->shown());
        } else {
            ASSERT_EQ(messages().size(), 1u);
            EXPECT_EQ(messages()[0].title, QStringLiteral("Vantrel"));
            EXPECT_EQ(messages()[0].body, c.message);
            // Left where it was: in the tray, or minimised.
            EXPECT_EQ(form->isVisible(), !c.trayOption);
            EXPECT_TRUE(form->isMinimized());
            EXPECT_TRUE(form->tray()->shown());

            // A click on the message brings the window back.
            emit form->tray()->icon()->messageClicked();
            EXPECT_TRUE(form->isVisible());
            EXPECT_FALSE(form->isMinimized());
            EXPECT_FALSE(form->tray()->shown());
        }
        form.reset();
    }
}
