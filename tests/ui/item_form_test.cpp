#include "session/sjis_text.h"
#include "store/check_item.h"
#include "store/item_extension.h"
#include "support/encoded_text.h"
#include "support/http_server.h"
#include "ui/item_form.h"

#include "form_driver.h"
#include "item_printer.h"
#include "window_driver.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <string>

using test::child;
using test::whenShown;

namespace {

// An item that has been checked before: results, stored content and a status to lose.
TCheckItem checkedItem()
{
    TCheckItem item = newItemTemplate();
    item.title() = "Example";
    item.checkUri() = "http://127.0.0.1/page.html";
    item.viewUri() = "http://127.0.0.1/";
    item.status = ItemStatus::Update;
    item.useGet = 1;
    item.compareContent = 1;
    item.compareSize = 1;
    item.compareMetaTag = 1;
    item.metaTagName() = "version";
    item.metaTagValue() = "7";
    item.lastCheckTime = 1000;
    item.lastModifiedTime = 2000;
    item.contentLengthValue = 3000;
    item.bodySize = 4000;
    item.lastCheck() = "Tue Dec 08 03:32:10 2026";
    item.response() = "HTTP/1.0 200 OK";
    item.lastModified() = "Tue, 08 Dec 2026 03:32:10 GMT";
    item.contentLength() = "3000";
    item.content.assign("<html>", 6);
    item.userAgent().clear(); // an item without its own parameters holds none
    return item;
}

TCheckItem defaultParameters()
{
    TCheckItem defaults = newItemTemplate();
    defaults.useProxy = 1;
    defaults.proxyServer() = "proxy.local";
    defaults.proxyPort() = "8080";
    defaults.useAuthentication = 1;
    defaults.userId() = "alice";
    defaults.setPassword("secret");
    defaults.userAgent() = "Agent/1";
    return defaults;
}

QString text(const TItemForm& form, const char* name)
{
    return child<QLineEdit>(form, name)->text();
}

void setText(const TItemForm& form, const char* name, const QString& value)
{
    QLineEdit* edit = child<QLineEdit>(form, name);
    edit->selectAll();
    edit->insert(value); // as typed: the edit's own editing path
}

void click(const TItemForm& form, const char* name)
{
    child<QCheckBox>(form, name)->click();
}

void altKey(QWidget* target, Qt::Key key)
{
    QTest::keyClick(target, key, Qt::AltModifier);
}

void setLines(const TItemForm& form, const char* name, const QString& value)
{
    QPlainTextEdit* edit = child<QPlainTextEdit>(form, name);
    edit->selectAll();
    edit->insertPlainText(value);
}

// Starts the preview and waits for what it shows.
QPlainTextEdit* preview(const TItemForm& form)
{
    auto* button = child<QPushButton>(form, "btnPreview");
    button->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 10000));
    return child<QPlainTextEdit>(form, "txtPreview");
}

const std::string WatchedPage = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"
                                "<html><body><div id=nav>Menu</div><div class=main><div>Price 100</div>"
                                "<div>Updated 12:00</div><div>Stock</div></div></body></html>";

} // namespace

