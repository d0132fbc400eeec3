#include "character/data_file_list.h"
#include "store/config.h"
#include "support/encoded_text.h"
#include "support/temp_dir.h"
#include "support/test_config.h"
#include "ui/config_form.h"
#include "ui/radio_group.h"
#include "vantrel_version.h"

#include "form_driver.h"
#include "item_printer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using test::child;
using test::whenShown;

namespace {

const TDataFileList Characters = {
    { test::sjis("キャラ"), "/opt/chars/a.dat" },
    { "Second", "/opt/chars/b.dat" },
    { "Third", "/home/user/c.dat" },
};

TConfig someConfig()
{
    TConfig config;
    config.doubleClickAction = 1;
    config.topMost = 1;
    config.taskTray = 0;
    config.reportMode = 1;
    config.soundOnUpdate = 1;
    config.soundOnNoUpdate = 0;
    config.exportAll = 1;
    config.exportCheckUri = 0;
    config.characterFile() = "/opt/chars/b.dat";
    config.characterName() = "Second";
    config.soundUpdateFile() = "/snd/up.wav";
    config.soundNoUpdateFile() = "/snd/same.wav";
    TCheckItem& d = config.defaultItem;
    d.useGet = 1;
    d.compareLastModified = 1;
    d.compareContentLength = 0;
    d.compareSize = 1;
    d.compareContent = 0;
    d.compareMetaTag = 1;
    d.metaTagName() = "version";
    d.metaTagValue() = "9";
    d.lastModified() = "Tue, 08 Dec 2026 03:32:10 GMT";
    d.contentLength() = "321";
    d.bodySize = 4096;
    d.useProxy = 1;
    d.proxyServer() = "proxy.local";
    d.proxyPort() = "8080";
    d.useAuthentication = 1;
    d.userId() = "alice";
    d.setPassword("secret");
    d.userAgent() = "Agent/1";
    return config;
}

void expectSameSettings(const TConfig& a, const TConfig& b)
{
    EXPECT_EQ(a.doubleClickAction, b.doubleClickAction);
    EXPECT_EQ(a.topMost, b.topMost);
    EXPECT_EQ(a.taskTray, b.taskTray);
    EXPECT_EQ(a.reportMode, b.reportMode);
    EXPECT_EQ(a.soundOnUpdate, b.soundOnUpdate);
    EXPECT_EQ(a.soundOnNoUpdate, b.soundOnNoUpdate);
    EXPECT_EQ(a.exportAll, b.exportAll);
    EXPECT_EQ(a.exportCheckUri, b.exportCheckUri);
    EXPECT_EQ(a.concurrentChecks, b.concurrentChecks);
    EXPECT_EQ(a.checkInterval, b.checkInterval);
    EXPECT_EQ(a.checkAtStart, b.checkAtStart);
    EXPECT_EQ(a.columnWidths, b.columnWidths);
    EXPECT_EQ(a.texts, b.texts);
    EXPECT_EQ(a.defaultItem, b.defaultItem);
}

TDataFileItem currentOf(const TConfig& config)
{
    return { config.characterName(), config.characterFile() };
}

QString text(const QWidget& form, const char* name)
{
    return child<QLineEdit>(form, name)->text();
}

void setText(const QWidget& form, const char* name, const QString& value)
{
    QLineEdit* edit = child<QLineEdit>(form, name);
    edit->selectAll();
    edit->insert(value); // as typed
}

void click(const QWidget& form, const char* name)
{
    child<QAbstractButton>(form, name)->click();
}

// Clicks the radio button at `index` of the group `name`, as the user would.
void choose(const QWidget& form, const char* name, int index)
{
    child<TRadioGroup>(form, name)->button(index)->click();
}

int chosen(const QWidget& form, const char* name)
{
    return child<TRadioGroup>(form, name)->itemIndex();
}

bool enabled(const QWidget& form, const char* name)
{
    return child<QWidget>(form, name)->isEnabledTo(&form);
}

} // namespace

