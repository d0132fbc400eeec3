#include "ui/changes_window.h"

#include "store/store_file.h"
#include "ui/check_list_model.h"
#include "ui/item_list.h"
#include "ui/main_window.h"
#include "ui/run_controller.h"

#include "page_history.h"
#include "support/temp_dir.h"
#include "support/test_config.h"
#include "window_driver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

template <typename T>
T* child(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no child named ") + name);
    return found;
}

class ChangesWindow : public ::testing::Test
{
protected:
    // The window of `item`, shown, once it has read and compared its versions.
    TChangesWindow* open(const TCheckItem& item, const std::string& historyFolder = {})
    {
        auto* window = new TChangesWindow(changesSubject(item), historyFolder.empty() ? folder.path() : historyFolder);
        window->openUrl = [this](const QUrl& url) { opened.push_back(url); };
        windows.push_back(window);
        window->show();
        settle(window);
        return window;
    }
    static void settle(TChangesWindow* window)
    {
        ASSERT_TRUE(QTest::qWaitFor([window] { return !window->isLoading(); }, 20000));
    }
    static QString state(const TChangesWindow* window)
    {
        const QLabel* label = child<QLabel>(*window, "changesState");
        return label->isVisible() ? label->text() : QString();
    }
    static QString counter(const TChangesWindow* window) { return child<QLabel>(*window, "changeCounter")->text(); }
    static QPlainTextEdit* text(const TChangesWindow* window) { return child<QPlainTextEdit>(*window, "changesText"); }
    static QString currentLine(const TChangesWindow* window) { return text(window)->textCursor().block().text(); }
    // The format of the first character of `words` where the view shows them.
    static QTextCharFormat formatOf(const TChangesWindow* window, const QString& words)
    {
        const QTextCursor found = text(window)->document()->find(words);
        if (found.isNull())
            throw std::runtime_error("not shown: " + words.toStdString());
        QTextCursor cursor(text(window)->document());
        cursor.setPosition(found.selectionStart() + 1);
        return cursor.charFormat();
    }
    static void choose(TChangesWindow* window, const char* list, int number)
    {
        auto* combo = child<QComboBox>(*window, list);
        const int index = combo->findData(number);
        ASSERT_GE(index, 0) << list << " lacks version " << number;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        settle(window);
    }

    void TearDown() override
    {
        for (QPointer<TChangesWindow>& window : windows)
            delete window.data();
    }

    test::TempDir folder;
    std::vector<QUrl> opened;
    std::vector<QPointer<TChangesWindow>> windows;
};

enum class Marked { Not, Removed, Added };

Marked markOf(const QTextCharFormat& format)
{
    if (!format.hasProperty(QTextFormat::BackgroundBrush))
        return Marked::Not;
    const QColor back = format.background().color();
    if (back.red() > back.green() && format.fontStrikeOut())
        return Marked::Removed;
    if (back.green() > back.red() && !format.fontStrikeOut())
        return Marked::Added;
    throw std::runtime_error("a background that is neither removed nor added: " + back.name().toStdString());
}

} // namespace