TEST(ItemForm, DesignValuesAndCaptions)
{
    TItemForm form;
    EXPECT_EQ(form.size(), QSize(442, 373));
    EXPECT_EQ(form.font().pixelSize(), 13);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("アイテム"));
    EXPECT_TRUE(child<QPushButton>(form, "btnOk")->isDefault());
    EXPECT_FALSE(child<QPushButton>(form, "btnOk")->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(child<QPushButton>(form, "btnCancel")->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(child<QLineEdit>(form, "txtPassword")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(child<QLineEdit>(form, "txtLastCheck")->isReadOnly());
    EXPECT_FALSE(child<QLineEdit>(form, "txtCheckURI")->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(child<QCheckBox>(form, "chkCheck")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(form, "chkDate")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(form, "chkLength")->isChecked());

    const QTabWidget* tabs = child<QTabWidget>(form, "tabMain");
    ASSERT_EQ(tabs->count(), 4);
    const char* const pages[][2] = { { "tabItem", "アイテム" }, { "tabCheck", "確認方法" },
        { "tabWatch", "監視する部分" }, { "tabUnique", "固有の設定" } };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), QString::fromLatin1(pages[i][0]));
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(pages[i][1]));
    }

    const char* const captions[][2] = {
        { "btnOk", "OK" },
        { "btnCancel", "Cancel" },
        { "chkCheck", "確認対象(&C)" },
        { "lblTitle", "タイトル(&T)" },
        { "chkGetTitle", "次回確認時にタイトルを取得(&G)" },
        { "lblCheckURI", "URL(&U)" },
        { "lblViewURI", "表示URL(&V)" },
        { "lblLastCheck", "確認日付(&D)" },
        { "lblResponse", "Response(&R)" },
        { "chkGet", "GET要求を使用(&G)" },
        { "chkDate", "Last-Modified(&M)" },
        { "chkLength", "Content-Length(&L)" },
        { "chkSize", "ファイルサイズ(&S)" },
        { "chkBody", "内容を比較(&C) (メモリとディスク容量を消費します)" },
        { "chkText", "ページの文字を比較(&X)" },
        { "chkMetaTag", "metaタグで確認(&T)" },
        { "lblMetaTag", "<meta name=\"名前\" content=\"値\">" },
        { "lblMetaTagName", "名前(&N)" },
        { "lblMetaTagValue", "値(&V)" },
        { "chkUnique", "アイテム固有の設定(&U)" },
        { "chkProxyUse", "proxyを使用する(&P)" },
        { "lblProxyServer", "サーバ(&S)" },
        { "lblProxyPort", "ポート(&N)" },
        { "chkAuthentication", "認証を行う(&A)" },
        { "lblUserID", "UserID(&I)" },
        { "lblPassword", "Password(&W)" },
        { "lblUserAgent", "User-Agent(&B)" },
        { "lblRegion", "監視する部分 (CSSセレクターまたはxpath:…)" },
        { "lblIgnore", "無視する行 (正規表現、1行に1つ)" },
        { "chkIgnoreNumbers", "数字の違いを無視する" },
        { "btnPreview", "プレビュー" },
    };
    for (const auto& [name, expected] : captions) {
        QWidget* widget = child<QWidget>(form, name);
        const QString shown = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                            : qobject_cast<QAbstractButton*>(widget)->text();
        EXPECT_EQ(shown, QString::fromUtf8(expected)) << name;
    }
    for (const char* name : { "grpTitle", "grpURI", "grpCheckInfo", "grpHeader", "grpBody", "grpMetaTag", "grpProxy",
             "grpAuthentication", "grpHTTP" })
        EXPECT_NO_THROW(child<QGroupBox>(form, name)) << name;
    for (const char* name : { "txtTitle", "txtCheckURI", "txtViewURI", "txtLastCheck", "txtResponse", "txtDate",
             "txtLength", "txtSize", "txtMetaTagName", "txtMetaTagValue", "txtProxyServer", "txtProxyPort", "txtUserID",
             "txtPassword", "txtUserAgent" })
        EXPECT_NO_THROW(child<QLineEdit>(form, name)) << name;
}

TEST(ItemForm, FillsControlsFromTheItem)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    item.title() = test::sjis("アイテム");
    item.ownParameters = 1;
    item.proxyServer() = "own.proxy";
    item.setPassword("pw");
    whenShown(form, [&] {
        EXPECT_EQ(text(form, "txtTitle"), QString::fromUtf8("アイテム"));
        EXPECT_EQ(text(form, "txtCheckURI"), QStringLiteral("http://127.0.0.1/page.html"));
        EXPECT_EQ(text(form, "txtViewURI"), QStringLiteral("http://127.0.0.1/"));
        EXPECT_EQ(text(form, "txtLastCheck"), QStringLiteral("Tue Dec 08 03:32:10 2026"));
        EXPECT_EQ(text(form, "txtResponse"), QStringLiteral("HTTP/1.0 200 OK"));
        EXPECT_EQ(text(form, "txtDate"), QStringLiteral("Tue, 08 Dec 2026 03:32:10 GMT"));
        EXPECT_EQ(text(form, "txtLength"), QStringLiteral("3000"));
        EXPECT_EQ(text(form, "txtSize"), QStringLiteral("4000"));
        EXPECT_EQ(text(form, "txtMetaTagName"), QStringLiteral("version"));
        EXPECT_EQ(text(form, "txtMetaTagValue"), QStringLiteral("7"));
        EXPECT_EQ(text(form, "txtProxyServer"), QStringLiteral("own.proxy"));
        EXPECT_EQ(text(form, "txtPassword"), QStringLiteral("pw"));
        EXPECT_TRUE(child<QCheckBox>(form, "chkGet")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(form, "chkBody")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(form, "chkUnique")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(form, "chkGetTitle")->isChecked());
    });
    EXPECT_TRUE(form.Execute(item, defaultParameters()));

    item.bodySize = 0;
    whenShown(
        form, [&] { EXPECT_TRUE(text(form, "txtSize").isEmpty()); }, "btnCancel");
    EXPECT_FALSE(form.Execute(item, defaultParameters()));
}

