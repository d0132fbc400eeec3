#include "base/exception.h"
#include "session/sjis_text.h"
#include "store/item_extension.h"
#include "store/store_file.h"
#include "ui/character_player.h"
#include "ui/check_list_model.h"
#include "ui/main_window.h"
#include "ui/run_notifier.h"

#include "support/checked_item.h"
#include "support/holding_server.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"
#include "support/tls_server.h"
#include "window_driver.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using test::answerDated;

const std::string DefaultCharacter = VANTREL_BINARY_DIR "/vantrel.dat";
const std::string OldDate = "Mon, 01 Jan 2024 00:00:00 GMT";
const std::string NewDate = "Tue, 02 Jan 2024 00:00:00 GMT";

// A ticked item that last saw OldDate and a length of 0, as the answers above give.
TCheckItem watched(const std::string& title, const std::string& uri, ItemStatus status = ItemStatus::Normal)
{
    TCheckItem item = newItemTemplate();
    item.title() = title;
    item.checkUri() = uri;
    item.status = status;
    item.compareLastModified = 1;
    item.lastModified() = OldDate;
    item.compareContentLength = 1;
    item.contentLength() = "0";
    item.check = 1;
    return item;
}

const QRegularExpression ClockText(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));

// The real window, started offscreen from a settings folder, with the character events it sends recorded.
class CheckRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::writeFile(program.file("vantrel.dat"), test::readFile(DefaultCharacter));
        config.reportMode = 1;
    }

    void start()
    {
        writeSettingsFile(config, settings.file("vantrel.cfg"));
        form = std::make_unique<TImgForm>();
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form->setPrompts(std::move(scripted));
        ASSERT_TRUE(form->startUp(settings.path(), program.path()));
        // One check at a time unless a test asks for more, so that a step can act while a request is in flight.
        form->updateSettings([this](TConfig& c) { c.concurrentChecks = concurrent; });
        ASSERT_NE(form->characterArea()->player(), nullptr);
        form->characterArea()->player()->eventPosted = [this](size_t code) { events.push_back(code); };
        form->showMain();
        QApplication::processEvents();
    }

    // Minimised into the notification area, where a notification must fetch the window from.
    void sendToTray()
    {
        form->updateSettings([](TConfig& c) { c.taskTray = 1; });
        form->tray()->setAvailability([] { return true; });
        form->setWindowState(Qt::WindowMinimized);
        for (int i = 0; i < 5 && !form->tray()->shown(); ++i)
            QApplication::processEvents();
        ASSERT_TRUE(form->tray()->shown());
    }

    // Runs `step` once from the client's pump as soon as the server has the whole request of connection
    // `connection` (counted from 0), that is while that item's request is in flight.
    void whileRequestInFlight(test::HttpServer& server, size_t connection, std::function<void()> step)
    {
        std::function<void()> pump = form->runController()->checker().client().Pump;
        form->runController()->checker().client().Pump
            = [this, &server, connection, step, pump, done = false]() mutable {
                  pump();
                  if (!done && server.connectionCount() > connection
                      && server.request(connection).find("\r\n\r\n") != std::string::npos) {
                      done = true;
                      step();
                  }
              };
    }

    QString panel(int index) const { return form->statusPanel(index)->text(); }
    bool ticked(int row) const { return test::rowTicked(*form, row); }
    bool selected(int row) const { return test::rowSelected(*form, row); }

    std::vector<int> enabledActions() const
    {
        std::vector<int> ids;
        for (int id = 0; id < ActionCount; ++id) {
            if (id != actShowChanges && (*form->actions())[id]->isEnabled())
                ids.push_back(id);
        }
        return ids;
    }
    // 変更点を表示 follows the current row, not the run, and is left out of both.
    std::vector<int> allActions() const
    {
        std::vector<int> ids;
        for (int id = 0; id < ActionCount; ++id) {
            if (id != actShowChanges)
                ids.push_back(id);
        }
        return ids;
    }

    test::TempDir settings;
    test::TempDir program;
    TConfig config;
    std::unique_ptr<TImgForm> form;
    test::ScriptedPrompts* prompts = nullptr;
    std::vector<size_t> events;
    int concurrent = 1;
};