TEST(ConfigForm, DesignValuesAndCaptions)
{
    TConfigForm form;
    EXPECT_EQ(form.size(), QSize(442, 373));
    EXPECT_EQ(form.font().pixelSize(), 13);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("設定"));
    EXPECT_TRUE(child<QPushButton>(form, "btnOk")->isDefault());
    EXPECT_FALSE(child<QPushButton>(form, "btnOk")->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(child<QPushButton>(form, "btnCancel")->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(child<QLineEdit>(form, "txtPassword")->echoMode(), QLineEdit::Password);
    for (const char* name : { "txtDate", "txtLength", "txtSize", "txtMetaTagValue", "txtURI", "txtAdrs" })
        EXPECT_TRUE(child<QLineEdit>(form, name)->isReadOnly()) << name;
    for (const char* name :
        { "txtMetaTagName", "txtProxyServer", "txtProxyPort", "txtUserID", "txtPassword", "txtUserAgent" })
        EXPECT_FALSE(child<QLineEdit>(form, name)->testAttribute(Qt::WA_InputMethodEnabled)) << name;
    EXPECT_FALSE(child<QComboBox>(form, "cmbChr")->isEditable());

    const QTabWidget* tabs = child<QTabWidget>(form, "tabMain");
    ASSERT_EQ(tabs->count(), 6);
    const char* const pages[][2] = { { "tabGeneral", "全般" }, { "tabReport", "通知" }, { "tabFile", "ファイル" },
        { "tabCheck", "初期値" }, { "tabDefault", "標準の設定" }, { "tabAbout", "About" } };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), QString::fromLatin1(pages[i][0]));
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(pages[i][1]));
    }

    const char* const captions[][2] = {
        { "btnOk", "OK" },
        { "btnCancel", "Cancel" },
        { "lblChr", "キャラクター選択(&C)" },
        { "grpDblClick0", "変更ダイアログを表示" },
        { "grpDblClick1", "ブラウザで開く" },
        { "grpDblClick2", "変更点を表示" },
        { "chkTopMost", "常に前面に表示(&T)" },
        { "chkTaskTray", "最小化時にタスクトレイに入れる(&I)" },
        { "grpReport0", "通知しない" },
        { "grpReport1", "更新があった場合のみ" },
        { "grpReport2", "常に通知" },
        { "chkSoundUpdate", "更新有(&U)" },
        { "btnSoundUpdate", "参照" },
        { "chkSoundNoupdate", "更新無(&N)" },
        { "btnSoundNoupdate", "参照" },
        { "grpExportMode0", "全てのアイテム" },
        { "grpExportMode1", "選択アイテムのみ" },
        { "grpExportURI0", "チェックURL" },
        { "grpExportURI1", "表示URL" },
        { "chkGet", "GET要求を使用(&G)" },
        { "chkDate", "Last-Modified(&M)" },
        { "chkLength", "Content-Length(&L)" },
        { "chkSize", "ファイルサイズ(&S)" },
        { "chkBody", "内容を比較(&C) (メモリとディスク容量を消費します)" },
        { "chkMetaTag", "metaタグで確認(&T)" },
        { "lblMetaTag", "<meta name=\"名前\" content=\"値\">" },
        { "lblMetaTagName", "名前(&N)" },
        { "lblMetaTagValue", "値(&V)" },
        { "chkProxyUse", "proxyを使用する(&P)" },
        { "lblProxyServer", "サーバ(&S)" },
        { "lblProxyPort", "ポート(&N)" },
        { "chkAuthentication", "認証を行う(&A)" },
        { "lblUserID", "UserID(&I)" },
        { "lblPassword", "Password(&W)" },
        { "lblUserAgent", "User-Agent(&B)" },
        { "lblMaker", "Korvane" },
        { "lblTitle", "Vantrel" },
        { "lblVer", VantrelVersion },
        { "lblURI", "URL:" },
        { "lblAdrs", "mailto:" },
    };
    for (const auto& [name, expected] : captions) {
        QWidget* widget = child<QWidget>(form, name);
        const QString shown = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                            : qobject_cast<QAbstractButton*>(widget)->text();
        EXPECT_EQ(shown, QString::fromUtf8(expected)) << name;
    }
    const char* const groups[][2] = {
        { "grpDblClick", "ダブルクリックの動作(&D)" },
        { "grpWindow", "" },
        { "grpReport", "確認終了の通知(&R)" },
        { "grpSound", "waveファイルを再生する" },
        { "grpExportMode", "エクスポートの対象(&E)" },
        { "grpExportURI", "URLリストのエクスポート対象(&U)" },
        { "grpHeader", "" },
        { "grpBody", "" },
        { "grpMetaTag", "" },
        { "grpProxy", "" },
        { "grpAuthentication", "" },
        { "grpHTTP", "" },
    };
    for (const auto& [name, expected] : groups)
        EXPECT_EQ(child<QGroupBox>(form, name)->title(), QString::fromUtf8(expected)) << name;

    EXPECT_EQ(child<QLabel>(form, "lblMaker")->font().pixelSize(), 21);
    EXPECT_TRUE(child<QLabel>(form, "lblMaker")->font().bold());
    EXPECT_EQ(child<QLabel>(form, "lblTitle")->font().pixelSize(), 32);
    EXPECT_TRUE(child<QLabel>(form, "lblTitle")->font().bold());
    EXPECT_TRUE(child<QLabel>(form, "lblTitle")->alignment() & Qt::AlignHCenter);
    for (const char* name : { "txtURI", "txtAdrs" }) {
        const QLineEdit* link = child<QLineEdit>(form, name);
        EXPECT_FALSE(link->hasFrame()) << name;
        EXPECT_TRUE(link->font().italic() && link->font().underline()) << name;
    }
}