TEST(ItemForm, ShowingPutsFocusIntoTheUrlWithAllSelected)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(form, [&] {
        EXPECT_EQ(child<QTabWidget>(form, "tabMain")->currentWidget()->objectName(), QStringLiteral("tabItem"));
        EXPECT_EQ(form.focusWidget(), child<QLineEdit>(form, "txtCheckURI"));
        EXPECT_EQ(child<QLineEdit>(form, "txtCheckURI")->selectedText(), QStringLiteral("http://127.0.0.1/page.html"));
    });
    form.Execute(item, defaultParameters());

    // Reused: opens on the first page again, wherever it was left.
    whenShown(
        form, [&] { child<QTabWidget>(form, "tabMain")->setCurrentIndex(2); }, "btnCancel");
    form.Execute(item, defaultParameters());
    whenShown(
        form, [&] { EXPECT_EQ(child<QTabWidget>(form, "tabMain")->currentIndex(), 0); }, "btnCancel");
    form.Execute(item, defaultParameters());
}

TEST(ItemForm, ConfirmingAppliesTheEditingRules)
{
    struct Case
    {
        const char* what;
        std::function<void(TItemForm&)> edit;
        std::function<void(const TCheckItem&)> expect;
    };
    const Case cases[] = {
        { "empty URL switches the check off", [](TItemForm& f) { setText(f, "txtCheckURI", QString()); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.check, 0);
                EXPECT_TRUE(i.checkUri().empty());
            } },
        { "changed URL resets the results and the status",
            [](TItemForm& f) { setText(f, "txtCheckURI", QStringLiteral("http://127.0.0.1/other.html")); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.checkUri(), "http://127.0.0.1/other.html");
                EXPECT_EQ(i.status, ItemStatus::Initial);
                EXPECT_EQ(i.lastCheckTime, 0);
                EXPECT_EQ(i.lastModifiedTime, 0);
                EXPECT_EQ(i.contentLengthValue, 0);
                EXPECT_EQ(i.bodySize, 0);
                EXPECT_TRUE(i.lastCheck().empty() && i.response().empty() && i.lastModified().empty()
                    && i.contentLength().empty() && i.metaTagValue().empty());
                EXPECT_TRUE(i.content.empty());
                EXPECT_EQ(i.check, 1);
            } },
        { "changed title alone keeps the results",
            [](TItemForm& f) { setText(f, "txtTitle", QStringLiteral("Renamed")); },
            [](const TCheckItem& i) {
                TCheckItem expected = checkedItem();
                expected.title() = "Renamed";
                EXPECT_EQ(i, expected);
            } },
        { "GET off empties the content", [](TItemForm& f) { click(f, "chkGet"); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.useGet, 0);
                EXPECT_TRUE(i.content.empty());
                EXPECT_EQ(i.bodySize, 4000);
                EXPECT_EQ(i.status, ItemStatus::Update);
            } },
        { "changed tag name empties its value and resets the status",
            [](TItemForm& f) { setText(f, "txtMetaTagName", QStringLiteral("build")); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.metaTagName(), "build");
                EXPECT_TRUE(i.metaTagValue().empty());
                EXPECT_EQ(i.status, ItemStatus::Initial);
                EXPECT_EQ(i.lastCheck(), "Tue Dec 08 03:32:10 2026");
            } },
        { "empty tag name switches the tag comparison off",
            [](TItemForm& f) { setText(f, "txtMetaTagName", QString()); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.compareMetaTag, 0);
                EXPECT_EQ(i.status, ItemStatus::Initial);
            } },
        { "changed comparison switch resets the status", [](TItemForm& f) { click(f, "chkDate"); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.compareLastModified, 0);
                EXPECT_EQ(i.status, ItemStatus::Initial);
                EXPECT_EQ(i.response(), "HTTP/1.0 200 OK");
            } },
        { "get title is written back", [](TItemForm& f) { click(f, "chkGetTitle"); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.getTitle, 1);
                EXPECT_EQ(i.status, ItemStatus::Update);
            } },
        { "spaces and control characters around texts are removed, inner ones kept",
            [](TItemForm& f) {
                setText(f, "txtTitle", QStringLiteral("  My \t page \t "));
                setText(f, "txtViewURI", QStringLiteral("\x01http://127.0.0.1/v\x7f\n"));
                setText(f, "txtMetaTagName", QStringLiteral(" version "));
            },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.title(), "My \t page");
                EXPECT_EQ(i.viewUri(), "http://127.0.0.1/v");
                EXPECT_EQ(i.metaTagName(), "version");
                EXPECT_EQ(i.status, ItemStatus::Update); // the name is unchanged once trimmed
            } },
        { "Japanese text is stored as Shift_JIS",
            [](TItemForm& f) { setText(f, "txtTitle", QString::fromUtf8("新規アイテム")); },
            [](const TCheckItem& i) {
                EXPECT_EQ(i.title(),
                    "\x90V\x8bK\x83"
                    "A\x83"
                    "C\x83"
                    "e\x83\x80" /* 新規アイテム */);
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TItemForm form;
        TCheckItem item = checkedItem();
        whenShown(form, [&] { c.edit(form); });
        ASSERT_TRUE(form.Execute(item, defaultParameters()));
        c.expect(item);
    }
}