const std::vector<int> RunActions = { actCheck, actStop, actRestore };

} // namespace

TEST_F(CheckRun, APartFailingAfterTheRunBeganLeavesTheWindowIdleWithEveryCommand)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(OldDate)) });
    config.items.append(watched("one", server.url("/1")));
    config.items.append(watched("two", server.url("/2")));
    start();
    // A part that fails on the first item done: the failure ends the run where it stands.
    QObject::connect(form->runController(), &TRunController::itemDone, form.get(),
        [](const std::string&, size_t, const TItemDone&) { throw TException("TStdFile"); });
    test::action(*form, "actRun")->trigger();

    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_TRUE(form->runController()->idle());
    EXPECT_EQ(enabledActions(), allActions());
    EXPECT_TRUE(form->itemList()->view()->isEnabled());
    EXPECT_TRUE(ticked(0));
    EXPECT_TRUE(ticked(1));
    // The list commands work again.
    test::action(*form, "actSelectAll")->trigger();
    EXPECT_TRUE(selected(0));
    EXPECT_TRUE(selected(1));
}

TEST_F(CheckRun, ThreeItemsOneUpdatedReportsCountsRestoresAndBeeps)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(NewDate)),
        test::Reply::bytes(answerDated(OldDate)) });
    config.items.append(watched("one", server.url("/1")));
    config.items.append(watched("two", server.url("/2")));
    config.items.append(watched("three", server.url("/3")));
    config.soundOnUpdate = 0;
    start();
    sendToTray();

    std::vector<int> enabledDuring;
    bool listEnabledDuring = true;
    bool idleDuring = true;
    QString stateDuring;
    QString titleDuring;
    whileRequestInFlight(server, 1, [&] {
        enabledDuring = enabledActions();
        listEnabledDuring = form->itemList()->view()->isEnabled();
        idleDuring = form->runController()->idle();
        stateDuring = panel(1);
        titleDuring = panel(2);
    });
    test::action(*form, "actRun")->trigger();

    EXPECT_EQ(server.connectionCount(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(server.request(i).rfind("HEAD /" + std::to_string(i + 1) + " HTTP/1.0\r\n", 0), 0u) << i;
    EXPECT_EQ(enabledDuring, RunActions);
    EXPECT_FALSE(listEnabledDuring);
    EXPECT_FALSE(idleDuring);
    EXPECT_EQ(stateDuring, QStringLiteral("確認中"));
    EXPECT_EQ(titleDuring, QStringLiteral("two"));

    EXPECT_EQ(form->itemList()->config().items[0].status, ItemStatus::Normal);
    EXPECT_EQ(form->itemList()->config().items[1].status, ItemStatus::Update);
    EXPECT_EQ(form->itemList()->config().items[1].lastModified(), NewDate);
    EXPECT_EQ(form->itemList()->config().items[2].status, ItemStatus::Normal);
    EXPECT_EQ(panel(2), QStringLiteral("3件中、1件が更新されています"));
    EXPECT_TRUE(ClockText.match(panel(0)).hasMatch()) << panel(0).toStdString();
    EXPECT_TRUE(ClockText.match(panel(1)).hasMatch()) << panel(1).toStdString();
    EXPECT_EQ(events, (std::vector<size_t> { 5, 9, 7 }));
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(ticked(row)) << row;
        EXPECT_TRUE(selected(row)) << row;
    }
    EXPECT_EQ(test::rowText(*form, 1, 3), QString::fromStdString(NewDate));

    // Restored from the tray, and the beep because the sound switch is off.
    EXPECT_FALSE(form->tray()->shown());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->runReporter()->notifier()->beepCount(), 1);
    EXPECT_EQ(form->runReporter()->notifier()->waveCount(), 0);

    EXPECT_TRUE(form->runController()->idle());
    EXPECT_TRUE(form->itemList()->view()->isEnabled());
    EXPECT_EQ(enabledActions(), allActions());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(prompts->warnings.empty());
}

