#include "session/sjis_text.h"
#include "store/store_file.h"
#include "ui/character_player.h"
#include "ui/main_window.h"

#include "support/temp_dir.h"
#include "support/test_config.h"
#include "window_driver.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

namespace {

const std::string DefaultCharacter = VANTREL_BINARY_DIR "/vantrel.dat";

TCheckItem item(const char* title, const char* uri, ItemStatus status = ItemStatus::Initial)
{
    TCheckItem result = newItemTemplate();
    result.title() = title;
    result.checkUri() = uri;
    result.status = status;
    return result;
}

// A settings folder and a program folder holding the default character, and a window started from them.
class StartedWindow : public ::testing::Test
{
protected:
    void SetUp() override { test::writeFile(program.file("vantrel.dat"), test::readFile(DefaultCharacter)); }

    void writeSettings(const TConfig& config) { writeSettingsFile(config, settings.file("vantrel.cfg")); }

    bool start()
    {
        form = std::make_unique<TImgForm>();
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form->setPrompts(std::move(scripted));
        return form->startUp(settings.path(), program.path());
    }

    test::TempDir settings;
    test::TempDir program;
    std::unique_ptr<TImgForm> form;
    test::ScriptedPrompts* prompts = nullptr;
};

} // namespace

TEST_F(StartedWindow, LayoutColumnsStatusBarAndCharacter)
{
    TConfig config;
    config.items.append(item("\x83"
                             "e\x83X\x83g" /* テスト */,
        "http://127.0.0.1/a", ItemStatus::Update));
    config.items.append(item("plain", "http://127.0.0.1/b", ItemStatus::Error));
    config.items[1].check = 0;
    config.items.append(item("odd", "http://127.0.0.1/c", static_cast<ItemStatus>(9)));
    config.columnWidths = { 0, 200, 0, 0, 0, 55 };
    writeSettings(config);
    ASSERT_TRUE(start());
    form->showMain();
    QApplication::processEvents();

    EXPECT_EQ(form->windowTitle(), QStringLiteral("Vantrel"));
    TCheckListView* list = form->itemList()->view();
    ASSERT_EQ(list->model()->columnCount(), 6);
    const QStringList captions = { QStringLiteral("Status"), QStringLiteral("Title"), QStringLiteral("URL"),
        QStringLiteral("Last-Modifeid"), QStringLiteral("meta-tag"), QStringLiteral("Response") };
    const int widths[6] = { 40, 200, 80, 80, 80, 55 };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list->model()->headerData(i, Qt::Horizontal).toString(), captions[i]);
        // The URL column takes what the others leave.
        if (i == 2)
            EXPECT_GE(list->columnWidth(i), widths[i]);
        else
            EXPECT_EQ(list->columnWidth(i), widths[i]) << i;
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    ASSERT_EQ(test::rowCount(*form), 3);
    EXPECT_EQ(test::rowText(*form, 0, 1), QStringLiteral("テスト"));
    EXPECT_EQ(test::rowText(*form, 0, 2), QStringLiteral("http://127.0.0.1/a"));
    EXPECT_EQ(test::rowText(*form, 0, 0), QString());
    EXPECT_TRUE(test::rowTicked(*form, 0));
    EXPECT_FALSE(test::rowTicked(*form, 1));
    auto icon = [&](int row) { return test::rowIcon(*form, row); };
    EXPECT_EQ(icon(0), form->itemList()->model()->statusIcon(ItemStatus::Update).pixmap(16).toImage());
    EXPECT_EQ(icon(1), form->itemList()->model()->statusIcon(ItemStatus::Error).pixmap(16).toImage());
    EXPECT_EQ(icon(2),
        form->itemList()->model()->statusIcon(ItemStatus::Initial).pixmap(16).toImage()); // unknown status: the initial
                                                                                          // picture

    // Three panels, the last one stretching.
    EXPECT_EQ(form->statusPanel(0)->width(), 80);
    EXPECT_EQ(form->statusPanel(1)->width(), 80);
    EXPECT_GE(form->statusPanel(2)->width(), 50);

    // The character sits below the toolbar, the list beside its picture and below the balloon.
    TFilmPlayer& player = form->characterArea()->player()->player();
    const int pictureWidth = player.PictureWidth();
    ASSERT_GT(pictureWidth, 0);
    const QWidget* client = form->centralWidget();
    EXPECT_EQ(client->mapTo(form.get(), QPoint(0, 0)).y(), form->toolBar()->geometry().bottom() + 1);
    EXPECT_EQ(form->minimumWidth(), player.SurfaceWidth());
    EXPECT_GE(client->height(), player.SurfaceHeight());
    EXPECT_GE(form->width(), form->minimumWidth());
    if (list->isVisible()) {
        EXPECT_EQ(list->geometry(), QRect(pictureWidth, 120, client->width() - pictureWidth, client->height() - 120));
    }

    form->resize(form->minimumWidth() + 100, form->minimumHeight() + 150);
    QApplication::processEvents();
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->geometry(), QRect(pictureWidth, 120, client->width() - pictureWidth, client->height() - 120));
    EXPECT_EQ(client->width(), form->width());
}

