#include "store/store_file.h"
#include "ui/character_player.h"
#include "ui/main_window.h"
#include "ui/sjis_text.h"

#include "support/temp_dir.h"
#include "support/test_config.h"
#include "window_driver.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include <gtest/gtest.h>

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
    config.items.append(item("\x83" "e\x83X\x83g" /* テスト */, "http://127.0.0.1/a", ItemStatus::Update));
    config.items.append(item("plain", "http://127.0.0.1/b", ItemStatus::Error));
    config.items[1].check = 0;
    config.items.append(item("odd", "http://127.0.0.1/c", static_cast<ItemStatus>(9)));
    config.columnWidths = {0, 200, 0, 0, 0, 55};
    writeSettings(config);
    ASSERT_TRUE(start());
    form->showMain();
    QApplication::processEvents();

    EXPECT_EQ(form->windowTitle(), QStringLiteral("Vantrel"));
    TCheckListView* list = form->lvwCheck;
    ASSERT_EQ(list->columnCount(), 6);
    const QStringList captions = {QStringLiteral("Status"), QStringLiteral("Title"), QStringLiteral("URL"),
        QStringLiteral("Last-Modifeid"), QStringLiteral("meta-tag"), QStringLiteral("Response")};
    const int widths[6] = {40, 200, 80, 80, 80, 55};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), captions[i]);
        EXPECT_EQ(list->columnWidth(i), widths[i]) << i;
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("テスト"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("http://127.0.0.1/a"));
    EXPECT_EQ(list->topLevelItem(0)->text(0), QString());
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
    auto icon = [&](int row) { return list->topLevelItem(row)->icon(0).pixmap(16).toImage(); };
    EXPECT_EQ(icon(0), form->imgCheckList[2].pixmap(16).toImage());
    EXPECT_EQ(icon(1), form->imgCheckList[3].pixmap(16).toImage());
    EXPECT_EQ(icon(2), form->imgCheckList[0].pixmap(16).toImage()); // unknown status: the initial picture

    // Three panels, the last one stretching.
    EXPECT_EQ(form->statusPanel(0)->width(), 80);
    EXPECT_EQ(form->statusPanel(1)->width(), 80);
    EXPECT_GE(form->statusPanel(2)->width(), 50);

    // The character sits below the toolbar, the list beside its picture and below the balloon.
    TFilmPlayer& player = form->player()->player();
    const int pictureWidth = player.PictureWidth();
    ASSERT_GT(pictureWidth, 0);
    const QWidget* client = form->centralWidget();
    EXPECT_EQ(client->mapTo(form.get(), QPoint(0, 0)).y(), form->tbarMenu->geometry().bottom() + 1);
    EXPECT_EQ(form->minimumWidth(), player.SurfaceWidth());
    EXPECT_GE(client->height(), player.SurfaceHeight());
    EXPECT_EQ(form->width(), form->minimumWidth());
    if (list->isVisible()) {
        EXPECT_EQ(list->geometry(), QRect(pictureWidth, 120, client->width() - pictureWidth, client->height() - 120));
    }

    form->resize(form->minimumWidth() + 100, form->minimumHeight() + 150);
    QApplication::processEvents();
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->geometry(), QRect(pictureWidth, 120, client->width() - pictureWidth, client->height() - 120));
    EXPECT_EQ(client->width(), form->width());
}
