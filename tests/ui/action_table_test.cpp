#include "ui/actions.h"
#include "ui/main_window.h"
#include "ui/menu_images.h"

#include "window_driver.h"

#include <QAction>
#include <QImage>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct ExpectedAction
{
    const char* name;
    QString caption;
    QString hint;
    QKeySequence shortcut;
};

const ExpectedAction Expected[ActionCount] = {
    { "actFile", QStringLiteral("ファイル(&F)"), QString(), QKeySequence() },
    { "actEdit", QStringLiteral("編集(&E)"), QString(), QKeySequence() },
    { "actCheck", QStringLiteral("確認(&C)"), QString(), QKeySequence() },
    { "actOther", QStringLiteral("その他(&O)"), QString(), QKeySequence() },
    { "actExit", QStringLiteral("終了(&X)"), QStringLiteral("終了"), QKeySequence(Qt::ALT | Qt::Key_F4) },
    { "actOpenItems", QStringLiteral("アイテムを読み込む(&O)"), QStringLiteral("アイテムを読み込む"), QKeySequence() },
    { "actAddItems", QStringLiteral("追加読み込み(&A)"), QStringLiteral("追加読み込み"), QKeySequence() },
    { "actSaveItems", QStringLiteral("アイテムを保存する(&S)"), QStringLiteral("アイテムを保存する"), QKeySequence() },
    { "actBrowse", QStringLiteral("ブラウザで開く(&V)"), QStringLiteral("ブラウザで開く"),
        QKeySequence(Qt::SHIFT | Qt::Key_Return) },
    { "actReport", QStringLiteral("一覧をブラウザで表示(&L)"), QStringLiteral("一覧をブラウザで表示"), QKeySequence() },
    { "actImport", QStringLiteral("インポート(&I)"), QString(), QKeySequence() },
    { "actImportUrlList", QStringLiteral("URLリスト(&U)"), QStringLiteral("URLリストをインポート"), QKeySequence() },
    { "actImportTabText", QStringLiteral("TAB区切りテキスト(&T)"), QStringLiteral("TAB区切りテキストをインポート"),
        QKeySequence() },
    { "actImportHtml", QStringLiteral("HTMLファイル(&H)"), QStringLiteral("HTMLファイルをインポート"), QKeySequence() },
    { "actImportXml", QStringLiteral("XMLファイル(&X)"), QStringLiteral("XMLファイルをインポート"), QKeySequence() },
    { "actExport", QStringLiteral("エクスポート(&E)"), QString(), QKeySequence() },
    { "actExportUrlList", QStringLiteral("URLリスト(&U)"), QStringLiteral("URLリストをエクスポート"), QKeySequence() },
    { "actExportTabText", QStringLiteral("TAB区切りテキスト(&T)"), QStringLiteral("TAB区切りテキストをエクスポート"),
        QKeySequence() },
    { "actExportHtml", QStringLiteral("HTMLファイル(&H)"), QStringLiteral("HTMLファイルをエクスポート"),
        QKeySequence() },
    { "actExportXml", QStringLiteral("XMLファイル(&X)"), QStringLiteral("XMLファイルをエクスポート"), QKeySequence() },
    { "actNew", QStringLiteral("新規(&N)"), QStringLiteral("新規"), QKeySequence(Qt::CTRL | Qt::Key_N) },
    { "actChange", QStringLiteral("変更(&A)"), QStringLiteral("変更"), QKeySequence(Qt::Key_Return) },
    { "actDelete", QStringLiteral("削除(&D)"), QStringLiteral("削除"), QKeySequence(Qt::Key_Delete) },
    { "actCopyUrl", QStringLiteral("クリップボードへURLをコピー(&C)"), QStringLiteral("クリップボードへURLをコピー"),
        QKeySequence(Qt::CTRL | Qt::Key_C) },
    { "actPasteUrl", QStringLiteral("クリップボードからURLを取得(&P)"), QStringLiteral("クリップボードからURLを取得"),
        QKeySequence(Qt::CTRL | Qt::Key_V) },
    { "actSelectAll", QStringLiteral("全て選択(&S)"), QStringLiteral("全て選択"), QKeySequence(Qt::CTRL | Qt::Key_A) },
    { "actSelectUpdated", QStringLiteral("更新アイテムを選択(&M)"), QStringLiteral("更新アイテムを選択"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A) },
    { "actInvertSelection", QStringLiteral("選択の反転(&R)"), QStringLiteral("選択の反転"),
        QKeySequence(Qt::CTRL | Qt::Key_R) },
    { "actMoveUp", QStringLiteral("上へ"), QStringLiteral("上へ"), QKeySequence(Qt::ALT | Qt::Key_Up) },
    { "actMoveDown", QStringLiteral("下へ"), QStringLiteral("下へ"), QKeySequence(Qt::ALT | Qt::Key_Down) },
    { "actSort", QStringLiteral("並べ替え(&O)"), QString(), QKeySequence() },
    { "actSortStatus", QStringLiteral("状態(&S)"), QStringLiteral("状態"), QKeySequence() },
    { "actSortTitle", QStringLiteral("タイトル(&T)"), QStringLiteral("タイトル"), QKeySequence() },
    { "actSortUrl", QStringLiteral("URL(&U)"), QStringLiteral("URL"), QKeySequence() },
    { "actSortLastModified", QStringLiteral("Last-Modified(&L)"), QStringLiteral("Last-Modified"), QKeySequence() },
    { "actSortResponse", QStringLiteral("Response(&R)"), QStringLiteral("Response"), QKeySequence() },
    { "actSortMetaTag", QStringLiteral("metaタグ(&M)"), QStringLiteral("metaタグ"), QKeySequence() },
    { "actRun", QStringLiteral("実行(&R)"), QStringLiteral("実行"), QKeySequence(Qt::Key_F5) },
    { "actStop", QStringLiteral("中止(&T)"), QStringLiteral("中止"), QKeySequence(Qt::CTRL | Qt::Key_S) },
    { "actStatus", QStringLiteral("状態変更(&S)"), QString(), QKeySequence() },
    { "actStatusInitial", QStringLiteral("初期状態(&I)"), QStringLiteral("初期状態"), QKeySequence() },
    { "actStatusNormal", QStringLiteral("更新無し(&N)"), QStringLiteral("更新無し"), QKeySequence() },
    { "actStatusUpdate", QStringLiteral("更新有り(&U)"), QStringLiteral("更新有り"), QKeySequence() },
    { "actStatusError", QStringLiteral("エラー(&E)"), QStringLiteral("エラー"), QKeySequence() },
    { "actRestore", QStringLiteral("元のサイズに戻す(&R)"), QStringLiteral("元のサイズに戻す"), QKeySequence() },
    { "actConfig", QStringLiteral("設定(&C)"), QStringLiteral("設定"), QKeySequence() },
};