TEST(ConfigForm, FillsTheControlsFromTheSettings)
{
    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            EXPECT_EQ(child<QComboBox>(form, "cmbChr")->count(), 3);
            EXPECT_EQ(child<QComboBox>(form, "cmbChr")->itemText(0), QString::fromUtf8("キャラ"));
            EXPECT_EQ(child<QComboBox>(form, "cmbChr")->currentIndex(), 1);
            EXPECT_EQ(chosen(form, "grpDblClick"), 1);
            EXPECT_TRUE(child<QCheckBox>(form, "chkTopMost")->isChecked());
            EXPECT_FALSE(child<QCheckBox>(form, "chkTaskTray")->isChecked());
            EXPECT_EQ(chosen(form, "grpReport"), 1);
            EXPECT_TRUE(child<QCheckBox>(form, "chkSoundUpdate")->isChecked());
            EXPECT_FALSE(child<QCheckBox>(form, "chkSoundNoupdate")->isChecked());
            EXPECT_EQ(text(form, "txtSoundUpdate"), QStringLiteral("/snd/up.wav"));
            EXPECT_EQ(text(form, "txtSoundNoupdate"), QStringLiteral("/snd/same.wav"));
            EXPECT_EQ(chosen(form, "grpExportMode"), 0);
            EXPECT_EQ(chosen(form, "grpExportURI"), 1);
            EXPECT_TRUE(child<QCheckBox>(form, "chkGet")->isChecked());
            EXPECT_TRUE(child<QCheckBox>(form, "chkDate")->isChecked());
            EXPECT_FALSE(child<QCheckBox>(form, "chkLength")->isChecked());
            EXPECT_TRUE(child<QCheckBox>(form, "chkSize")->isChecked());
            EXPECT_FALSE(child<QCheckBox>(form, "chkBody")->isChecked());
            EXPECT_TRUE(child<QCheckBox>(form, "chkMetaTag")->isChecked());
            EXPECT_EQ(text(form, "txtDate"), QStringLiteral("Tue, 08 Dec 2026 03:32:10 GMT"));
            EXPECT_EQ(text(form, "txtLength"), QStringLiteral("321"));
            EXPECT_EQ(text(form, "txtSize"), QStringLiteral("4096"));
            EXPECT_EQ(text(form, "txtMetaTagName"), QStringLiteral("version"));
            EXPECT_EQ(text(form, "txtMetaTagValue"), QStringLiteral("9"));
            EXPECT_TRUE(child<QCheckBox>(form, "chkProxyUse")->isChecked());
            EXPECT_EQ(text(form, "txtProxyServer"), QStringLiteral("proxy.local"));
            EXPECT_EQ(text(form, "txtProxyPort"), QStringLiteral("8080"));
            EXPECT_TRUE(child<QCheckBox>(form, "chkAuthentication")->isChecked());
            EXPECT_EQ(text(form, "txtUserID"), QStringLiteral("alice"));
            EXPECT_EQ(text(form, "txtPassword"), QStringLiteral("secret"));
            EXPECT_EQ(text(form, "txtUserAgent"), QStringLiteral("Agent/1"));
            EXPECT_EQ(text(form, "txtURI"), QStringLiteral("http://vantrel.example.org/"));
            EXPECT_EQ(text(form, "txtAdrs"), QStringLiteral("vantrel@example.org"));
        },
        "btnCancel");
    EXPECT_FALSE(form.Execute(config, character, Characters));

    config.defaultItem.bodySize = 0;
    whenShown(
        form, [&] { EXPECT_TRUE(text(form, "txtSize").isEmpty()); }, "btnCancel");
    form.Execute(config, character, Characters);
}

TEST(ConfigForm, RadioGroupsMapTheStoredValues)
{
    struct Case
    {
        uint8_t stored;
        int doubleClick, report, exportFlag;
    };
    // Stored value, then the item shown for doubleClickAction, reportMode and the two export switches.
    const Case cases[] = { { 0, 0, 0, 1 }, { 1, 1, 1, 0 }, { 2, 2, 2, 0 }, { 3, 0, 2, 0 }, { 255, 0, 2, 0 } };
    TConfigForm form;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.stored));
        TConfig config = someConfig();
        config.doubleClickAction = c.stored;
        config.reportMode = c.stored;
        config.exportAll = c.stored;
        config.exportCheckUri = c.stored;
        TDataFileItem character = currentOf(config);
        whenShown(
            form,
            [&] {
                EXPECT_EQ(chosen(form, "grpDblClick"), c.doubleClick);
                EXPECT_EQ(chosen(form, "grpReport"), c.report);
                EXPECT_EQ(chosen(form, "grpExportMode"), c.exportFlag);
                EXPECT_EQ(chosen(form, "grpExportURI"), c.exportFlag);
            },
            "btnCancel");
        form.Execute(config, character, Characters);
    }

    // What each choice stores.
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TConfig config = someConfig();
        TDataFileItem character = currentOf(config);
        whenShown(form, [&] {
            choose(form, "grpReport", i);
            choose(form, "grpDblClick", i);
            choose(form, "grpExportMode", i % 2);
            choose(form, "grpExportURI", (i + 1) % 2);
        });
        ASSERT_TRUE(form.Execute(config, character, Characters));
        EXPECT_EQ(config.reportMode, i);
        EXPECT_EQ(config.doubleClickAction, i);
        EXPECT_EQ(config.exportAll, i % 2 == 0 ? 1 : 0);
        EXPECT_EQ(config.exportCheckUri, (i + 1) % 2 == 0 ? 1 : 0);
    }
}