TEST_F(CheckRun, NoUpdatesNotifiesOnlyWhenAlwaysAsked)
{
    struct Case
    {
        uint8_t reportMode;
        bool notified;
    };
    for (const Case& c : { Case { 1, false }, Case { 2, true } }) {
        SCOPED_TRACE(c.reportMode);
        events.clear();
        test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(OldDate)) });
        config.items.clear();
        config.items.append(watched("one", server.url("/1")));
        config.items.append(watched("two", server.url("/2")));
        config.reportMode = c.reportMode;
        config.soundOnUpdate = 0;
        config.soundOnNoUpdate = 1;
        config.soundNoUpdateFile().clear();
        start();
        sendToTray();

        test::action(*form, "actRun")->trigger();

        EXPECT_EQ(server.connectionCount(), 2u);
        EXPECT_EQ(panel(2), QStringLiteral("更新はありませんでした"));
        EXPECT_EQ(events, (std::vector<size_t> { 5, 7, 10 }));
        EXPECT_EQ(form->tray()->shown(), !c.notified);
        EXPECT_EQ(form->isVisible(), c.notified);
        // The sound switch is on with no file: a wave is asked for, nothing is played and no beep replaces it.
        EXPECT_EQ(form->runReporter()->notifier()->waveCount(), c.notified ? 1 : 0);
        EXPECT_TRUE(form->runReporter()->notifier()->waveSource().isEmpty());
        EXPECT_EQ(form->runReporter()->notifier()->beepCount(), 0);
        EXPECT_TRUE(form->runController()->idle());
        EXPECT_EQ(enabledActions(), allActions());
        form.reset();
    }
}