TEST_F(StartedWindow, WithoutASettingsFileStartsEmptyWithTheFirstCharacterFound)
{
    ASSERT_TRUE(start());
    EXPECT_EQ(form->itemList()->config().items.count(), 0u);
    EXPECT_EQ(test::rowCount(*form), 0);
    EXPECT_EQ(form->settings().reportMode, 2);
    EXPECT_EQ(form->itemList()->view()->columnWidth(1), 120);
    EXPECT_EQ(form->settings().characterFile(), program.file("vantrel.dat"));
    EXPECT_EQ(fromSjis(form->settings().characterName()), QStringLiteral("バントレくん"));
    EXPECT_EQ(form->settingsDir(), settings.path() + "/");
    EXPECT_EQ(form->programDir(), program.path() + "/");
    EXPECT_TRUE(prompts->warnings.empty());
    EXPECT_FALSE(form->isVisible()); // showing is the caller's step
}

TEST_F(StartedWindow, SettingsOfAnotherVersionAreIgnoredWholly)
{
    TConfig config;
    config.items.append(item("kept?", "http://127.0.0.1/"));
    config.formatVersion = 3;
    writeSettings(config);
    ASSERT_TRUE(start());
    EXPECT_EQ(form->itemList()->config().items.count(), 0u);
    EXPECT_EQ(form->settings().formatVersion, ConfigFormatVersion);
}

TEST_F(StartedWindow, CharacterFoliosAreSearchedCurrentFolderFirst)
{
    // A character in the settings folder comes before the one in the program folder.
    test::writeFile(settings.file("local.dat"), test::readFile(DefaultCharacter));
    ASSERT_TRUE(start());
    EXPECT_EQ(form->settings().characterFile(), settings.file("local.dat"));

    // The same folder spelt with other letter case is searched once.
    form.reset();
    form = std::make_unique<TImgForm>();
    form->setPrompts(std::make_unique<test::ScriptedPrompts>());
    std::string upper = settings.path();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(form->startUp(settings.path(), upper));
    EXPECT_EQ(form->programDir(), "");
}

TEST_F(StartedWindow, StoredCharacterThatIsGoneIsReplacedAndRemembered)
{
    TConfig config;
    config.characterFile() = settings.file("gone.dat");
    config.characterName() = "gone";
    writeSettings(config);
    ASSERT_TRUE(start());
    EXPECT_EQ(form->settings().characterFile(), program.file("vantrel.dat"));
    form.reset();
    TConfig back;
    readSettingsFile(back, settings.file("vantrel.cfg"));
    EXPECT_EQ(back.characterFile(), program.file("vantrel.dat"));
    EXPECT_EQ(fromSjis(back.characterName()), QStringLiteral("バントレくん"));
}

