#include "session/sjis_text.h"
#include "store/store_file.h"
#include "ui/item_form.h"
#include "ui/main_window.h"

#include "form_driver.h"
#include "support/temp_dir.h"
#include "window_driver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Takes the place of the browser for the schemes it is registered for.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~UrlCatcher() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TCheckItem item(const std::string& title, ItemStatus status = ItemStatus::Initial)
{
    TCheckItem result = newItemTemplate();
    result.title() = title;
    result.checkUri() = "http://127.0.0.1/" + title;
    result.status = status;
    return result;
}

// A window with a list of items a, b, c, d (b and d updated), its questions answered by the test.
class ListWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form.setPrompts(std::move(scripted));
        for (const char* title : { "a", "b", "c", "d" })
            form.itemList()->config().items.append(
                item(title, title[0] == 'b' || title[0] == 'd' ? ItemStatus::Update : ItemStatus::Normal));
        form.itemList()->refill();
    }

    void trigger(const char* name) { test::action(form, name)->trigger(); }

    void select(std::vector<int> rows) { test::selectRows(form, rows); }

    std::string titles() const
    {
        std::string s;
        for (const TCheckItem& each : form.settings().items)
            s += each.title();
        return s;
    }

    std::string rowTitles() const
    {
        std::string s;
        for (int i = 0; i < test::rowCount(form); ++i)
            s += toSjis(test::rowText(form, i, 1));
        return s;
    }

    void clickHeader(int column)
    {
        QHeaderView* header = form.itemList()->view()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
    }

    TImgForm form;
    test::ScriptedPrompts* prompts = nullptr;
};

} // namespace

TEST_F(ListWindow, NoCommandActsDuringARunOrWhileTheWindowIsDisabled)
{
    QApplication::clipboard()->setText(QStringLiteral("http://127.0.0.1/x"));
    UrlCatcher browser;
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            form.runController()->beginRun();
        else
            form.setEnabled(false);
        select({ 1 });
        for (const char* name : { "actNew", "actChange", "actDelete", "actPasteUrl", "actSelectAll", "actMoveUp",
                 "actMoveDown", "actSortTitle", "actStatusError", "actBrowse", "actOpenItems", "actSaveItems",
                 "actCopyUrl", "actInvertSelection", "actSelectUpdated" }) {
            // Disabled actions do not fire; the command's own guard is tested by calling it too.
            trigger(name);
        }
        form.itemList()->onNew();
        form.itemList()->onChange();
        form.itemList()->onDelete();
        form.itemList()->onPasteUrl();
        form.itemList()->onSelectAll();
        form.itemList()->onMoveUp();
        form.itemList()->sort(SortKey::Title);
        form.itemList()->setStatus(ItemStatus::Error);
        form.itemList()->onBrowse();
        form.itemList()->onCopyUrl();
        form.itemList()->onSaveItems();
        form.itemList()->onListColumnClick(1);
        EXPECT_EQ(titles(), "abcd");
        EXPECT_EQ(form.itemList()->config().items[1].status, ItemStatus::Update);
        EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 1 });
        EXPECT_EQ(form.itemList()->config().items.sortKey, 0);
        EXPECT_TRUE(prompts->questions.empty());
        EXPECT_TRUE(prompts->openDialogs.empty() && prompts->saveDialogs.empty());
        EXPECT_TRUE(browser.opened.empty());
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("http://127.0.0.1/x"));
        EXPECT_FALSE(form.itemList()->itemDialog()->isVisible());

        // A right click shows no menu.
        form.itemList()->onListMouseDown(Qt::RightButton);
        EXPECT_FALSE(form.popupMenu()->isVisible());

        if (round == 0)
            form.runController()->endRun();
        else
            form.setEnabled(true);
    }

    // Stop has no guard: it works while the run goes on.
    form.runController()->beginRun();
    form.runController()->stop();
    EXPECT_TRUE(form.runController()->stopped());
    form.runController()->endRun();

    form.itemList()->onListMouseDown(Qt::RightButton);
    EXPECT_TRUE(form.popupMenu()->isVisible());
    form.popupMenu()->hide();
    form.itemList()->onListMouseDown(Qt::LeftButton);
    EXPECT_FALSE(form.popupMenu()->isVisible());
}