TEST_F(CheckRun, NoTickedRowChangesNothing)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(NewDate)) });
    config.items.append(watched("one", server.url("/1")));
    config.items.append(watched("two", server.url("/2")));
    start();
    test::setTicked(*form, 0, false);
    test::setTicked(*form, 1, false);
    for (int i = 0; i < 3; ++i)
        form->statusPanel(i)->setText(QStringLiteral("before %1").arg(i));
    const TCheckItem second = form->itemList()->config().items[1];

    test::action(*form, "actRun")->trigger();

    EXPECT_EQ(server.connectionCount(), 0u);
    EXPECT_TRUE(events.empty());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(panel(i), QStringLiteral("before %1").arg(i));
    EXPECT_EQ(form->itemList()->config().items[0].check, 0);
    TCheckItem expected = second;
    expected.check = 0;
    EXPECT_EQ(form->itemList()->config().items[1], expected);
    EXPECT_TRUE(form->runController()->idle());
    EXPECT_EQ(enabledActions(), allActions());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CheckRun, StopDuringTheSecondOfFiveKeepsItAndSkipsTheRest)
{
    struct Case
    {
        std::string firstAnswer;
        QString summary;
        std::vector<size_t> events;
    };
    const Case cases[] = {
        { answerDated(OldDate), QStringLiteral("更新はありませんでした"), { 5, 6, 10 } },
        { answerDated(NewDate), QStringLiteral("5件中、1件が更新されています"), { 5, 9, 6 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary.toStdString());
        events.clear();
        test::HttpServer server({ test::Reply::bytes(c.firstAnswer), test::Reply::stall() });
        config.items.clear();
        for (int i = 1; i <= 5; ++i)
            config.items.append(watched("item" + std::to_string(i), server.url("/" + std::to_string(i))));
        config.reportMode = 0;
        start();
        const std::vector<TCheckItem> before(
            form->itemList()->config().items.begin(), form->itemList()->config().items.end());

        std::vector<bool> ticksDuring;
        std::vector<int> enabledDuring;
        whileRequestInFlight(server, 1, [&] {
            for (int row = 0; row < 5; ++row)
                ticksDuring.push_back(ticked(row));
            enabledDuring = enabledActions();
            test::action(*form, "actStop")->trigger();
        });
        test::action(*form, "actRun")->trigger();

        EXPECT_EQ(server.connectionCount(), 2u);
        // Item 1 was done, item 2 was in flight, the others still to do.
        EXPECT_EQ(ticksDuring, (std::vector<bool> { true, false, false, false, false }));
        EXPECT_EQ(enabledDuring, RunActions);
        for (size_t i = 1; i < 5; ++i)
            EXPECT_EQ(form->itemList()->config().items[i], before[i]) << i;
        for (int row = 0; row < 5; ++row)
            EXPECT_TRUE(ticked(row)) << row;
        // The stopped item's row is still refilled and selected; the rows not reached are not.
        EXPECT_TRUE(selected(0));
        EXPECT_TRUE(selected(1));
        EXPECT_FALSE(selected(2));
        EXPECT_EQ(panel(2), c.summary);
        EXPECT_EQ(events, c.events);
        EXPECT_TRUE(form->runController()->idle());
        EXPECT_TRUE(form->itemList()->view()->isEnabled());
        EXPECT_EQ(enabledActions(), allActions());

        // The next run starts afresh: the stop does not carry over.
        server.add(answerDated(OldDate));
        test::setTicked(*form, 0, false);
        for (int row = 2; row < 5; ++row)
            test::setTicked(*form, row, false);
        test::action(*form, "actRun")->trigger();
        EXPECT_EQ(server.connectionCount(), 3u);
        EXPECT_EQ(form->itemList()->config().items[1].status, ItemStatus::Normal);
        form.reset();
    }
}

TEST_F(CheckRun, AnUpdatedItemCountsAgainOnlyWhenChangedAgain)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(NewDate)),
        test::Reply::bytes(answerDated(NewDate)), test::Reply::bytes(answerDated(OldDate)) });
    config.items.append(watched("seen", server.url("/1"), ItemStatus::Update));
    config.items.append(watched("new", server.url("/2"), ItemStatus::Initial));
    start();

    // Nothing changed for the updated item, and a new item's first answer never counts.
    test::action(*form, "actRun")->trigger();
    EXPECT_EQ(form->itemList()->config().items[0].status, ItemStatus::Update);
    EXPECT_EQ(form->itemList()->config().items[1].status, ItemStatus::Normal);
    EXPECT_EQ(panel(2), QStringLiteral("更新はありませんでした"));
    EXPECT_EQ(events, (std::vector<size_t> { 5, 7, 10 }));

    events.clear();
    test::action(*form, "actRun")->trigger();
    EXPECT_EQ(form->itemList()->config().items[0].status, ItemStatus::Update);
    EXPECT_EQ(form->itemList()->config().items[1].status, ItemStatus::Update);
    EXPECT_EQ(panel(2), QStringLiteral("2件中、2件が更新されています"));
    EXPECT_EQ(events, (std::vector<size_t> { 5, 9, 7 }));
}

TEST_F(CheckRun, SoundOnPlaysTheWaveFileOnlyWhenItCanBeRead)
{
    // A real PCM wave: 8 kHz, 8 bits, mono, 800 samples of silence.
    std::string wave = "RIFF";
    auto le32 = [](uint32_t v) { return std::string { char(v), char(v >> 8), char(v >> 16), char(v >> 24) }; };
    wave += le32(36 + 800) + "WAVEfmt " + le32(16) + std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000)
        + std::string("\x01\x00\x08\x00", 4) + "data" + le32(800) + std::string(800, '\x80');
    const std::string wavePath = settings.file("update.wav");
    test::writeFile(wavePath, wave);

    struct Case
    {
        std::string file;
        bool played;
    };
    for (const Case& c : { Case { wavePath, true }, Case { settings.file("missing.wav"), false } }) {
        SCOPED_TRACE(c.file);
        test::HttpServer server({ test::Reply::bytes(answerDated(NewDate)) });
        config.items.clear();
        config.items.append(watched("one", server.url("/1")));
        config.soundOnUpdate = 1;
        config.soundUpdateFile() = c.file;
        start();

        test::action(*form, "actRun")->trigger();

        EXPECT_EQ(panel(2), QStringLiteral("1件中、1件が更新されています"));
        EXPECT_EQ(form->runReporter()->notifier()->waveCount(), 1);
        EXPECT_EQ(form->runReporter()->notifier()->beepCount(), 0);
        EXPECT_EQ(form->runReporter()->notifier()->waveSource(),
            c.played ? QUrl::fromLocalFile(QString::fromStdString(c.file)) : QUrl());
        EXPECT_TRUE(prompts->warnings.empty());
        EXPECT_TRUE(form->runController()->idle());
        form.reset();
    }
}