TEST(ItemForm, UncheckingTheCheckDisablesTwoPagesAndKeepsTheirValues)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    item.ownParameters = 1;
    item.proxyServer() = "own.proxy";
    whenShown(form, [&] {
        click(form, "chkCheck");
        EXPECT_FALSE(child<QWidget>(form, "tabCheck")->isEnabled());
        EXPECT_FALSE(child<QWidget>(form, "tabUnique")->isEnabled());
        EXPECT_TRUE(child<QWidget>(form, "tabItem")->isEnabled());
        EXPECT_TRUE(child<QLineEdit>(form, "txtTitle")->isEnabled());
        EXPECT_TRUE(child<QCheckBox>(form, "chkGet")->isChecked());
        EXPECT_EQ(text(form, "txtMetaTagName"), QStringLiteral("version"));
        EXPECT_EQ(text(form, "txtProxyServer"), QStringLiteral("own.proxy"));
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    TCheckItem expected = checkedItem();
    expected.ownParameters = 1;
    expected.proxyServer() = "own.proxy";
    expected.check = 0;
    EXPECT_EQ(item, expected);
}

TEST(ItemForm, EnablingFollowsTheSwitches)
{
    // Which switches are ticked, then which controls must be enabled (relative to their page).
    struct Case
    {
        bool check, get, date, length, size, meta, unique, proxy, auth;
    };
    const Case cases[] = {
        { true, true, true, true, true, true, true, true, true },
        { true, false, true, false, true, true, true, false, true },
        { true, true, false, true, false, false, false, true, true },
        { true, true, true, false, true, true, true, true, false },
        { false, true, true, true, true, true, true, true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.check << c.get << c.date << c.length << c.size << c.meta << c.unique
                                        << c.proxy << c.auth);
        TItemForm form;
        TCheckItem item = checkedItem();
        item.check = c.check;
        item.useGet = c.get;
        item.compareLastModified = c.date;
        item.compareContentLength = c.length;
        item.compareSize = c.size;
        item.compareMetaTag = c.meta;
        item.ownParameters = c.unique;
        item.useProxy = c.proxy;
        item.useAuthentication = c.auth;
        item.proxyServer() = "p";
        whenShown(
            form,
            [&] {
                auto enabled = [&](const char* name) { return child<QWidget>(form, name)->isEnabledTo(&form); };
                const bool g = c.check && c.get;
                const bool u = c.check && c.unique;
                EXPECT_EQ(enabled("tabCheck"), c.check);
                EXPECT_EQ(enabled("tabWatch"), c.check);
                EXPECT_EQ(enabled("tabUnique"), c.check);
                for (const char* name : { "chkGet", "grpHeader", "chkDate", "chkLength", "chkUnique" })
                    EXPECT_EQ(enabled(name), c.check) << name;
                EXPECT_EQ(enabled("txtDate"), c.check && c.date);
                EXPECT_EQ(enabled("txtLength"), c.check && c.length);
                for (const char* name : { "grpBody", "chkSize", "chkBody", "chkText", "grpMetaTag", "chkMetaTag" })
                    EXPECT_EQ(enabled(name), g) << name;
                EXPECT_EQ(enabled("txtSize"), g && c.size);
                for (const char* name :
                    { "lblMetaTag", "lblMetaTagName", "txtMetaTagName", "lblMetaTagValue", "txtMetaTagValue" })
                    EXPECT_EQ(enabled(name), g && c.meta) << name;
                for (const char* name : { "grpProxy", "chkProxyUse", "grpAuthentication", "chkAuthentication",
                         "grpHTTP", "lblUserAgent", "txtUserAgent" })
                    EXPECT_EQ(enabled(name), u) << name;
                for (const char* name : { "lblProxyServer", "txtProxyServer", "lblProxyPort", "txtProxyPort" })
                    EXPECT_EQ(enabled(name), u && c.proxy) << name;
                for (const char* name : { "lblUserID", "txtUserID", "lblPassword", "txtPassword" })
                    EXPECT_EQ(enabled(name), u && c.auth) << name;
                for (const char* name : { "chkCheck", "txtTitle", "chkGetTitle", "txtCheckURI", "txtViewURI",
                         "txtLastCheck", "txtResponse" })
                    EXPECT_TRUE(enabled(name)) << name;
            },
            "btnCancel");
        form.Execute(item, defaultParameters());
    }
}

TEST(ItemForm, EnablingIsRecomputedOnEveryClick)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    item.ownParameters = 0;
    whenShown(
        form,
        [&] {
            auto enabled = [&](const char* name) { return child<QWidget>(form, name)->isEnabledTo(&form); };
            EXPECT_FALSE(enabled("txtProxyServer"));
            click(form, "chkUnique");
            EXPECT_TRUE(enabled("txtProxyServer")); // the default's proxy switch is on
            click(form, "chkProxyUse");
            EXPECT_FALSE(enabled("txtProxyServer"));
            EXPECT_TRUE(enabled("txtMetaTagName"));
            click(form, "chkMetaTag");
            EXPECT_FALSE(enabled("txtMetaTagName"));
            click(form, "chkMetaTag");
            click(form, "chkGet");
            EXPECT_FALSE(enabled("chkMetaTag"));
            EXPECT_FALSE(enabled("txtMetaTagName"));
            EXPECT_TRUE(child<QCheckBox>(form, "chkMetaTag")->isChecked());
            const bool sizeBefore = enabled("txtSize");
            click(form, "chkGetTitle");
            EXPECT_EQ(enabled("txtSize"), sizeBefore);
        },
        "btnCancel");
    form.Execute(item, defaultParameters());
}