TEST_F(ListWindow, RightButtonOnTheListOpensTheContextMenu)
{
    form.show();
    QWidget* viewport = form.itemList()->view()->viewport();
    const QRect second = form.itemList()->view()->visualRect(test::cell(form, 1, 1));
    if (!second.isValid())
        GTEST_SKIP() << "the list has no room for rows in this window size";
    QTest::mousePress(viewport, Qt::RightButton, {}, second.center());
    EXPECT_TRUE(form.popupMenu()->isVisible());
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 1 }); // the row was selected before the menu opened
    form.popupMenu()->hide();
}

TEST_F(ListWindow, DeleteAsksOneOfThreeQuestions)
{
    // None selected: no question.
    select({});
    trigger("actDelete");
    EXPECT_TRUE(prompts->questions.empty());

    // One selected, Cancel then OK.
    select({ 2 });
    prompts->answers = { false, true };
    trigger("actDelete");
    EXPECT_EQ(titles(), "abcd");
    trigger("actDelete");
    ASSERT_EQ(prompts->questions.size(), 2u);
    EXPECT_EQ(prompts->questions[0].text, QStringLiteral("c\rこのアイテムを削除します"));
    EXPECT_EQ(prompts->questions[0].icon, QMessageBox::Question);
    EXPECT_EQ(titles(), "abd");
    EXPECT_EQ(rowTitles(), "abd");

    // Several but not all: the others stay in order.
    select({ 0, 2 });
    prompts->answers = { true };
    trigger("actDelete");
    EXPECT_EQ(prompts->questions.back().text, QStringLiteral("2個のアイテムを削除します"));
    EXPECT_EQ(titles(), "b");
    EXPECT_EQ(rowTitles(), "b");

    // A single row that is also every row asks about that item, not about all.
    select({ 0 });
    prompts->answers = { false };
    trigger("actDelete");
    EXPECT_EQ(prompts->questions.back().text, QStringLiteral("b\rこのアイテムを削除します"));

    // All of several rows.
    form.itemList()->config().items.append(item("e"));
    form.itemList()->config().items.append(item("f"));
    form.itemList()->refill();
    trigger("actSelectAll");
    prompts->answers = { true };
    trigger("actDelete");
    EXPECT_EQ(prompts->questions.back().text, QStringLiteral("全てのアイテムを削除します"));
    EXPECT_TRUE(form.itemList()->config().items.empty());
    EXPECT_EQ(test::rowCount(form), 0);
    EXPECT_TRUE(form.itemList()->enabled());
}

TEST_F(ListWindow, TitleInTheQuestionIsDecodedFromShiftJis)
{
    form.itemList()->config().items[0].title() = "\x83"
                                                 "e\x83X\x83g"; // テスト
    form.itemList()->refill();
    EXPECT_EQ(test::rowText(form, 0, 1), QStringLiteral("テスト"));
    select({ 0 });
    trigger("actDelete");
    EXPECT_EQ(prompts->questions.back().text, QStringLiteral("テスト\rこのアイテムを削除します"));
}

TEST_F(ListWindow, SelectionCommands)
{
    trigger("actSelectUpdated");
    EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { 1, 3 }));
    trigger("actInvertSelection");
    EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { 0, 2 }));
    trigger("actSelectAll");
    EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { 0, 1, 2, 3 }));

    for (TCheckItem& each : form.itemList()->config().items)
        each.status = ItemStatus::Normal;
    trigger("actSelectUpdated");
    EXPECT_TRUE(form.itemList()->selectedRows().empty());
}