TEST_F(ChangesWindow, ShowsTheLastCheckAgainstTheOneBeforeWithRemovedAndAddedWordsMarked)
{
    TCheckItem item = test::textWatchedItem("天気のページ");
    item.viewUri() = "http://127.0.0.1:1/weather";
    test::checkPages(item, folder.path(),
        { test::pageOfLines({ "first version" }),
            test::pageOfLines({ "alpha beta gamma", "gone line", "kept line", "kept too" }),
            test::pageOfLines({ "alpha delta gamma", "kept line", "kept too", "added here" }) });
    TChangesWindow* window = open(item);

    EXPECT_EQ(window->windowTitle(), QStringLiteral("変更点 - 天気のページ"));
    EXPECT_EQ(state(window), QString());
    EXPECT_EQ(child<QComboBox>(*window, "olderVersion")->currentData().toInt(), 2);
    EXPECT_EQ(child<QComboBox>(*window, "newerVersion")->currentData().toInt(), 3);
    EXPECT_EQ(child<QComboBox>(*window, "newerVersion")->count(), 3);
    const struct
    {
        const char* words;
        Marked marked;
    } cases[] = {
        { "beta", Marked::Removed },
        { "delta", Marked::Added },
        { "gamma", Marked::Not },
        { "gone line", Marked::Removed },
        { "kept line", Marked::Not },
        { "added here", Marked::Added },
    };
    for (const auto& c : cases)
        EXPECT_EQ(markOf(formatOf(window, QString::fromUtf8(c.words))), c.marked) << c.words;
    EXPECT_TRUE(text(window)->document()->find(QStringLiteral("first version")).isNull());
    text(window)->selectAll();
    text(window)->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha delta gamma\nkept line\nkept too\nadded here"));

    // Under a dark theme the marks turn deep, so that its light text still reads on them.
    QPalette dark = window->palette();
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    window->setPalette(dark);
    settle(window);
    for (const char* words : { "beta", "delta" }) {
        const QTextCharFormat format = formatOf(window, QString::fromUtf8(words));
        EXPECT_NE(markOf(format), Marked::Not) << words;
        EXPECT_LT(format.background().color().lightness(), 128) << words;
    }

    // Another pair: the first version against the last.
    choose(window, "olderVersion", 1);
    EXPECT_EQ(markOf(formatOf(window, QStringLiteral("first version"))), Marked::Removed);
    EXPECT_EQ(markOf(formatOf(window, QStringLiteral("kept line"))), Marked::Added);
    EXPECT_TRUE(text(window)->document()->find(QStringLiteral("gone line")).isNull());
    choose(window, "newerVersion", 2);
    EXPECT_EQ(markOf(formatOf(window, QStringLiteral("gone line"))), Marked::Added);

    child<QAction>(*window, "openBrowser")->trigger();
    EXPECT_EQ(opened, std::vector<QUrl> { QUrl(QStringLiteral("http://127.0.0.1:1/weather")) });
}