TEST(ItemForm, ItemWithoutOwnParametersShowsTheDefaultsAndComesBackWithout)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(form, [&] {
        EXPECT_FALSE(child<QCheckBox>(form, "chkUnique")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(form, "chkProxyUse")->isChecked());
        EXPECT_EQ(text(form, "txtProxyServer"), QStringLiteral("proxy.local"));
        EXPECT_EQ(text(form, "txtProxyPort"), QStringLiteral("8080"));
        EXPECT_TRUE(child<QCheckBox>(form, "chkAuthentication")->isChecked());
        EXPECT_EQ(text(form, "txtUserID"), QStringLiteral("alice"));
        EXPECT_EQ(text(form, "txtPassword"), QStringLiteral("secret"));
        EXPECT_EQ(text(form, "txtUserAgent"), QStringLiteral("Agent/1"));
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item, checkedItem());
}

TEST(ItemForm, TickingOwnParametersStoresThemWithTheScrambledPassword)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(form, [&] {
        click(form, "chkUnique");
        setText(form, "txtPassword", QStringLiteral(" mine "));
        setText(form, "txtProxyPort", QStringLiteral("not a number"));
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.ownParameters, 1);
    EXPECT_EQ(item.useProxy, 1);
    EXPECT_EQ(item.proxyServer(), "proxy.local");
    EXPECT_EQ(item.proxyPort(), "not a number");
    EXPECT_EQ(item.useAuthentication, 1);
    EXPECT_EQ(item.userId(), "alice");
    EXPECT_EQ(item.password, "mine");
    EXPECT_EQ(item.scrambledPassword(), scramblePassword("mine"));
    EXPECT_EQ(item.userAgent(), "Agent/1");
    EXPECT_EQ(item.status, ItemStatus::Update);
}

TEST(ItemForm, EmptyProxyServerSwitchesTheProxyOff)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    item.ownParameters = 1;
    item.useProxy = 1;
    item.proxyServer() = "own.proxy";
    whenShown(form, [&] { setText(form, "txtProxyServer", QStringLiteral("   ")); });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.useProxy, 0);
    EXPECT_TRUE(item.proxyServer().empty());
}