TEST_F(ListWindow, MovesStopAtTheEnds)
{
    select({ 0 });
    trigger("actMoveUp");
    EXPECT_EQ(titles(), "abcd");
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 0 });
    select({ 3 });
    trigger("actMoveDown");
    EXPECT_EQ(titles(), "abcd");
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 3 });

    select({ 1, 3 });
    trigger("actMoveDown"); // the first selected row moves, and only it stays selected
    EXPECT_EQ(titles(), "acbd");
    EXPECT_EQ(rowTitles(), "acbd");
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 2 });
    EXPECT_EQ(form.itemList()->view()->currentIndex().row(), 2);
    trigger("actMoveUp");
    trigger("actMoveUp");
    EXPECT_EQ(titles(), "bacd");
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 0 });
    // The check box follows the item it belongs to.
    form.itemList()->config().items[0].check = 0;
    form.itemList()->refill();
    select({ 0 });
    trigger("actMoveDown");
    EXPECT_FALSE(test::rowTicked(form, 1));
    EXPECT_TRUE(test::rowTicked(form, 0));
}

TEST_F(ListWindow, ATickChangedInTheListIsTheItemsAtOnce)
{
    form.show();
    const QModelIndex box = test::cell(form, 1);
    QStyleOptionViewItem option;
    option.initFrom(form.itemList()->view()->viewport());
    option.rect = form.itemList()->view()->visualRect(box);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QPoint boxCentre
        = form.itemList()
              ->view()
              ->style()
              ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, form.itemList()->view())
              .center();
    if (!option.rect.isValid())
        GTEST_SKIP() << "the list has no room for rows in this window size";

    const std::function<void()> ways[] = {
        [&] { QTest::mouseClick(form.itemList()->view()->viewport(), Qt::LeftButton, {}, boxCentre); },
        [&] {
            form.itemList()->view()->setCurrentIndex(box);
            QTest::keyClick(form.itemList()->view(), Qt::Key_Space);
        },
    };
    for (const auto& toggle : ways) {
        toggle();
        EXPECT_EQ(form.itemList()->config().items[1].check, 0);
        EXPECT_FALSE(test::rowTicked(form, 1));
        toggle();
        EXPECT_EQ(form.itemList()->config().items[1].check, 1);
        EXPECT_TRUE(test::rowTicked(form, 1));
    }
    EXPECT_EQ(form.itemList()->config().items[0].check, 1);
}

TEST_F(ListWindow, SetStatusOnTheSelectedRows)
{
    select({ 0, 2 });
    trigger("actStatusError");
    EXPECT_EQ(form.itemList()->config().items[0].status, ItemStatus::Error);
    EXPECT_EQ(form.itemList()->config().items[1].status, ItemStatus::Update);
    EXPECT_EQ(form.itemList()->config().items[2].status, ItemStatus::Error);
    EXPECT_EQ(test::rowIcon(form, 2), form.itemList()->model()->statusIcon(ItemStatus::Error).pixmap(16).toImage());
    trigger("actStatusInitial");
    EXPECT_EQ(form.itemList()->config().items[0].status, ItemStatus::Initial);
    trigger("actStatusNormal");
    EXPECT_EQ(form.itemList()->config().items[2].status, ItemStatus::Normal);
    trigger("actStatusUpdate");
    EXPECT_EQ(form.itemList()->config().items[2].status, ItemStatus::Update);
    EXPECT_EQ(test::rowIcon(form, 2), form.itemList()->model()->statusIcon(ItemStatus::Update).pixmap(16).toImage());
}