TEST(ConfigForm, SoundControlsFollowTheReportMode)
{
    struct Case
    {
        int report;
        bool soundUpdate, soundNoUpdate;
    };
    const Case cases[] = {
        { 0, true, true },
        { 1, true, true },
        { 2, true, true },
        { 2, false, true },
        { 2, true, false },
        { 1, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.report << c.soundUpdate << c.soundNoUpdate);
        TConfigForm form;
        TConfig config = someConfig();
        config.reportMode = static_cast<uint8_t>(c.report);
        config.soundOnUpdate = c.soundUpdate;
        config.soundOnNoUpdate = c.soundNoUpdate;
        TDataFileItem character = currentOf(config);
        whenShown(
            form,
            [&] {
                const bool update = c.report >= 1;
                const bool noUpdate = c.report == 2;
                EXPECT_EQ(enabled(form, "chkSoundUpdate"), update);
                EXPECT_EQ(enabled(form, "txtSoundUpdate"), update && c.soundUpdate);
                EXPECT_EQ(enabled(form, "btnSoundUpdate"), update && c.soundUpdate);
                EXPECT_EQ(enabled(form, "chkSoundNoupdate"), noUpdate);
                EXPECT_EQ(enabled(form, "txtSoundNoupdate"), noUpdate && c.soundNoUpdate);
                EXPECT_EQ(enabled(form, "btnSoundNoupdate"), noUpdate && c.soundNoUpdate);
                for (const char* name : { "grpReport", "grpSound", "cmbChr", "grpDblClick", "chkTopMost", "chkTaskTray",
                         "grpExportMode", "grpExportURI" })
                    EXPECT_TRUE(enabled(form, name)) << name;
            },
            "btnCancel");
        form.Execute(config, character, Characters);
    }

    // Every click recomputes it, and disabled controls keep their values.
    TConfigForm form;
    TConfig config = someConfig();
    config.reportMode = 2;
    config.soundOnNoUpdate = 1;
    TDataFileItem character = currentOf(config);
    whenShown(form, [&] {
        choose(form, "grpReport", 0);
        EXPECT_FALSE(enabled(form, "chkSoundUpdate"));
        EXPECT_FALSE(enabled(form, "txtSoundNoupdate"));
        EXPECT_TRUE(child<QCheckBox>(form, "chkSoundUpdate")->isChecked());
        choose(form, "grpReport", 1);
        EXPECT_TRUE(enabled(form, "chkSoundUpdate"));
        EXPECT_TRUE(enabled(form, "txtSoundUpdate"));
        EXPECT_FALSE(enabled(form, "chkSoundNoupdate"));
        click(form, "chkSoundUpdate");
        EXPECT_FALSE(enabled(form, "txtSoundUpdate"));
        EXPECT_FALSE(enabled(form, "btnSoundUpdate"));
        choose(form, "grpReport", 2);
        EXPECT_TRUE(enabled(form, "txtSoundNoupdate"));
        choose(form, "grpReport", 0);
    });
    ASSERT_TRUE(form.Execute(config, character, Characters));
    EXPECT_EQ(config.reportMode, 0);
    EXPECT_EQ(config.soundOnUpdate, 0);
    EXPECT_EQ(config.soundOnNoUpdate, 1);
    EXPECT_EQ(config.soundNoUpdateFile(), "/snd/same.wav");
}

TEST(ConfigForm, DefaultPagesEnablingFollowsTheSwitches)
{
    struct Case
    {
        bool get, size, meta, proxy, auth;
    };
    const Case cases[] = {
        { true, true, true, true, true },
        { false, true, true, false, true },
        { true, false, false, true, false },
        { true, true, false, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.get << c.size << c.meta << c.proxy << c.auth);
        TConfigForm form;
        TConfig config = someConfig();
        config.defaultItem.useGet = c.get;
        config.defaultItem.compareSize = c.size;
        config.defaultItem.compareMetaTag = c.meta;
        config.defaultItem.useProxy = c.proxy;
        config.defaultItem.useAuthentication = c.auth;
        config.defaultItem.compareLastModified = 0;
        config.defaultItem.compareContentLength = 0;
        TDataFileItem character = currentOf(config);
        whenShown(
            form,
            [&] {
                for (const char* name : { "tabCheck", "tabDefault", "chkGet", "grpHeader", "chkDate", "txtDate",
                         "chkLength", "txtLength", "grpProxy", "chkProxyUse", "grpAuthentication", "chkAuthentication",
                         "grpHTTP", "lblUserAgent", "txtUserAgent" })
                    EXPECT_TRUE(enabled(form, name)) << name;
                for (const char* name : { "grpBody", "chkSize", "chkBody", "grpMetaTag", "chkMetaTag" })
                    EXPECT_EQ(enabled(form, name), c.get) << name;
                EXPECT_EQ(enabled(form, "txtSize"), c.get && c.size);
                for (const char* name :
                    { "lblMetaTag", "lblMetaTagName", "txtMetaTagName", "lblMetaTagValue", "txtMetaTagValue" })
                    EXPECT_EQ(enabled(form, name), c.get && c.meta) << name;
                for (const char* name : { "lblProxyServer", "txtProxyServer", "lblProxyPort", "txtProxyPort" })
                    EXPECT_EQ(enabled(form, name), c.proxy) << name;
                for (const char* name : { "lblUserID", "txtUserID", "lblPassword", "txtPassword" })
                    EXPECT_EQ(enabled(form, name), c.auth) << name;
            },
            "btnCancel");
        form.Execute(config, character, Characters);
    }

    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            click(form, "chkGet");
            EXPECT_FALSE(enabled(form, "chkMetaTag"));
            EXPECT_FALSE(enabled(form, "txtSize"));
            click(form, "chkGet");
            click(form, "chkSize");
            EXPECT_FALSE(enabled(form, "txtSize"));
            click(form, "chkProxyUse");
            EXPECT_FALSE(enabled(form, "txtProxyPort"));
            click(form, "chkAuthentication");
            EXPECT_FALSE(enabled(form, "txtPassword"));
            click(form, "chkAuthentication");
            EXPECT_TRUE(enabled(form, "txtPassword"));
        },
        "btnCancel");
    form.Execute(config, character, Characters);
}