TEST_F(CheckRun, ClosingDuringARunAsksAndClosesOnceTheRunHasUnwound)
{
    // OK: the request in flight is cancelled, nothing more is checked, and the window closes after the run.
    {
        test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::stall() });
        config.items.clear();
        for (int i = 1; i <= 3; ++i)
            config.items.append(watched("item" + std::to_string(i), server.url("/" + std::to_string(i))));
        start();
        const TCheckItem second = form->itemList()->config().items[1];
        prompts->answers.push_back(true);
        bool stillRunningAfterAnswer = false;
        bool visibleAfterAnswer = false;
        whileRequestInFlight(server, 1, [&] {
            form->close();
            stillRunningAfterAnswer = !form->runController()->idle();
            visibleAfterAnswer = form->isVisible();
        });
        test::action(*form, "actRun")->trigger();

        ASSERT_EQ(prompts->questions.size(), 1u);
        EXPECT_EQ(prompts->questions[0].text, QStringLiteral("確認中ですが終了しますか？"));
        EXPECT_TRUE(stillRunningAfterAnswer);
        EXPECT_TRUE(visibleAfterAnswer);
        EXPECT_EQ(server.connectionCount(), 2u);
        EXPECT_EQ(form->itemList()->config().items[1], second);
        EXPECT_EQ(events, (std::vector<size_t> { 5, 6, 10 }));
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(form->runController()->idle());
        form.reset();
    }
    // Cancel: the run goes on to the end and the window stays.
    {
        events.clear();
        test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(OldDate)),
            test::Reply::bytes(answerDated(OldDate)) });
        config.items.clear();
        for (int i = 1; i <= 3; ++i)
            config.items.append(watched("item" + std::to_string(i), server.url("/" + std::to_string(i))));
        start();
        prompts->answers.push_back(false);
        whileRequestInFlight(server, 1, [&] { form->close(); });
        test::action(*form, "actRun")->trigger();

        EXPECT_EQ(prompts->questions.size(), 1u);
        EXPECT_EQ(server.connectionCount(), 3u);
        EXPECT_EQ(events, (std::vector<size_t> { 5, 7, 10 }));
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->runController()->idle());
        EXPECT_EQ(enabledActions(), allActions());
    }
}

TEST_F(CheckRun, AnUntickedRowBetweenIsNeitherCheckedNorSelected)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(OldDate)), test::Reply::bytes(answerDated(OldDate)),
        test::Reply::bytes(answerDated(OldDate)) });
    for (int i = 1; i <= 4; ++i)
        config.items.append(watched("item" + std::to_string(i), server.url("/" + std::to_string(i))));
    start();
    test::setTicked(*form, 1, false);
    const TCheckItem skipped = form->itemList()->config().items[1];

    test::action(*form, "actRun")->trigger();

    ASSERT_EQ(server.connectionCount(), 3u);
    EXPECT_EQ(server.request(1).rfind("HEAD /3 ", 0), 0u);
    EXPECT_EQ(panel(2), QStringLiteral("更新はありませんでした"));
    const bool expected[4] = { true, false, true, true };
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(ticked(row), expected[row]) << row;
        EXPECT_EQ(selected(row), expected[row]) << row;
    }
    TCheckItem unticked = skipped;
    unticked.check = 0;
    EXPECT_EQ(form->itemList()->config().items[1], unticked);
}