TEST_F(ListWindow, OpenInBrowserTurnsUpdateIntoNormal)
{
    UrlCatcher browser;
    form.itemList()->config().items[1].viewUri() = "http://127.0.0.1/view";
    select({ 1 });
    trigger("actBrowse");
    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl(QStringLiteral("http://127.0.0.1/view")));
    EXPECT_EQ(form.itemList()->config().items[1].status, ItemStatus::Normal);
    EXPECT_EQ(test::rowIcon(form, 1), form.itemList()->model()->statusIcon(ItemStatus::Normal).pixmap(16).toImage());
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 1 });

    // An empty view URL opens the check URL; an item in error stays so.
    form.itemList()->config().items[2].status = ItemStatus::Error;
    select({ 2, 3 });
    trigger("actBrowse");
    ASSERT_EQ(browser.opened.size(), 2u);
    EXPECT_EQ(browser.opened[1], QUrl(QStringLiteral("http://127.0.0.1/c")));
    EXPECT_EQ(form.itemList()->config().items[2].status, ItemStatus::Error);
    EXPECT_EQ(form.itemList()->config().items[3].status, ItemStatus::Update);
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 2 });

    // Double click with the setting 1 opens the browser instead of the dialog.
    form.updateSettings([](TConfig& c) { c.doubleClickAction = 1; });
    select({ 3 });
    form.itemList()->onListDblClick();
    ASSERT_EQ(browser.opened.size(), 3u);
    EXPECT_EQ(form.itemList()->config().items[3].status, ItemStatus::Normal);
    form.updateSettings([](TConfig& c) { c.doubleClickAction = 2; });
    form.itemList()->onListDblClick();
    EXPECT_EQ(browser.opened.size(), 3u);
}

TEST_F(ListWindow, ClipboardCopyAndNewItemFromIt)
{
    select({ 2 });
    trigger("actCopyUrl");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("http://127.0.0.1/c"));

    QApplication::clipboard()->setText(QStringLiteral("a\r\nb"));
    QString shownUri;
    QString shownCaption;
    test::whenShown(*form.itemList()->itemDialog(), [&] {
        shownCaption = form.itemList()->itemDialog()->windowTitle();
        shownUri = form.itemList()->itemDialog()->txtCheckURI->text();
    });
    trigger("actPasteUrl");
    EXPECT_EQ(shownCaption, QStringLiteral("アイテム追加"));
    EXPECT_EQ(shownUri, QStringLiteral("a"));
    ASSERT_EQ(form.itemList()->config().items.count(), 5u);
    EXPECT_EQ(form.itemList()->config().items[4].checkUri(), "a");
    EXPECT_EQ(form.itemList()->config().items[4].title(), form.settings().defaultItem.title());
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 4 });
    EXPECT_EQ(test::rowText(form, 4, 2), QStringLiteral("a"));

    // An empty first line or no text at all does nothing, and shows no dialog.
    for (const QString& text : { QStringLiteral("\nb"), QStringLiteral("\r\nb"), QString() }) {
        QApplication::clipboard()->setText(text);
        trigger("actPasteUrl");
        EXPECT_EQ(form.itemList()->config().items.count(), 5u);
    }
    // Cancel adds nothing.
    QApplication::clipboard()->setText(QStringLiteral("http://127.0.0.1/z\n"));
    test::whenShown(*form.itemList()->itemDialog(), nullptr, "btnCancel");
    trigger("actPasteUrl");
    EXPECT_EQ(form.itemList()->config().items.count(), 5u);
}