TEST(ConfigForm, ConfirmingStoresTheControlsWithTheEmptinessRules)
{
    struct Case
    {
        const char* what;
        std::function<void(TConfigForm&)> edit;
        std::function<void(const TConfig&)> expect;
    };
    const Case cases[] = {
        { "nothing changed keeps every value", [](TConfigForm&) {},
            [](const TConfig& c) { expectSameSettings(c, someConfig()); } },
        { "empty update sound switches it off although ticked",
            [](TConfigForm& f) { setText(f, "txtSoundUpdate", QStringLiteral("  ")); },
            [](const TConfig& c) {
                EXPECT_EQ(c.soundOnUpdate, 0);
                EXPECT_TRUE(c.soundUpdateFile().empty());
            } },
        { "empty no-update sound switches it off",
            [](TConfigForm& f) {
                choose(f, "grpReport", 2);
                click(f, "chkSoundNoupdate");
                setText(f, "txtSoundNoupdate", QString());
            },
            [](const TConfig& c) {
                EXPECT_EQ(c.soundOnNoUpdate, 0);
                EXPECT_EQ(c.soundOnUpdate, 1);
            } },
        { "empty tag name switches the tag comparison off",
            [](TConfigForm& f) { setText(f, "txtMetaTagName", QString()); },
            [](const TConfig& c) {
                EXPECT_EQ(c.defaultItem.compareMetaTag, 0);
                EXPECT_EQ(c.defaultItem.metaTagValue(), "9"); // read-only, not written back
            } },
        { "empty proxy server switches the proxy off although ticked",
            [](TConfigForm& f) { setText(f, "txtProxyServer", QStringLiteral("\t")); },
            [](const TConfig& c) {
                EXPECT_EQ(c.defaultItem.useProxy, 0);
                EXPECT_TRUE(c.defaultItem.proxyServer().empty());
            } },
        { "texts are trimmed, the password stored plain and scrambled, a port stored as typed",
            [](TConfigForm& f) {
                setText(f, "txtPassword", QStringLiteral(" new pw "));
                setText(f, "txtProxyPort", QStringLiteral(" eighty "));
                setText(f, "txtUserAgent",
                    QStringLiteral("\x01"
                                   "Agent/2\n"));
                setText(f, "txtSoundUpdate", QStringLiteral(" /snd/new.wav "));
                setText(f, "txtMetaTagName", QStringLiteral(" build "));
            },
            [](const TConfig& c) {
                EXPECT_EQ(c.defaultItem.password, "new pw");
                EXPECT_EQ(c.defaultItem.scrambledPassword(), scramblePassword("new pw"));
                EXPECT_EQ(c.defaultItem.proxyPort(), "eighty");
                EXPECT_EQ(c.defaultItem.userAgent(), "Agent/2");
                EXPECT_EQ(c.soundUpdateFile(), "/snd/new.wav");
                EXPECT_EQ(c.defaultItem.metaTagName(), "build");
                EXPECT_EQ(c.defaultItem.metaTagValue(), "9");
            } },
        { "switches are written back from their boxes",
            [](TConfigForm& f) {
                // GET last: it disables the body switches.
                for (const char* name : { "chkTopMost", "chkTaskTray", "chkDate", "chkLength", "chkSize", "chkBody",
                         "chkMetaTag", "chkProxyUse", "chkAuthentication", "chkGet" })
                    click(f, name);
            },
            [](const TConfig& c) {
                const TCheckItem& d = c.defaultItem;
                EXPECT_EQ(c.topMost, 0);
                EXPECT_EQ(c.taskTray, 1);
                EXPECT_EQ(d.useGet, 0);
                EXPECT_EQ(d.compareLastModified, 0);
                EXPECT_EQ(d.compareContentLength, 1);
                EXPECT_EQ(d.compareSize, 0);
                EXPECT_EQ(d.compareContent, 1);
                EXPECT_EQ(d.compareMetaTag, 0);
                EXPECT_EQ(d.useProxy, 0);
                EXPECT_EQ(d.useAuthentication, 0);
                EXPECT_EQ(d.userId(), "alice"); // disabled, still read
            } },
        { "pages checked at once, typed into its box",
            [](TConfigForm& f) {
                QSpinBox* box = child<QSpinBox>(f, "spnConcurrent");
                EXPECT_EQ(box->value(), 4);
                EXPECT_EQ(box->maximum(), 16);
                box->selectAll();
                QTest::keyClicks(box, QStringLiteral("12"));
            },
            [](const TConfig& c) { EXPECT_EQ(c.concurrentChecks, 12); } },
        { "timed runs: the arrows step from none to five minutes, a typed two is five, start switch ticked",
            [](TConfigForm& f) {
                QSpinBox* box = child<QSpinBox>(f, "spnInterval");
                EXPECT_EQ(box->value(), 0);
                EXPECT_EQ(box->maximum(), 1440);
                box->stepBy(1);
                EXPECT_EQ(box->value(), 5);
                box->stepBy(-1);
                EXPECT_EQ(box->value(), 0);
                box->selectAll();
                QTest::keyClicks(box, QStringLiteral("2"));
                click(f, "chkCheckAtStart");
            },
            [](const TConfig& c) {
                EXPECT_EQ(c.checkInterval, 5);
                EXPECT_EQ(c.checkAtStart, 1);
            } },
        { "Japanese text is stored as Shift_JIS",
            [](TConfigForm& f) { setText(f, "txtSoundUpdate", QString::fromUtf8("/音/更新.wav")); },
            [](const TConfig& c) { EXPECT_EQ(c.soundUpdateFile(), "/\x89\xb9/\x8dX\x90V.wav"); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TConfigForm form;
        TConfig config = someConfig();
        TDataFileItem character = currentOf(config);
        whenShown(form, [&] { c.edit(form); });
        ASSERT_TRUE(form.Execute(config, character, Characters));
        c.expect(config);
        // The dialog hands the character back; storing it is the caller's business.
        EXPECT_EQ(config.characterFile(), "/opt/chars/b.dat");
    }
}

TEST(ConfigForm, CancelChangesNothing)
{
    TConfigForm form;
    TConfig config = someConfig();
    config.items.append(newItemTemplate());
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            child<QComboBox>(form, "cmbChr")->setCurrentIndex(2);
            choose(form, "grpDblClick", 0);
            choose(form, "grpReport", 2);
            choose(form, "grpExportMode", 1);
            choose(form, "grpExportURI", 0);
            for (const char* name :
                { "chkTopMost", "chkTaskTray", "chkSoundUpdate", "chkSoundNoupdate", "chkGet", "chkDate", "chkLength",
                    "chkSize", "chkBody", "chkMetaTag", "chkProxyUse", "chkAuthentication", "chkCheckAtStart" })
                click(form, name);
            for (const char* name : { "txtSoundUpdate", "txtSoundNoupdate", "txtMetaTagName", "txtProxyServer",
                     "txtProxyPort", "txtUserID", "txtPassword", "txtUserAgent" })
                setText(form, name, QString());
        },
        "btnCancel");
    EXPECT_FALSE(form.Execute(config, character, Characters));
    TConfig expected = someConfig();
    expectSameSettings(config, expected);
    EXPECT_EQ(config.items.count(), 1u);
    EXPECT_EQ(character.name, "Second");
    EXPECT_EQ(character.path, "/opt/chars/b.dat");

    // Escape cancels as well.
    whenShown(
        form,
        [&] {
            click(form, "chkTopMost");
            QTest::keyClick(child<QComboBox>(form, "cmbChr"), Qt::Key_Escape);
        },
        "none");
    EXPECT_FALSE(form.Execute(config, character, Characters));
    EXPECT_EQ(config.topMost, 1);
}