TEST_F(ChangesWindow, F8AndShiftF8StepThroughTheFoldedChanges)
{
    std::vector<std::string> before;
    for (int i = 1; i <= 40; ++i)
        before.push_back("line " + std::to_string(i));
    std::vector<std::string> after = before;
    for (int changed : { 5, 20, 35 })
        after[static_cast<size_t>(changed - 1)] += " edited";
    TCheckItem item = test::textWatchedItem("long");
    test::checkPages(item, folder.path(), { test::pageOfLines(before), test::pageOfLines(after) });
    QPointer<TChangesWindow> window = open(item);
    window->activateWindow();
    QApplication::setActiveWindow(window);
    if (QApplication::activeWindow() != window)
        GTEST_SKIP() << "the window cannot be made active here";

    // Each change with two lines around it, and a fold for each stretch between.
    EXPECT_LT(text(window)->document()->blockCount(), 40);
    EXPECT_EQ(counter(window), QStringLiteral("変更 1 / 3"));
    EXPECT_EQ(currentLine(window), QStringLiteral("line 5 edited"));
    const struct
    {
        Qt::KeyboardModifiers modifiers;
        const char* counter;
        const char* line;
    } steps[] = {
        { Qt::NoModifier, "変更 2 / 3", "line 20 edited" },
        { Qt::NoModifier, "変更 3 / 3", "line 35 edited" },
        { Qt::NoModifier, "変更 3 / 3", "line 35 edited" },
        { Qt::ShiftModifier, "変更 2 / 3", "line 20 edited" },
    };
    for (const auto& step : steps) {
        QTest::keyClick(text(window), Qt::Key_F8, step.modifiers);
        EXPECT_EQ(counter(window), QString::fromUtf8(step.counter));
        EXPECT_EQ(currentLine(window), QString::fromUtf8(step.line));
    }

    // The whole text keeps the change in view.
    child<QAction>(*window, "wholeText")->trigger();
    settle(window);
    EXPECT_EQ(text(window)->document()->blockCount(), 40);
    EXPECT_EQ(counter(window), QStringLiteral("変更 2 / 3"));
    QTest::keyClick(text(window), Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_EQ(currentLine(window), QStringLiteral("line 5 edited"));

    QTest::keyClick(text(window), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(ChangesWindow, SaysWhyThereIsNothingToCompare)
{
    const struct
    {
        const char* what;
        std::vector<std::string> pages;
        const char* state;
        const char* shown;
    } cases[] = {
        { "kept once", { test::pageOfLines({ "the only text", "so far" }) }, "まだ変更は記録されていません",
            "the only text\nso far\n" },
        { "never kept", {},
            "このアイテムの文字はまだ記録されていません。「ページの文字を比較」を有効にして確認してください。", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCheckItem item = test::textWatchedItem(c.what);
        if (!c.pages.empty())
            test::checkPages(item, folder.path(), c.pages);
        TChangesWindow* window = open(item);
        EXPECT_EQ(state(window), QString::fromUtf8(c.state));
        EXPECT_EQ(text(window)->toPlainText(), QString::fromUtf8(c.shown));
        EXPECT_EQ(counter(window), QStringLiteral("変更 0 / 0"));
        EXPECT_FALSE(child<QAction>(*window, "nextChange")->isEnabled());
    }
    // Looking into a folder without a history makes none there.
    test::TempDir empty;
    const TChangesWindow* window = open(test::textWatchedItem("none"), empty.path());
    EXPECT_EQ(state(window), QString::fromUtf8(cases[1].state));
    EXPECT_FALSE(test::fileExists(empty.file(THistoryStore::FileName)));
}

TEST(ChangesAction, CtrlDOpensTheCurrentItemsChangesAndAnUpdatedRowCountsThem)
{
    test::TempDir settings;
    test::TempDir program;
    test::writeFile(program.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
    test::HttpServer server({ test::Reply::bytes(test::pageOfLines({ "price 100", "same" })),
        test::Reply::bytes(test::pageOfLines({ "price 120", "same" })) });
    TConfig config;
    TCheckItem watched = test::textWatchedItem("価格");
    watched.checkUri() = server.url("/price.html");
    watched.check = 1;
    config.items.append(watched);
    writeSettingsFile(config, settings.file("vantrel.cfg"));
    TImgForm form;
    ASSERT_TRUE(form.startUp(settings.path(), program.path()));
    form.updateSettings([](TConfig& c) { c.concurrentChecks = 1; });
    THistoryTexts history(settings.path(), 50);
    form.runController()->checker().pageTexts = &history;
    form.showMain();
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    if (QApplication::activeWindow() != &form)
        GTEST_SKIP() << "the window cannot be made active here";

    // Two runs keep two versions; the second finds the page updated and its row says how much changed.
    for (int run = 0; run < 2; ++run) {
        test::action(form, "actRun")->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.runController()->idle(); }, 20000));
    }
    ASSERT_EQ(form.settings().items[0].status, ItemStatus::Update);
    const QModelIndex row = test::cell(form, 0, 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return row.data(Qt::ToolTipRole).toString() == QStringLiteral("1行追加、1行削除"); }, 20000))
        << row.data(Qt::ToolTipRole).toString().toStdString();

    QAction* showChanges = test::action(form, "actShowChanges");
    form.itemList()->view()->setCurrentIndex(QModelIndex());
    EXPECT_FALSE(showChanges->isEnabled());
    form.itemList()->view()->setCurrentIndex(row);
    EXPECT_TRUE(showChanges->isEnabled());
    // It only reads, so a run leaves it enabled.
    form.runController()->beginRun();
    EXPECT_TRUE(showChanges->isEnabled());
    form.runController()->endRun();
    for (int press = 0; press < 2; ++press)
        QTest::keyClick(form.itemList()->view(), Qt::Key_D, Qt::ControlModifier);
    // One window per item, raised when asked again.
    EXPECT_EQ(form.findChildren<QWidget*>(QStringLiteral("changesWindow")).size(), 1);
    TChangesWindow* window = form.changesWindows()->window(watched.id());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("変更点 - 価格"));
    ASSERT_TRUE(QTest::qWaitFor([window] { return !window->isLoading(); }, 20000));
    auto* text = window->findChild<QPlainTextEdit*>(QStringLiteral("changesText"));
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("price 100120\nsame")))
        << text->toPlainText().toStdString();
    EXPECT_EQ(window->changeCount(), 1);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form.changesWindows()->window(watched.id()), nullptr);

    // The settings' third double-click choice opens it too.
    form.updateSettings([](TConfig& c) { c.doubleClickAction = DoubleClickShowsChanges; });
    form.itemList()->view()->setCurrentIndex(test::cell(form, 0, 1));
    form.itemList()->onListDblClick();
    EXPECT_NE(form.changesWindows()->window(watched.id()), nullptr);
}