TEST_F(ListWindow, NewAndChangeUseTheItemDialog)
{
    form.updateSettings([](TConfig& c) { c.defaultItem.title() = "template"; });
    QString shownCaption;
    test::whenShown(*form.itemList()->itemDialog(), [&] {
        shownCaption = form.itemList()->itemDialog()->windowTitle();
        form.itemList()->itemDialog()->txtTitle->setText(QStringLiteral("新しいページ"));
    });
    trigger("actNew");
    EXPECT_EQ(shownCaption, QStringLiteral("新規アイテム"));
    ASSERT_EQ(form.itemList()->config().items.count(), 5u);
    EXPECT_EQ(form.itemList()->config().items[4].title(), toSjis(QStringLiteral("新しいページ")));
    EXPECT_EQ(test::rowText(form, 4, 1), QStringLiteral("新しいページ"));
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 4 });

    test::whenShown(*form.itemList()->itemDialog(), nullptr, "btnCancel");
    trigger("actNew");
    EXPECT_EQ(form.itemList()->config().items.count(), 5u);

    // Change reads the row's check box into the item first, and a double click with setting 0 runs it.
    form.updateSettings([](TConfig& c) { c.doubleClickAction = 0; });
    select({ 1 });
    test::setTicked(form, 1, false);
    bool boxShown = true;
    test::whenShown(*form.itemList()->itemDialog(), [&] {
        shownCaption = form.itemList()->itemDialog()->windowTitle();
        boxShown = form.itemList()->itemDialog()->chkCheck->isChecked();
        form.itemList()->itemDialog()->txtTitle->setText(QStringLiteral("changed"));
    });
    form.itemList()->onListDblClick();
    EXPECT_EQ(shownCaption, QStringLiteral("アイテム変更"));
    EXPECT_FALSE(boxShown);
    EXPECT_EQ(form.itemList()->config().items[1].check, 0);
    EXPECT_EQ(form.itemList()->config().items[1].title(), "changed");
    EXPECT_EQ(test::rowText(form, 1, 1), QStringLiteral("changed"));
    EXPECT_EQ(form.itemList()->selectedRows(), TSelection { 1 });

    // Without a selected row nothing opens.
    select({});
    trigger("actChange");
    EXPECT_EQ(form.itemList()->config().items[1].title(), "changed");
}

TEST_F(ListWindow, SortingFromTheMenuAndTheColumnHeaders)
{
    form.show();
    form.itemList()->config().items[0].lastModifiedTime = 500;
    form.itemList()->config().items[1].lastModifiedTime = -1;
    form.itemList()->config().items[2].lastModifiedTime = 100;
    form.itemList()->config().items[3].lastModifiedTime = 0;
    form.itemList()->config().items[0].metaTagValue() = "2";
    form.itemList()->config().items[1].metaTagValue() = "1";
    form.itemList()->config().items[2].metaTagValue() = "4";
    form.itemList()->config().items[3].metaTagValue() = "3";
    form.itemList()->config().items[0].response() = "y";
    form.itemList()->config().items[1].response() = "z";
    form.itemList()->config().items[2].response() = "x";
    form.itemList()->config().items[3].response() = "w";
    select({ 2 });

    clickHeader(1);
    EXPECT_EQ(titles(), "abcd");
    EXPECT_TRUE(form.itemList()->selectedRows().empty()); // the list is rebuilt
    clickHeader(1);
    EXPECT_EQ(titles(), "dcba");
    EXPECT_EQ(rowTitles(), "dcba");
    trigger("actSortTitle");
    EXPECT_EQ(titles(), "abcd");

    trigger("actSortLastModified");
    EXPECT_EQ(titles(), "bdca"); // -1 first
    clickHeader(3);
    EXPECT_EQ(titles(), "acdb");

    clickHeader(4); // meta-tag
    EXPECT_EQ(form.itemList()->config().items.sortKey, 5);
    EXPECT_EQ(titles(), "badc");
    clickHeader(5); // Response
    EXPECT_EQ(form.itemList()->config().items.sortKey, 6);
    EXPECT_EQ(titles(), "dcab");
    trigger("actSortMetaTag");
    EXPECT_EQ(titles(), "badc");
    trigger("actSortResponse");
    EXPECT_EQ(titles(), "dcab");

    clickHeader(0);
    EXPECT_EQ(form.itemList()->config().items.sortKey, 1);
    EXPECT_EQ(rowTitles(), "cadb"); // Normal before Update; equal statuses keep their order
    trigger("actSortStatus");
    EXPECT_EQ(rowTitles(), "dbca");
    clickHeader(2);
    EXPECT_EQ(titles(), "abcd");
    EXPECT_TRUE(form.itemList()->enabled());
}