TEST(ConfigForm, CharacterChoice)
{
    TConfigForm form;
    TConfig config = someConfig();

    // Choosing another entry hands back its pair with the exact bytes.
    TDataFileItem character = currentOf(config);
    whenShown(form, [&] { child<QComboBox>(form, "cmbChr")->setCurrentIndex(0); });
    ASSERT_TRUE(form.Execute(config, character, Characters));
    EXPECT_EQ(character.name, Characters[0].name);
    EXPECT_EQ(character.path, Characters[0].path);

    // A pair matching no entry, by name or by path alone, selects nothing; confirming keeps the pair.
    const TDataFileItem unmatched[] = { { "Second", "/elsewhere/b.dat" }, { "Other", "/opt/chars/b.dat" }, { "", "" } };
    for (const TDataFileItem& pair : unmatched) {
        SCOPED_TRACE(pair.name + " " + pair.path);
        character = pair;
        whenShown(form, [&] {
            EXPECT_EQ(child<QComboBox>(form, "cmbChr")->currentIndex(), -1);
            EXPECT_EQ(child<QComboBox>(form, "cmbChr")->count(), 3);
        });
        ASSERT_TRUE(form.Execute(config, character, Characters));
        EXPECT_EQ(character.name, pair.name);
        EXPECT_EQ(character.path, pair.path);
    }

    // An empty list: nothing to choose, the pair stays.
    character = currentOf(config);
    whenShown(form, [&] { EXPECT_EQ(child<QComboBox>(form, "cmbChr")->count(), 0); });
    ASSERT_TRUE(form.Execute(config, character, {}));
    EXPECT_EQ(character.path, "/opt/chars/b.dat");

    // The first of two equal entries is the one selected.
    TDataFileList twice = Characters;
    twice.push_back(Characters[1]);
    whenShown(
        form, [&] { EXPECT_EQ(child<QComboBox>(form, "cmbChr")->currentIndex(), 1); }, "btnCancel");
    form.Execute(config, character, twice);
}

TEST(ConfigForm, CharacterListFromTheCharacterFolders)
{
    // The default character the build leaves beside the program.
    const TDataFileList found = ListCharacters(VANTREL_BINARY_DIR, "");
    ASSERT_FALSE(found.empty());
    TConfigForm form;
    TConfig config;
    TDataFileItem character = found.back();
    whenShown(
        form,
        [&] {
            const QComboBox* list = child<QComboBox>(form, "cmbChr");
            ASSERT_EQ(list->count(), static_cast<int>(found.size()));
            EXPECT_EQ(list->currentIndex(), list->count() - 1);
            EXPECT_FALSE(list->currentText().isEmpty());
        },
        "btnCancel");
    form.Execute(config, character, found);
}