TEST_F(CheckRun, TheReasonOfAFailureIsShownInItsRowUntilTheNextSuccess)
{
    test::TlsAuthority authority;
    authority.writeTrustFile(program.file("trust.pem"));
    const test::TrustOnly trusted(program.file("trust.pem"));
    test::TlsServer expired(authority.issue("127.0.0.1", -2));
    test::SilentListener silent; // the connect waits for the client's time-out, which is never below a minute
    test::HttpServer missing({ test::Reply::bytes("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n") });
    test::HttpServer cut({ test::Reply::bytes("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc") });
    struct Case
    {
        const char* kind;
        std::string url;
        QString reason;
    };
    const Case cases[] = {
        { "refused", "http://127.0.0.1:" + std::to_string(test::closedPort()) + "/",
            QStringLiteral("Connection Failed") },
        { "time-out", "http://127.0.0.1:" + std::to_string(silent.port()) + "/",
            QStringLiteral("Connection Timed out") },
        { "certificate", expired.url("/"), QStringLiteral("Certificate verify failed: certificate has expired") },
        { "404", missing.url("/"), QStringLiteral("HTTP/1.0 404 Not Found") },
        { "incomplete", cut.url("/"), QStringLiteral("Incomplete response") },
    };
    for (const Case& c : cases) {
        config.items.append(watched(c.kind, c.url));
        config.items[config.items.count() - 1].useGet = 1; // only a GET is held to its Content-Length
    }
    concurrent = 8; // all at once, so the time-out is waited for once
    start();
    test::action(*form, "actRun")->trigger();

    const QColor plain = form->itemList()->view()->palette().color(QPalette::Text);
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(cases[row].kind);
        EXPECT_EQ(form->itemList()->config().items[static_cast<size_t>(row)].status, ItemStatus::Error);
        EXPECT_EQ(test::rowText(*form, row, 5), cases[row].reason);
        const QVariant colour = test::cell(*form, row, 5).data(Qt::ForegroundRole);
        ASSERT_TRUE(colour.canConvert<QColor>());
        EXPECT_NE(colour.value<QColor>(), plain);
        for (int column = 0; column < 6; ++column)
            EXPECT_EQ(test::cell(*form, row, column).data(Qt::ToolTipRole).toString(), cases[row].reason) << column;
    }

    test::HoldingServer good(std::chrono::milliseconds(0));
    for (int row = 0; row < 5; ++row)
        form->itemList()->config().items[static_cast<size_t>(row)].checkUri() = good.url("/" + std::to_string(row));
    test::action(*form, "actRun")->trigger();
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(cases[row].kind);
        EXPECT_EQ(test::rowText(*form, row, 5), QStringLiteral("HTTP/1.0 200 OK"));
        EXPECT_FALSE(test::cell(*form, row, 5).data(Qt::ForegroundRole).isValid());
        EXPECT_FALSE(test::cell(*form, row, 0).data(Qt::ToolTipRole).isValid());
    }
}