TEST_F(StartedWindow, WithoutAnyCharacterTheWindowIsNeverShownAndSettingsAreStillWritten)
{
    test::TempDir empty;
    TConfig config;
    config.items.append(item("one", "http://127.0.0.1/1"));
    config.columnWidths = { 0, 0, 0, 0, 0, 0 };
    writeSettings(config);

    form = std::make_unique<TImgForm>();
    auto scripted = std::make_unique<test::ScriptedPrompts>();
    prompts = scripted.get();
    form->setPrompts(std::move(scripted));
    EXPECT_FALSE(form->startUp(settings.path(), empty.path()));
    ASSERT_EQ(prompts->warnings.size(), 1u);
    EXPECT_EQ(prompts->warnings[0], QStringLiteral("データファイルを読み込めません"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->characterArea()->player(), nullptr);
    form.reset();

    TConfig back;
    readSettingsFile(back, settings.file("vantrel.cfg"));
    ASSERT_EQ(back.items.count(), 1u);
    EXPECT_EQ(back.items[0].title(), "one");
    // Only the column widths changed: the list's design widths.
    EXPECT_EQ(back.columnWidths, (std::array<int32_t, ColumnCount> { 40, 120, 80, 80, 80, 80 }));
}

TEST_F(StartedWindow, SettingsWrittenAtExitHoldTheListAsItWas)
{
    TConfig config;
    for (const char* title : { "a", "b", "c" })
        config.items.append(item(title, "http://127.0.0.1/"));
    writeSettings(config);
    ASSERT_TRUE(start());
    form->showMain();
    test::selectRows(*form, { 1 });
    prompts->answers = { true };
    test::action(*form, "actDelete")->trigger();
    form->itemList()->view()->setColumnWidth(2, 133);

    // Closing with no run in progress asks nothing.
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(prompts->questions.size() == 1u);
    EXPECT_EQ(form->characterArea()->player(), nullptr);
    // Nothing is written before the window goes.
    TConfig before;
    readSettingsFile(before, settings.file("vantrel.cfg"));
    EXPECT_EQ(before.items.count(), 3u);
    form.reset();

    TConfig back;
    readSettingsFile(back, settings.file("vantrel.cfg"));
    ASSERT_EQ(back.items.count(), 2u);
    EXPECT_EQ(back.items[0].title(), "a");
    EXPECT_EQ(back.items[1].title(), "c");
    EXPECT_EQ(back.columnWidths[2], 133);
    EXPECT_EQ(back.characterFile(), program.file("vantrel.dat"));
}

TEST_F(StartedWindow, MinimisingGoesToTheTrayWhenAskedAndRestoreComesBack)
{
    ASSERT_TRUE(start());
    form->tray()->setAvailability([] { return true; });
    form->showMain();
    QApplication::processEvents();

    // Off: an ordinary minimise.
    form->showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(form->tray()->shown());
    EXPECT_TRUE(form->isVisible());
    test::action(*form, "actRestore")->trigger();
    EXPECT_FALSE(form->isMinimized());

    form->updateSettings([](TConfig& c) { c.taskTray = 1; });
    // Put back however the test ends, so that later tests see the name they expect.
    struct TNameGuard
    {
        QString name = QApplication::applicationName();
        ~TNameGuard() { QApplication::setApplicationName(name); }
    } nameGuard;
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    for (int round = 0; round < 2; ++round) {
        form->showMinimized();
        QApplication::processEvents();
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(form->tray()->shown());
    }
    EXPECT_EQ(form->findChildren<QSystemTrayIcon*>().size(), 1);
    QSystemTrayIcon* tray = form->tray()->icon();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Vantrel"));
    // The tip holds 63 Shift_JIS bytes at most, and never half a character.
    QApplication::setApplicationName(QString(40, QChar(0x3042)));
    test::action(*form, "actRestore")->trigger();
    form->showMinimized();
    QApplication::processEvents();
    EXPECT_EQ(tray->toolTip(), QString(31, QChar(0x3042)));
    QApplication::setApplicationName(nameGuard.name);
    EXPECT_EQ(tray->contextMenu(), form->trayMenu());
    EXPECT_FALSE(tray->icon().isNull());

    // A single click does not restore; a double click does.
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form->isVisible());
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    QApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->tray()->shown());

    // Without a notification area minimising stays ordinary even with the setting on.
    form->tray()->setAvailability([] { return false; });
    form->showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->tray()->shown());
}