TEST(ItemForm, CancelChangesNothing)
{
    TCheckItem stray = checkedItem();
    // Parameter texts without the switch can come from an imported list; Cancel must not lose them.
    stray.proxyServer() = "kept.proxy";
    stray.userAgent() = "Kept/1";
    TCheckItem own = checkedItem();
    own.ownParameters = 1;
    own.useAuthentication = 1;
    own.userId() = "bob";
    own.setPassword("pw");
    for (const TCheckItem& original : { checkedItem(), stray, own }) {
        TItemForm form;
        TCheckItem item = original;
        whenShown(
            form,
            [&] {
                setText(form, "txtTitle", QStringLiteral("changed"));
                setText(form, "txtCheckURI", QString());
                click(form, "chkGet");
                click(form, "chkUnique");
                setText(form, "txtUserAgent", QStringLiteral("changed"));
            },
            "btnCancel");
        EXPECT_FALSE(form.Execute(item, defaultParameters()));
        EXPECT_EQ(item, original);
    }
}

TEST(ItemForm, EscapeCancelsAndEnterConfirms)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(
        form,
        [&] {
            setText(form, "txtTitle", QStringLiteral("changed"));
            QTest::keyClick(child<QLineEdit>(form, "txtTitle"), Qt::Key_Escape);
        },
        "none");
    EXPECT_FALSE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.title(), "Example");

    whenShown(
        form,
        [&] {
            setText(form, "txtTitle", QStringLiteral("changed"));
            QTest::keyClick(child<QLineEdit>(form, "txtTitle"), Qt::Key_Return);
        },
        "none");
    EXPECT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.title(), "changed");
}

TEST(ItemForm, AltArrowsPageWithWrapAround)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(
        form,
        [&] {
            auto* tabs = child<QTabWidget>(form, "tabMain");
            QWidget* focus = child<QLineEdit>(form, "txtCheckURI");
            const int steps[][2]
                = { { Qt::Key_Right, 1 }, { Qt::Key_Right, 2 }, { Qt::Key_Right, 3 }, { Qt::Key_Right, 0 },
                      { Qt::Key_Left, 3 }, { Qt::Key_Left, 2 }, { Qt::Key_Left, 1 }, { Qt::Key_Left, 0 } };
            for (const auto& [key, page] : steps) {
                altKey(focus, static_cast<Qt::Key>(key));
                EXPECT_EQ(tabs->currentIndex(), page);
            }
            // A hidden page is skipped.
            tabs->setTabVisible(1, false);
            altKey(focus, Qt::Key_Right);
            EXPECT_EQ(tabs->currentIndex(), 2);
            altKey(focus, Qt::Key_Left);
            EXPECT_EQ(tabs->currentIndex(), 0);
            tabs->setTabVisible(1, true);
            // Without Alt the key belongs to the control: the cursor moves, the page stays.
            QTest::keyClick(focus, Qt::Key_Right);
            EXPECT_EQ(tabs->currentIndex(), 0);
        },
        "btnCancel");
    form.Execute(item, defaultParameters());
}

TEST(ItemForm, UnstorableCharactersAreShownAndOkStaysUsable)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    const QString typed = QString::fromUtf8("caf\u00e9 \U0001F600");
    whenShown(form, [&] {
        EXPECT_TRUE(child<QLabel>(form, "lblUnstorable")->text().isEmpty());
        setText(form, "txtTitle", typed);
        const QString warning = child<QLabel>(form, "lblUnstorable")->text();
        EXPECT_TRUE(warning.contains(QString::fromUtf8("\u00e9")));
        EXPECT_TRUE(warning.contains(QString::fromUtf8("\U0001F600")));
        EXPECT_TRUE(child<QLineEdit>(form, "txtTitle")->toolTip().contains(QString::fromUtf8("\u00e9")));
        EXPECT_TRUE(child<QLineEdit>(form, "txtViewURI")->toolTip().isEmpty());
        EXPECT_TRUE(child<QPushButton>(form, "btnOk")->isEnabled());
        // Mending the text clears the warning.
        setText(form, "txtTitle", QStringLiteral("cafe"));
        EXPECT_TRUE(child<QLabel>(form, "lblUnstorable")->text().isEmpty());
        EXPECT_TRUE(child<QLineEdit>(form, "txtTitle")->toolTip().isEmpty());
        setText(form, "txtTitle", typed);
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.title(), "caf? ?");
}

TEST(ItemForm, UntouchedTextsKeepTheirExactBytes)
{
    // Bytes that the screen's text cannot give back: an unassigned pair, and an extension character
    // that the code page writes back under another code.
    const std::string odd = "\x85\x40"
                            "a\xed\x40";
    TItemForm form;
    TCheckItem item = checkedItem();
    item.title() = odd;
    item.viewUri() = " " + odd + " ";
    whenShown(form, [&] { EXPECT_TRUE(child<QLabel>(form, "lblUnstorable")->text().isEmpty()); });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.title(), odd);
    EXPECT_EQ(item.viewUri(), odd);
    EXPECT_EQ(item.status, ItemStatus::Update);
}