TEST_F(ListWindow, TitlesSortByTheUsersLocaleCaseSensitive)
{
    const QLocale before;
    auto sortedTitles = [this](const QLocale& locale) {
        QLocale::setDefault(locale);
        form.itemList()->config().items.clear();
        for (const char* title : { "b", "B", "a", "\x82\xa0" /* あ */, "A", "" })
            form.itemList()->config().items.append(item(title));
        form.itemList()->config().items.sortKey = 0;
        form.itemList()->refill();
        trigger("actSortTitle");
        std::string order;
        for (const TCheckItem& each : form.itemList()->config().items)
            order += each.title() + ",";
        return order;
    };
    // Dictionary order: each letter's two cases together, told apart; kana after the Latin letters.
    EXPECT_EQ(sortedTitles(QLocale(QLocale::Japanese, QLocale::Japan)), ",a,A,b,B,\x82\xa0,");
    EXPECT_EQ(sortedTitles(QLocale(QLocale::English, QLocale::UnitedStates)), ",a,A,b,B,\x82\xa0,");
    // The C locale has no dictionary: code point order.
    EXPECT_EQ(sortedTitles(QLocale::c()), ",A,B,a,b,\x82\xa0,");
    QLocale::setDefault(before);
}

TEST_F(ListWindow, ItemsFileCommands)
{
    test::TempDir dir;
    const QString path = QString::fromLocal8Bit(dir.file("saved.vantrelitems").c_str());

    // Save asks for a name with the title, filter, extension and the last file.
    form.updateSettings([&dir](TConfig& c) { c.lastItemsFile() = dir.file("last.vantrelitems"); });
    prompts->fileNames = { path };
    trigger("actSaveItems");
    ASSERT_EQ(prompts->saveDialogs.size(), 1u);
    EXPECT_EQ(prompts->saveDialogs[0].title, QStringLiteral("アイテムを保存する"));
    EXPECT_EQ(prompts->saveDialogs[0].filter, QStringLiteral("Vantrel Items(*.vantrelitems)|*.vantrelitems"));
    EXPECT_EQ(prompts->saveDialogs[0].defaultExtension, QStringLiteral("vantrelitems"));
    EXPECT_EQ(prompts->saveDialogs[0].fileName, QString::fromLocal8Bit(dir.file("last.vantrelitems").c_str()));
    EXPECT_EQ(form.settings().lastItemsFile(), dir.file("saved.vantrelitems"));
    TCheckItems written;
    ASSERT_TRUE(readItemsFile(dir.file("saved.vantrelitems"), written));
    EXPECT_EQ(written.count(), 4u);

    // Open replaces the list, Add appends to it.
    form.itemList()->config().items.clear();
    form.itemList()->config().items.append(item("x"));
    form.itemList()->refill();
    prompts->fileNames = { path };
    trigger("actAddItems");
    EXPECT_EQ(prompts->openDialogs.back().title, QStringLiteral("追加読み込み"));
    EXPECT_EQ(titles(), "xabcd");
    EXPECT_EQ(rowTitles(), "xabcd");
    prompts->fileNames = { path };
    trigger("actOpenItems");
    EXPECT_EQ(prompts->openDialogs.back().title, QStringLiteral("アイテムを読み込む"));
    EXPECT_EQ(prompts->openDialogs.back().filter, QStringLiteral("Vantrel Items(*.vantrelitems)|*.vantrelitems"));
    EXPECT_EQ(titles(), "abcd");

    // A file that cannot be read changes nothing, not even the last file name; Cancel neither.
    test::writeFile(dir.file("broken.vantrelitems"), "not an items file");
    prompts->fileNames = { QString::fromLocal8Bit(dir.file("broken.vantrelitems").c_str()), QString() };
    trigger("actOpenItems");
    trigger("actOpenItems");
    EXPECT_EQ(titles(), "abcd");
    EXPECT_EQ(form.settings().lastItemsFile(), dir.file("saved.vantrelitems"));

    // Saving an empty list does not even ask.
    form.itemList()->config().items.clear();
    form.itemList()->refill();
    const size_t asked = prompts->saveDialogs.size();
    trigger("actSaveItems");
    EXPECT_EQ(prompts->saveDialogs.size(), asked);
    EXPECT_TRUE(form.itemList()->enabled());
}