TEST_F(StartedWindow, TopMostPutsTheWindowInTheStaysOnTopBand)
{
    ASSERT_TRUE(start());
    form->showMain();
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form->updateSettings([](TConfig& c) { c.topMost = 1; });
    const QSize size = form->size();
    form->showMain();
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->size(), size);
    form->updateSettings([](TConfig& c) { c.topMost = 0; });
    form->showMain();
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(StartedWindow, SettingsCommandLoadsAnotherCharacterOrStops)
{
    test::writeFile(program.file("second.dat"), test::readFile(DefaultCharacter));
    ASSERT_TRUE(start());
    const std::string first = form->settings().characterFile();
    TDataFileList offered;
    std::string choice;
    form->setSettingsEditor([&](TConfig&, TDataFileItem& character, const TDataFileList& characters) {
        offered = characters;
        if (!choice.empty())
            character.path = choice;
        return true;
    });

    // The same character: nothing is stored or loaded.
    test::action(*form, "actConfig")->trigger();
    EXPECT_EQ(offered.size(), 2u);
    EXPECT_EQ(form->settings().characterFile(), first);
    EXPECT_TRUE(form->isVisible());

    choice = program.file("second.dat");
    test::action(*form, "actConfig")->trigger();
    EXPECT_EQ(form->settings().characterFile(), program.file("second.dat"));
    EXPECT_NE(form->characterArea()->player(), nullptr);

    // A choice that cannot be loaded ends the program with the message.
    choice = program.file("missing.dat");
    test::action(*form, "actConfig")->trigger();
    ASSERT_EQ(prompts->warnings.size(), 1u);
    EXPECT_EQ(prompts->warnings[0], QStringLiteral("データファイルを読み込めません"));
    EXPECT_EQ(form->characterArea()->player(), nullptr);
    EXPECT_EQ(form->settings().characterFile(), program.file("second.dat"));
}

TEST_F(StartedWindow, FirstWindowShowsTenRowsAndTheIniKeepsItsPlace)
{
    TConfig config;
    for (int i = 0; i < 12; ++i)
        config.items.append(
            item(("page " + std::to_string(i)).c_str(), ("http://127.0.0.1/" + std::to_string(i)).c_str()));
    writeSettings(config);
    test::writeFile(settings.file("vantrel.ini"), "[General]\nFutureKey=kept\n\n[Later]\nsize=3\n");
    ASSERT_TRUE(start());
    form->showMain();
    QApplication::processEvents();

    TCheckListView* list = form->itemList()->view();
    ASSERT_TRUE(list->isVisible());
    EXPECT_LE(list->visualRect(test::cell(*form, 9)).bottom(), list->viewport()->height());
    EXPECT_GE(list->columnWidth(2), 240);
    int others = 0;
    for (int i : { 0, 1, 3, 4, 5 })
        others += list->columnWidth(i);
    EXPECT_EQ(list->columnWidth(2), list->viewport()->width() - others);

    // A wider window widens the URL column alone.
    const int url = list->columnWidth(2);
    form->resize(form->width() + 150, form->height() + 40);
    QApplication::processEvents();
    EXPECT_EQ(list->columnWidth(2), url + 150);
    EXPECT_EQ(list->columnWidth(1), 120);
    const QSize size = form->size();
    form.reset();

    const std::string ini = test::readFile(settings.file("vantrel.ini"));
    EXPECT_NE(ini.find("FutureKey=kept"), std::string::npos);
    EXPECT_NE(ini.find("[Later]\nsize=3"), std::string::npos);
    EXPECT_NE(ini.find("WindowGeometry="), std::string::npos);
    EXPECT_NE(ini.find("ConcurrentChecks=4"), std::string::npos);
    TConfig back;
    readSettingsFile(back, settings.file("vantrel.cfg"));
    // The stored URL width is the column's own, not what the window lent it.
    EXPECT_EQ(back.columnWidths[2], 80);

    ASSERT_TRUE(start());
    form->showMain();
    QApplication::processEvents();
    EXPECT_EQ(form->size(), size);
}

TEST_F(StartedWindow, PagesCheckedAtOnceComeFromTheIni)
{
    const std::pair<const char*, int> cases[] = {
        { nullptr, 4 },
        { "[General]\nConcurrentChecks=9\n", 9 },
        { "[General]\nConcurrentChecks=16\n", 16 },
        { "[General]\nConcurrentChecks=0\n", 4 },
        { "[General]\nConcurrentChecks=17\n", 4 },
        { "[General]\nConcurrentChecks=many\n", 4 },
        { "\xff\xfe[\x01\n=\n", 4 },
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text ? text : "no file");
        if (text)
            test::writeFile(settings.file("vantrel.ini"), text);
        else
            std::remove(settings.file("vantrel.ini").c_str());
        ASSERT_TRUE(start());
        EXPECT_EQ(form->settings().concurrentChecks, expected);
        form.reset();
    }
}