TEST(ItemForm, CaptionsFitOnEveryPage)
{
    TItemForm form;
    TCheckItem item = checkedItem();
    whenShown(
        form,
        [&] {
            EXPECT_EQ(test::crampedControls(form), std::vector<std::string>());
            setText(form, "txtTitle", test::manyUnstorableCharacters());
            ASSERT_FALSE(child<QLabel>(form, "lblUnstorable")->text().isEmpty());
            EXPECT_EQ(test::crampedControls(form), std::vector<std::string>());
        },
        "btnCancel");
    form.Execute(item, defaultParameters());
}

TEST(ItemForm, TextSwitchAndWatchRulesRoundTripThroughTheExtension)
{
    const std::string others = "id=0123456789abcdef0123456789abcdef\nfuture=kept";
    TItemForm form;
    TCheckItem item = checkedItem();
    item.extensionText() = others;
    whenShown(form, [] {});
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.extensionText(), others); // untouched, byte for byte
    EXPECT_EQ(item.status, ItemStatus::Update);

    whenShown(form, [&] {
        click(form, "chkText");
        setText(form, "txtRegion", QStringLiteral(" div.main > p "));
        setLines(form, "txtIgnore", QString::fromUtf8(" ^Updated \n\n\\d+ 人が閲覧中\n"));
        click(form, "chkIgnoreNumbers");
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    const TItemExtension stored(item.extensionText());
    EXPECT_EQ(stored.value("future"), "kept");
    EXPECT_EQ(stored.value(ExtKey::CompareText), "1");
    EXPECT_EQ(stored.value(ExtKey::Region), "div.main > p");
    EXPECT_EQ(stored.values(ExtKey::Ignore), (std::vector<std::string> { "^Updated", test::sjis("\\d+ 人が閲覧中") }));
    EXPECT_EQ(stored.value(ExtKey::IgnoreNumbers), "1");
    EXPECT_EQ(item.status, ItemStatus::Initial);

    whenShown(form, [&] {
        EXPECT_TRUE(child<QCheckBox>(form, "chkText")->isChecked());
        EXPECT_EQ(text(form, "txtRegion"), QStringLiteral("div.main > p"));
        EXPECT_EQ(
            child<QPlainTextEdit>(form, "txtIgnore")->toPlainText(), QString::fromUtf8("^Updated\n\\d+ 人が閲覧中"));
        EXPECT_TRUE(child<QCheckBox>(form, "chkIgnoreNumbers")->isChecked());
        click(form, "chkText");
        setText(form, "txtRegion", QString());
        setLines(form, "txtIgnore", QStringLiteral("\n"));
        click(form, "chkIgnoreNumbers");
    });
    ASSERT_TRUE(form.Execute(item, defaultParameters()));
    EXPECT_EQ(item.extensionText(), TItemExtension(others).text());
}

TEST(ItemForm, PreviewShowsTheRegionWithIgnoredLinesGreyed)
{
    TCheckItem defaults = defaultParameters();
    defaults.useProxy = 0;
    defaults.useAuthentication = 0;
    // The item's own connection parameters when it has them, else the default item's.
    for (const bool own : { true, false }) {
        SCOPED_TRACE(own);
        test::HttpServer server({ test::Reply::bytes(WatchedPage) });
        TCheckItem item = checkedItem();
        item.checkUri() = server.url("/page.html");
        item.ownParameters = own;
        item.userAgent() = own ? "Own/1" : "";
        TItemForm form;
        whenShown(
            form,
            [&] {
                setText(form, "txtRegion", QStringLiteral(".main"));
                setLines(form, "txtIgnore", QStringLiteral("^Updated"));
                const QPlainTextEdit* shown = preview(form);
                EXPECT_EQ(shown->toPlainText(), QStringLiteral("Price 100\nUpdated 12:00\nStock"));
                auto greyed = [&](int line) {
                    const QTextBlock block = shown->document()->findBlockByNumber(line);
                    return block.begin().fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush);
                };
                EXPECT_FALSE(greyed(0));
                EXPECT_TRUE(greyed(1));
                EXPECT_FALSE(greyed(2));
            },
            "btnCancel");
        EXPECT_FALSE(form.Execute(item, defaults));
        ASSERT_EQ(server.connectionCount(), 1u);
        EXPECT_NE(server.request(0).find(own ? "User-Agent: Own/1\r\n" : "User-Agent: Agent/1\r\n"), std::string::npos);
    }
}