TEST_F(ListWindow, ShortcutsWorkWithTheFocusInTheList)
{
    form.show();
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    form.itemList()->view()->setFocus();
    if (QApplication::activeWindow() != &form)
        GTEST_SKIP() << "the window cannot be made active here";

    QTest::keyClick(form.itemList()->view(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { 0, 1, 2, 3 }));
    QTest::keyClick(form.itemList()->view(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(form.itemList()->selectedRows().empty());
    QTest::keyClick(form.itemList()->view(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { 1, 3 }));

    select({ 2 });
    QTest::keyClick(form.itemList()->view(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(titles(), "acbd");
    QTest::keyClick(form.itemList()->view(), Qt::Key_Delete);
    ASSERT_EQ(prompts->questions.size(), 1u);
    EXPECT_EQ(prompts->questions[0].text, QStringLiteral("c\rこのアイテムを削除します"));

    UrlCatcher browser;
    QTest::keyClick(form.itemList()->view(), Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl(QStringLiteral("http://127.0.0.1/c")));

    QString shownCaption;
    test::whenShown(
        *form.itemList()->itemDialog(), [&] { shownCaption = form.itemList()->itemDialog()->windowTitle(); },
        "btnCancel");
    QTest::keyClick(form.itemList()->view(), Qt::Key_Return);
    EXPECT_EQ(shownCaption, QStringLiteral("アイテム変更"));

    // The keypad's Enter edits as Enter does.
    QApplication::setActiveWindow(&form); // back from the dialog, as the window manager does
    shownCaption.clear();
    test::whenShown(
        *form.itemList()->itemDialog(), [&] { shownCaption = form.itemList()->itemDialog()->windowTitle(); },
        "btnCancel");
    QTest::keyClick(form.itemList()->view(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shownCaption, QStringLiteral("アイテム変更"));
}

TEST_F(ListWindow, TheFocusIsBackInTheListAfterEveryListCommand)
{
    form.show();
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    if (QApplication::activeWindow() != &form)
        GTEST_SKIP() << "the window cannot be made active here";
    UrlCatcher browser;
    struct Case
    {
        const char* name;
        std::function<void()> command; // as the user gives it
    };
    const Case cases[] = {
        { "move down", [&] { QTest::keyClick(form.itemList()->view(), Qt::Key_Down, Qt::AltModifier); } },
        { "move up", [&] { QTest::keyClick(form.itemList()->view(), Qt::Key_Up, Qt::AltModifier); } },
        { "delete",
            [&] {
                prompts->answers = { true };
                QTest::keyClick(form.itemList()->view(), Qt::Key_Delete);
            } },
        { "paste",
            [&] {
                QApplication::clipboard()->setText(QStringLiteral("http://127.0.0.1/new"));
                test::whenShown(*form.itemList()->itemDialog(), nullptr);
                QTest::keyClick(form.itemList()->view(), Qt::Key_V, Qt::ControlModifier);
            } },
        { "open in browser", [&] { QTest::keyClick(form.itemList()->view(), Qt::Key_Return, Qt::ShiftModifier); } },
        { "set status", [&] { trigger("actStatusError"); } }, // from the menu: it has no key
        { "sort", [&] { clickHeader(1); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        select({ 1 });
        form.itemList()->view()->setCurrentIndex(test::cell(form, 1));
        form.itemList()->view()->setFocus();
        c.command();
        // As the window manager does when a dialog has closed (the offscreen platform does not).
        QApplication::setActiveWindow(&form);
        ASSERT_EQ(QApplication::focusWidget(), form.itemList()->view());
        // The arrow keys go on moving the selection.
        const int row = form.itemList()->view()->currentIndex().row();
        const bool last = row + 1 == test::rowCount(form); // where a pasted item goes
        QTest::keyClick(QApplication::focusWidget(), last ? Qt::Key_Up : Qt::Key_Down);
        EXPECT_EQ(form.itemList()->selectedRows(), (TSelection { static_cast<size_t>(last ? row - 1 : row + 1) }));
    }
}

#include "list_commands_test.moc"
