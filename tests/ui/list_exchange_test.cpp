#include "session/sjis_text.h"
#include "store/store_file.h"
#include "ui/list_exchange.h"
#include "ui/main_window.h"

#include "support/temp_dir.h"
#include "support/test_config.h"
#include "window_driver.h"

#include <QMenuBar>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const std::string DefaultCharacter = VANTREL_BINARY_DIR "/vantrel.dat";

// A started window with three items and the exchange commands bound, its dialogs answered from a script.
class ExchangeWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::writeFile(program.file("vantrel.dat"), test::readFile(DefaultCharacter));
        TConfig config;
        config.exportAll = 0;
        for (const char* name : { "a", "b", "c" }) {
            TCheckItem item = newItemTemplate();
            item.title() = std::string("title-") + name;
            item.checkUri() = std::string("http://127.0.0.1/") + name;
            config.items.append(item);
        }
        writeSettingsFile(config, settings.file("vantrel.cfg"));

        form = std::make_unique<TImgForm>();
        form->setPrompts(std::make_unique<test::ScriptedPrompts>());
        exchange = bindListExchange(*form);
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        exchange->setPrompts(std::move(scripted));
        exchange->setDocumentOpener([this](const QString& path) { opened.push_back(path); });
        ASSERT_TRUE(form->startUp(settings.path(), program.path()));
    }

    void select(std::initializer_list<int> rows) { test::selectRows(*form, rows); }

    void trigger(const char* name) { test::action(*form, name)->trigger(); }

    bool controlsEnabled() const
    {
        return form->itemList()->enabled() && form->centralWidget()->isEnabled() && form->menuBar()->isEnabled()
            && form->toolBar()->isEnabled();
    }

    test::TempDir settings;
    test::TempDir program;
    test::TempDir files;
    std::unique_ptr<TImgForm> form;
    TListExchange* exchange = nullptr;
    test::ScriptedPrompts* prompts = nullptr;
    std::vector<QString> opened;
};

} // namespace

TEST_F(ExchangeWindow, ExportsWriteTheSelectedRowsAfterTheirDialog)
{
    struct Case
    {
        const char* action;
        const char* title;
        const char* extension;
    };
    const Case cases[] = {
        { "actExportUrlList", "エクスポート URIリスト", "lst" },
        { "actExportTabText", "エクスポート TAB区切りテキスト", "txt" },
        { "actExportHtml", "エクスポート HTMLファイル", "html" },
        { "actExportXml", "エクスポート XMLファイル", "xml" },
    };
    // Nothing selected and exportAll off: no dialog at all.
    select({});
    for (const Case& c : cases)
        trigger(c.action);
    EXPECT_TRUE(prompts->saveDialogs.empty());

    select({ 0, 2 });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const std::string path = files.file(std::string("out.") + c.extension);
        prompts->fileNames.push_back(QString::fromStdString(path));
        trigger(c.action);
        ASSERT_FALSE(prompts->saveDialogs.empty());
        EXPECT_EQ(prompts->saveDialogs.back().title, QString::fromUtf8(c.title));
        EXPECT_EQ(prompts->saveDialogs.back().defaultExtension, QString::fromLatin1(c.extension));
        const std::string written = test::readFile(path);
        EXPECT_NE(written.find("127.0.0.1/a"), std::string::npos);
        EXPECT_EQ(written.find("127.0.0.1/b"), std::string::npos);
        EXPECT_NE(written.find("127.0.0.1/c"), std::string::npos);
        EXPECT_TRUE(controlsEnabled());
    }
    EXPECT_EQ(prompts->saveDialogs[2].filter,
        QString::fromUtf8("HTMLファイル (*.html;*.htm)|*.html;*.htm|全てのファイル (*.*)|*.*"));
}

TEST_F(ExchangeWindow, ImportsAppendRowsAndFailuresChangeNothing)
{
    const std::string list = files.file("in.lst");
    test::writeFile(list, "http://127.0.0.1/new1\r\nhttp://127.0.0.1/new2\r\n");
    prompts->fileNames.push_back(QString::fromStdString(list));
    trigger("actImportUrlList");
    ASSERT_EQ(prompts->openDialogs.size(), 1u);
    EXPECT_EQ(prompts->openDialogs[0].title, QString::fromUtf8("インポート URIリスト"));
    EXPECT_EQ(prompts->openDialogs[0].defaultExtension, QStringLiteral("lst"));
    ASSERT_EQ(form->itemList()->config().items.count(), 5u);
    ASSERT_EQ(test::rowCount(*form), 5);
    EXPECT_EQ(test::rowText(*form, 4, 2), QStringLiteral("http://127.0.0.1/new2"));

    // A file that cannot be opened: the list stays, the window stays enabled, no message.
    for (const char* action : { "actImportUrlList", "actImportTabText", "actImportHtml", "actImportXml" }) {
        prompts->fileNames.push_back(QString::fromStdString(files.file("absent")));
        trigger(action);
        EXPECT_EQ(form->itemList()->config().items.count(), 5u);
        EXPECT_EQ(test::rowCount(*form), 5);
        EXPECT_TRUE(controlsEnabled());
    }
    EXPECT_TRUE(prompts->warnings.empty());
    EXPECT_EQ(prompts->openDialogs[4].title, QString::fromUtf8("インポート XMLファイル"));

    // Cancelled: nothing happens.
    trigger("actImportXml");
    EXPECT_EQ(form->itemList()->config().items.count(), 5u);
}

TEST_F(ExchangeWindow, ReportIsWrittenInTheSettingsFolderAndOpened)
{
    select({});
    trigger("actReport");
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(test::fileExists(settings.file("vantrel.html")));

    select({ 1 });
    trigger("actReport");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QString::fromStdString(form->settingsDir() + "vantrel.html"));
    const std::string page = test::readFile(settings.file("vantrel.html"));
    EXPECT_NE(page.find("title-b"), std::string::npos);
    EXPECT_EQ(page.find("title-a"), std::string::npos);
    EXPECT_TRUE(prompts->saveDialogs.empty());
    EXPECT_TRUE(controlsEnabled());

    // During a run the command does nothing.
    form->runController()->beginRun();
    trigger("actReport");
    form->runController()->endRun();
    EXPECT_EQ(opened.size(), 1u);
}