TEST(ItemForm, PreviewSaysWhyThereIsNoText)
{
    struct Case
    {
        const char* region;
        const char* ignore;
        std::string answer; // empty: the server must not be asked
        const char* said;
    };
    const Case cases[] = {
        { ".missing", "", WatchedPage, "指定した部分が見つかりません" },
        { "", "ok\n(unclosed", "", "「(unclosed」" },
        { "div[", "", "", "セレクター" },
        { "", "", "HTTP/1.0 404 Not Found\r\n\r\n", "HTTP/1.0 404 Not Found" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        test::HttpServer server;
        if (!c.answer.empty())
            server.add(c.answer);
        TCheckItem item = checkedItem();
        item.checkUri() = server.url("/page.html");
        item.ownParameters = 1;
        TItemForm form;
        whenShown(
            form,
            [&] {
                setText(form, "txtRegion", QString::fromUtf8(c.region));
                setLines(form, "txtIgnore", QString::fromUtf8(c.ignore));
                const QString shown = preview(form)->toPlainText();
                EXPECT_TRUE(shown.contains(QString::fromUtf8(c.said))) << shown.toStdString();
            },
            "btnCancel");
        form.Execute(item, defaultParameters());
        EXPECT_EQ(server.connectionCount(), c.answer.empty() ? 0u : 1u);
    }
}

TEST(ItemForm, ClosingDuringAPreviewShowsNothingLate)
{
    test::HttpServer server({ test::Reply::stall(), test::Reply::bytes(WatchedPage), test::Reply::stall() });
    TCheckItem item = checkedItem();
    item.checkUri() = server.url("/page.html");
    item.ownParameters = 1;
    TItemForm form;
    auto startAndClose = [&](size_t connection) {
        whenShown(
            form,
            [&] {
                child<QPushButton>(form, "btnPreview")->click();
                EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == connection; }));
            },
            "btnCancel");
        EXPECT_FALSE(form.Execute(item, defaultParameters()));
    };
    startAndClose(1);
    // Opened again: the first preview never shows, and the next one does.
    whenShown(
        form,
        [&] {
            EXPECT_TRUE(child<QPushButton>(form, "btnPreview")->isEnabled());
            EXPECT_TRUE(child<QPlainTextEdit>(form, "txtPreview")->toPlainText().isEmpty());
            EXPECT_TRUE(preview(form)->toPlainText().startsWith(QStringLiteral("Menu\n")));
        },
        "btnCancel");
    form.Execute(item, defaultParameters());
    startAndClose(3); // and then the form goes, its worker perhaps still winding up
}

TEST(ItemForm, OkRefusesRulesThatCannotBeUsedAndSaysWhy)
{
    struct Case
    {
        const char* field;
        const char* bad;
        const char* said;
    };
    const Case cases[] = {
        { "txtIgnore", "fine\n(unclosed", "「(unclosed」" },
        { "txtRegion", "div > > p", "セレクター" },
        { "txtRegion", "xpath://div[", "XPath" },
        { "txtIgnore", "^\xF0\x9F\x98\x80 いいね", "\\x{1F600}" },
        { "txtRegion", "#\xEC\xA0\x9C\xEB\xAA\xA9", "保存できない文字があります: \xEC\xA0\x9C\xEB\xAA\xA9" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        TItemForm form;
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        test::ScriptedPrompts* prompts = scripted.get();
        form.setPrompts(std::move(scripted));
        TCheckItem item = checkedItem();
        auto fillField = [&](const QString& value) {
            if (std::string(c.field) == "txtRegion")
                setText(form, c.field, value);
            else
                setLines(form, c.field, value);
        };
        whenShown(form, [&] {
            fillField(QString::fromUtf8(c.bad));
            child<QPushButton>(form, "btnOk")->click();
            EXPECT_TRUE(form.isVisible());
            ASSERT_EQ(prompts->warnings.size(), 1u);
            EXPECT_TRUE(prompts->warnings[0].contains(QString::fromUtf8(c.said))) << prompts->warnings[0].toStdString();
            EXPECT_EQ(child<QTabWidget>(form, "tabMain")->currentWidget()->objectName(), QStringLiteral("tabWatch"));
            EXPECT_EQ(form.focusWidget(), child<QWidget>(form, c.field));
            fillField(QString()); // mended, the OK that follows closes the dialog
        });
        ASSERT_TRUE(form.Execute(item, defaultParameters()));
        EXPECT_EQ(prompts->warnings.size(), 1u);
        EXPECT_EQ(item, checkedItem());
    }
}