TEST(ConfigForm, SoundFileBrowse)
{
    test::TempDir dir;
    const std::string chosenFile = dir.file("chime.wav");
    test::writeFile(chosenFile, "RIFF");

    struct Seen
    {
        QString title, selected;
        QStringList filters;
        QString suffix;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        QFileDialog::AcceptMode accept = QFileDialog::AcceptSave;
    };
    std::vector<Seen> seen;
    QString answer;
    TConfigForm form;
    form.runFileDialog = [&](QFileDialog& dialog) {
        seen.push_back({ dialog.windowTitle(), dialog.selectedFiles().value(0), dialog.nameFilters(),
            dialog.defaultSuffix(), dialog.fileMode(), dialog.acceptMode() });
        return answer;
    };

    TConfig config = someConfig();
    config.reportMode = 2;
    config.soundOnNoUpdate = 1;
    config.soundUpdateFile() = chosenFile;
    TDataFileItem character = currentOf(config);
    whenShown(form, [&] {
        answer = QString::fromStdString(chosenFile);
        click(form, "btnSoundNoupdate");
        EXPECT_EQ(text(form, "txtSoundNoupdate"), answer);
        answer.clear(); // the user cancels
        click(form, "btnSoundUpdate");
        EXPECT_EQ(text(form, "txtSoundUpdate"), QString::fromStdString(chosenFile));
    });
    ASSERT_TRUE(form.Execute(config, character, Characters));
    EXPECT_EQ(config.soundNoUpdateFile(), chosenFile);
    EXPECT_EQ(config.soundUpdateFile(), chosenFile);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, QString::fromUtf8("確認終了通知 Waveファイル(更新なし)"));
    EXPECT_EQ(seen[1].title, QString::fromUtf8("確認終了通知 Waveファイル(更新あり)"));
    for (const Seen& each : seen) {
        EXPECT_EQ(each.filters,
            QStringList({ QString::fromUtf8("Waveファイル (*.wav)"), QString::fromUtf8("全てのファイル (*.*)") }));
        EXPECT_EQ(each.suffix, QStringLiteral("wav"));
        EXPECT_EQ(each.mode, QFileDialog::ExistingFile);
        EXPECT_EQ(each.accept, QFileDialog::AcceptOpen);
    }
    // The dialog starts from the edit's current file.
    EXPECT_TRUE(seen[1].selected.endsWith(QStringLiteral("chime.wav"))) << seen[1].selected.toStdString();
}

TEST(ConfigForm, AboutLinks)
{
    std::vector<QUrl> opened;
    TConfigForm form;
    form.openUrl = [&](const QUrl& url) { opened.push_back(url); };
    TConfig config;
    config.homePageUri() = "http://127.0.0.1/maker/";
    config.contactAddress() = "a@example.org,b@example.org";
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            EXPECT_FALSE(child<QLineEdit>(form, "txtURI")->isHidden());
            EXPECT_FALSE(child<QLabel>(form, "lblAdrs")->isHidden());
            child<QTabWidget>(form, "tabMain")->setCurrentIndex(5);
            QTest::mouseDClick(child<QLineEdit>(form, "txtURI"), Qt::LeftButton);
            QTest::mouseDClick(child<QLineEdit>(form, "txtAdrs"), Qt::LeftButton);
        },
        "btnCancel");
    form.Execute(config, character, Characters);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://127.0.0.1/maker/")));
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(opened[1].toString(), QStringLiteral("mailto:a@example.org,b@example.org"));

    // Empty texts hide their line and open nothing.
    opened.clear();
    config.homePageUri().clear();
    config.contactAddress().clear();
    whenShown(
        form,
        [&] {
            for (const char* name : { "lblURI", "txtURI", "lblAdrs", "txtAdrs" })
                EXPECT_TRUE(child<QWidget>(form, name)->isHidden()) << name;
            EXPECT_FALSE(child<QLabel>(form, "lblTitle")->isHidden());
            form.onURIDblClick();
            form.onAdrsDblClick();
        },
        "btnCancel");
    form.Execute(config, character, Characters);
    EXPECT_TRUE(opened.empty());

    // Only the empty one is hidden.
    config.homePageUri() = "http://127.0.0.1/";
    whenShown(
        form,
        [&] {
            EXPECT_FALSE(child<QWidget>(form, "txtURI")->isHidden());
            EXPECT_TRUE(child<QWidget>(form, "txtAdrs")->isHidden());
        },
        "btnCancel");
    form.Execute(config, character, Characters);
}