// A menu as text: captions, "-" for separators, a submenu in brackets after its caption.
QString describe(const QMenu* menu)
{
    QStringList parts;
    for (const QAction* entry : menu->actions()) {
        if (entry->isSeparator())
            parts << QStringLiteral("-");
        else if (entry->menu())
            parts << entry->text() + QLatin1Char('[') + describe(entry->menu()) + QLatin1Char(']');
        else
            parts << entry->text();
    }
    return parts.join(QLatin1Char(','));
}

QImage picture(int index, int size)
{
    return drawMenuImage(index, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(ActionTable, CaptionsHintsShortcutsAndObjectNames)
{
    TImgForm form;
    for (int id = 0; id < ActionCount; ++id) {
        SCOPED_TRACE(id);
        QAction* entry = test::action(form, Expected[id].name);
        EXPECT_EQ(entry, (*form.actions())[id]);
        EXPECT_EQ(entry->text(), Expected[id].caption);
        EXPECT_EQ(TActions::hint(id), Expected[id].hint);
        EXPECT_EQ(TActions::isHeading(id), Expected[id].hint.isEmpty());
        if (!TActions::isHeading(id)) {
            EXPECT_EQ(entry->toolTip(), Expected[id].hint);
        }
        EXPECT_EQ(entry->shortcut(), Expected[id].shortcut);
        EXPECT_TRUE(entry->isEnabled());
        EXPECT_EQ(entry->icon().isNull(), TActions::imageIndex(id) < 0);
    }
    // Images as the table assigns them.
    const std::vector<std::pair<int, int>> images = { { actOpenItems, 0 }, { actSaveItems, 1 }, { actBrowse, 2 },
        { actReport, 3 }, { actNew, 4 }, { actChange, 5 }, { actDelete, 6 }, { actCopyUrl, 7 }, { actPasteUrl, 8 },
        { actMoveUp, 9 }, { actMoveDown, 10 }, { actRun, 11 }, { actStop, 12 }, { actStatusInitial, 13 },
        { actStatusNormal, 14 }, { actStatusUpdate, 15 }, { actStatusError, 16 } };
    int withImage = 0;
    for (int id = 0; id < ActionCount; ++id)
        withImage += TActions::imageIndex(id) >= 0 ? 1 : 0;
    EXPECT_EQ(withImage, 17);
    for (auto [id, image] : images) {
        EXPECT_EQ(TActions::imageIndex(id), image) << id;
        EXPECT_EQ((*form.actions())[id]->icon().pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32),
            picture(image, 16))
            << id;
    }
}

TEST(MenuImages, SeventeenDistinctPicturesAtBothSizes)
{
    ASSERT_EQ(menuImages().size(), 17u);
    for (int size : { 16, 24 }) {
        std::vector<QImage> drawn;
        for (int i = 0; i < MenuImageCount; ++i) {
            QImage image = picture(i, size);
            EXPECT_EQ(image.size(), QSize(size, size));
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
            // Something to see, and not a filled square.
            EXPECT_GT(opaque, size * size / 10) << i;
            EXPECT_LT(opaque, size * size) << i;
            for (const QImage& other : drawn)
                EXPECT_NE(image, other) << i;
            drawn.push_back(image);
        }
        EXPECT_EQ(menuImages()[5].pixmap(size).size(), QSize(size, size));
    }
    const std::vector<QIcon> status = statusImages();
    ASSERT_EQ(status.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(status[static_cast<size_t>(i)].pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32),
            picture(13 + i, 16));
}

TEST(Menus, MainPopupAndTrayMenusInTheirOrder)
{
    TImgForm form;
    const QMenuBar* bar = form.menuBar();
    EXPECT_EQ(bar->objectName(), QStringLiteral("mnuMain"));
    QStringList top;
    for (const QAction* entry : bar->actions())
        top << entry->text() + QLatin1Char('[') + describe(entry->menu()) + QLatin1Char(']');
    const QStringList expectedTop = {
        QStringLiteral(
            "ファイル(&F)[ブラウザで開く(&V),一覧をブラウザで表示(&L),-,アイテムを読み込む(&O),追加読み込み(&A),"
            "アイテムを保存する(&S),-,インポート(&I)[URLリスト(&U),TAB区切りテキスト(&T),HTMLファイル(&H),"
            "XMLファイル(&X)],エクスポート(&E)[URLリスト(&U),TAB区切りテキスト(&T),HTMLファイル(&H),"
            "XMLファイル(&X)],-,終了(&X)]"),
        QStringLiteral(
            "編集(&E)[新規(&N),変更(&A),削除(&D),-,クリップボードへURLをコピー(&C),"
            "クリップボードからURLを取得(&P),-,全て選択(&S),更新アイテムを選択(&M),選択の反転(&R),-,上へ,下へ,"
            "並べ替え(&O)[状態(&S),タイトル(&T),URL(&U),Last-Modified(&L),metaタグ(&M),Response(&R)]]"),
        QStringLiteral("確認(&C)[実行(&R),中止(&T),-,状態変更(&S)[初期状態(&I),更新無し(&N),更新有り(&U),エラー(&E)]]"),
        QStringLiteral("その他(&O)[設定(&C)]"),
    };
    EXPECT_EQ(top, expectedTop);

    EXPECT_EQ(describe(form.popupMenu()),
        QStringLiteral("新規(&N),変更(&A),削除(&D),-,クリップボードへURLをコピー(&C),クリップボードからURLを取得(&P),-,"
                       "全て選択(&S),更新アイテムを選択(&M),選択の反転(&R),-,上へ,下へ,-,"
                       "状態変更(&S)[初期状態(&I),更新無し(&N),更新有り(&U),エラー(&E)]"));
    EXPECT_EQ(describe(form.trayMenu()), QStringLiteral("元のサイズに戻す(&R),-,実行(&R),中止(&T),-,終了(&X)"));

    // The entries are the actions themselves, so a command is the same wherever it is reached.
    EXPECT_EQ(form.trayMenu()->actions()[0], (*form.actions())[actRestore]);
    EXPECT_EQ(form.popupMenu()->actions()[0], (*form.actions())[actNew]);
    // The sort menu lists metaタグ before Response; their actions are numbered the other way.
    const QMenu* sortMenu = form.findChild<QMenu*>(QStringLiteral("mnuSort"));
    ASSERT_NE(sortMenu, nullptr);
    EXPECT_EQ(sortMenu->actions()[4], (*form.actions())[actSortMetaTag]);
    EXPECT_EQ(sortMenu->actions()[5], (*form.actions())[actSortResponse]);
}

TEST(Menus, ToolBarHasTwelveButtonsInFiveGroups)
{
    TImgForm form;
    const QList<QAction*> entries = form.toolBar()->actions();
    ASSERT_EQ(entries.size(), 16);
    const int expected[16] = { actBrowse, -1, actNew, actChange, actDelete, -1, actMoveUp, actMoveDown, -1, actRun,
        actStop, -1, actStatusInitial, actStatusNormal, actStatusUpdate, actStatusError };
    int dividers = 0;
    for (int i = 0; i < 16; ++i) {
        if (expected[i] < 0) {
            EXPECT_TRUE(entries[i]->isSeparator()) << i;
            ++dividers;
            continue;
        }
        EXPECT_EQ(entries[i], (*form.actions())[expected[i]]) << i;
        auto* button = qobject_cast<QToolButton*>(form.toolBar()->widgetForAction(entries[i]));
        ASSERT_NE(button, nullptr) << i;
        EXPECT_EQ(button->size(), QSize(24, 24));
        EXPECT_FALSE(button->icon().isNull());
    }
    EXPECT_EQ(dividers, 4);
}

TEST(Menus, DuringARunOnlyCheckStopAndRestoreAreEnabled)
{
    TImgForm form;
    form.runController()->beginRun();
    EXPECT_FALSE(form.runController()->idle());
    for (int id = 0; id < ActionCount; ++id) {
        const bool kept = id == actCheck || id == actStop || id == actRestore;
        EXPECT_EQ((*form.actions())[id]->isEnabled(), kept) << id;
    }
    // Menu headings, the context and tray menus and the toolbar follow the actions.
    QStringList enabledTop;
    for (const QAction* entry : form.menuBar()->actions()) {
        if (entry->isEnabled())
            enabledTop << entry->text();
    }
    EXPECT_EQ(enabledTop, QStringList { QStringLiteral("確認(&C)") });
    EXPECT_FALSE(form.findChild<QMenu*>(QStringLiteral("mnuStatus"))->menuAction()->isEnabled());
    QStringList enabledTray;
    for (const QAction* entry : form.trayMenu()->actions()) {
        if (!entry->isSeparator() && entry->isEnabled())
            enabledTray << entry->text();
    }
    EXPECT_EQ(enabledTray, (QStringList { QStringLiteral("元のサイズに戻す(&R)"), QStringLiteral("中止(&T)") }));
    EXPECT_TRUE(form.toolBar()->widgetForAction((*form.actions())[actStop])->isEnabled());
    EXPECT_FALSE(form.toolBar()->widgetForAction((*form.actions())[actRun])->isEnabled());

    form.runController()->endRun();
    EXPECT_TRUE(form.runController()->idle());
    for (int id = 0; id < ActionCount; ++id)
        EXPECT_TRUE((*form.actions())[id]->isEnabled()) << id;
    for (const QAction* entry : form.menuBar()->actions())
        EXPECT_TRUE(entry->isEnabled());
}