TEST_F(CheckRun, TheStoredSettingsKeepAFailureAsBeforeAndTheIniTheRest)
{
    config.items.append(watched("refused", "http://127.0.0.1:" + std::to_string(test::closedPort()) + "/"));
    test::HoldingServer good(std::chrono::milliseconds(20));
    config.items.append(watched("fine", good.url("/")));
    concurrent = 3;
    start();
    test::action(*form, "actRun")->trigger();
    ASSERT_EQ(form->itemList()->config().items[0].failureReason, "Connection Failed");
    form.reset();

    // The settings file is what it always was: the failure as Error with an empty response, and its count.
    TConfig written;
    readSettingsFile(written, settings.file("vantrel.cfg"));
    TConfig expected = config;
    expected.items[0].status = ItemStatus::Error;
    expected.items[0].response().clear();
    expected.items[0].setExtension(ExtKey::Failures, "1");
    expected.items[1].response() = "HTTP/1.0 200 OK";
    expected.items[1].lastCheck() = written.items[1].lastCheck();
    expected.items[1].lastCheckTime = written.items[1].lastCheckTime;
    expected.items[1].lastModifiedTime = written.items[1].lastModifiedTime;
    expected.columnWidths = written.columnWidths;
    expected.characterFile() = written.characterFile();
    expected.characterName() = written.characterName();
    writeSettingsFile(expected, program.file("expected.cfg"));
    EXPECT_EQ(test::readFile(settings.file("vantrel.cfg")), test::readFile(program.file("expected.cfg")));
    EXPECT_NE(test::readFile(settings.file("vantrel.ini")).find("ConcurrentChecks=3"), std::string::npos);
}

TEST_F(CheckRun, TheRowsDoneEndAsOneSelectedRange)
{
    // With checks at once the later rows end first here, so the rows done meet only as the run goes on.
    struct Case
    {
        int concurrent;
        int holdStepMs;
    };
    for (const Case& c : { Case { 1, 0 }, Case { 4, 15 } }) {
        SCOPED_TRACE(c.concurrent);
        constexpr int Rows = 8;
        std::vector<std::unique_ptr<test::HoldingServer>> servers;
        config.items.clear();
        for (int i = 0; i < Rows; ++i) {
            const auto hold = std::chrono::milliseconds((Rows - i) * c.holdStepMs);
            servers.push_back(std::make_unique<test::HoldingServer>(hold));
            config.items.append(watched("item" + std::to_string(i), servers.back()->url("/")));
        }
        concurrent = c.concurrent;
        start();

        test::action(*form, "actRun")->trigger();

        const QItemSelection selection = form->itemList()->view()->selectionModel()->selection();
        ASSERT_EQ(selection.size(), 1);
        EXPECT_EQ(selection[0].top(), 0);
        EXPECT_EQ(selection[0].bottom(), Rows - 1);
        EXPECT_EQ(selection[0].left(), 0);
        EXPECT_EQ(selection[0].right(), form->itemList()->model()->columnCount() - 1);
        form.reset();
    }
}

TEST_F(CheckRun, ADoneRowReachesTheListWhileTheRunGoesOn)
{
    test::HttpServer server({ test::Reply::bytes(answerDated(NewDate)), test::Reply::stall() });
    config.items.append(watched("one", server.url("/1")));
    config.items.append(watched("two", server.url("/2")));
    start();
    QSignalSpy changed(form->itemList()->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy resets(form->itemList()->model(), &QAbstractItemModel::modelReset);

    // The view is told at the window's pace: while the second request hangs, the pump runs well past it.
    bool rowChanged = false;
    bool rowSelected = false;
    std::function<void()> pump = form->runController()->checker().client().Pump;
    std::chrono::steady_clock::time_point inFlight;
    form->runController()->checker().client().Pump = [&] {
        pump();
        if (server.connectionCount() < 2 || server.request(1).find("\r\n\r\n") == std::string::npos
            || form->runController()->stopped())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (inFlight == std::chrono::steady_clock::time_point())
            inFlight = now;
        if (now - inFlight < std::chrono::milliseconds(50))
            return;
        for (const QList<QVariant>& signal : changed) {
            const auto top = signal[0].value<QModelIndex>();
            const auto bottom = signal[1].value<QModelIndex>();
            rowChanged = rowChanged || (top.row() == 0 && top.column() == 0 && bottom.column() == 5);
        }
        rowSelected = selected(0);
        test::action(*form, "actStop")->trigger();
    };
    test::action(*form, "actRun")->trigger();

    EXPECT_TRUE(rowChanged);
    EXPECT_TRUE(rowSelected);
    EXPECT_EQ(resets.size(), 0);
}