TEST(ConfigForm, ShowingStartsOnTheFirstPageAndAltArrowsPage)
{
    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            auto* tabs = child<QTabWidget>(form, "tabMain");
            EXPECT_EQ(tabs->currentWidget()->objectName(), QStringLiteral("tabGeneral"));
            QWidget* focus = child<QComboBox>(form, "cmbChr");
            EXPECT_EQ(form.focusWidget(), focus);
            const int steps[][2]
                = { { Qt::Key_Left, 5 }, { Qt::Key_Right, 0 }, { Qt::Key_Right, 1 }, { Qt::Key_Left, 0 } };
            for (const auto& [key, page] : steps) {
                QTest::keyClick(focus, static_cast<Qt::Key>(key), Qt::AltModifier);
                EXPECT_EQ(tabs->currentIndex(), page);
            }
            tabs->setCurrentIndex(4);
        },
        "btnCancel");
    form.Execute(config, character, Characters);
    // Reused: opens on the first page again.
    whenShown(
        form, [&] { EXPECT_EQ(child<QTabWidget>(form, "tabMain")->currentIndex(), 0); }, "btnCancel");
    form.Execute(config, character, Characters);
}

TEST(ConfigForm, UnstorableCharactersAreShownAndOkStaysUsable)
{
    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(form, [&] {
        setText(form, "txtUserAgent", QString::fromUtf8("Agent/\u00e9"));
        EXPECT_TRUE(child<QLabel>(form, "lblUnstorable")->text().contains(QString::fromUtf8("\u00e9")));
        EXPECT_TRUE(child<QLineEdit>(form, "txtUserAgent")->toolTip().contains(QString::fromUtf8("\u00e9")));
        EXPECT_TRUE(child<QPushButton>(form, "btnOk")->isEnabled());
    });
    ASSERT_TRUE(form.Execute(config, character, Characters));
    EXPECT_EQ(config.defaultItem.userAgent(), "Agent/?");

    // Bytes the screen cannot give back survive when the field is left alone.
    const std::string odd = "\x85\x40"
                            "a\xed\x40";
    config.soundUpdateFile() = odd;
    config.defaultItem.userAgent() = odd;
    whenShown(form, [&] { EXPECT_TRUE(child<QLabel>(form, "lblUnstorable")->text().isEmpty()); });
    ASSERT_TRUE(form.Execute(config, character, Characters));
    EXPECT_EQ(config.soundUpdateFile(), odd);
    EXPECT_EQ(config.defaultItem.userAgent(), odd);
}

TEST(ConfigForm, CaptionsFitOnEveryPage)
{
    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(
        form,
        [&] {
            EXPECT_EQ(test::crampedControls(form), std::vector<std::string>());
            // A long warning keeps to its line and takes no room from the pages.
            setText(form, "txtUserAgent", test::manyUnstorableCharacters());
            ASSERT_FALSE(child<QLabel>(form, "lblUnstorable")->text().isEmpty());
            EXPECT_EQ(test::crampedControls(form), std::vector<std::string>());
        },
        "btnCancel");
    form.Execute(config, character, Characters);
}

TEST(ConfigForm, AllFilesFilterShowsNamesWithoutADot)
{
    TConfigForm form;
    std::vector<std::string> applied;
    form.runFileDialog = [&](QFileDialog& dialog) {
        auto* files = dialog.findChild<QFileSystemModel*>();
        QComboBox* types = nullptr;
        for (QComboBox* each : dialog.findChildren<QComboBox*>()) {
            if (each->count() == 2 && each->itemText(1) == QString::fromUtf8("全てのファイル (*.*)"))
                types = each;
        }
        if (!files || !types) {
            ADD_FAILURE() << "the open dialog has no file list or no filter choice";
            return QString();
        }
        applied.push_back(files->nameFilters().join(QLatin1Char(' ')).toStdString());
        QTest::keyClick(types, Qt::Key_Down); // the user picks "全てのファイル (*.*)"
        applied.push_back(files->nameFilters().join(QLatin1Char(' ')).toStdString());
        QTest::keyClick(types, Qt::Key_Up);
        applied.push_back(files->nameFilters().join(QLatin1Char(' ')).toStdString());
        return QString();
    };
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    whenShown(
        form, [&] { click(form, "btnSoundUpdate"); }, "btnCancel");
    form.Execute(config, character, Characters);
    EXPECT_EQ(applied, std::vector<std::string>({ "*.wav", "*", "*.wav" }));
}

TEST(ConfigForm, KeyboardLandsOnTheCheckedRadioButton)
{
    struct Case
    {
        const char* page;
        const char* group;
        int checked;
    };
    const Case cases[] = {
        { "tabReport", "grpReport", 1 },
        { "tabFile", "grpExportMode", 0 },
        { "tabGeneral", "grpDblClick", 1 },
    };
    TConfigForm form;
    TConfig config = someConfig();
    TDataFileItem character = currentOf(config);
    bool active = false;
    whenShown(
        form,
        [&] {
            form.activateWindow();
            QApplication::setActiveWindow(&form);
            active = QApplication::activeWindow() == &form;
            if (!active)
                return;
            QTabWidget* tabs = child<QTabWidget>(form, "tabMain");
            for (const Case& c : cases) {
                SCOPED_TRACE(c.page);
                for (int i = 0; i < tabs->count() && tabs->currentWidget()->objectName() != QString::fromLatin1(c.page);
                     ++i) {
                    QWidget* focus = QApplication::focusWidget();
                    QTest::keyClick(focus ? focus : &form, Qt::Key_Right, Qt::AltModifier);
                }
                EXPECT_EQ(QApplication::focusWidget(), child<TRadioGroup>(form, c.group)->button(c.checked));
            }
        },
        "btnCancel");
    form.Execute(config, character, Characters);
    if (!active)
        GTEST_SKIP() << "the dialog cannot be made active here";
}
