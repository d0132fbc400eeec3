#include "ui/actions.h"

#include "ui/form_widgets.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {

struct TActionEntry
{
    const char* name;
    const char* caption; // Shift_JIS
    const char* hint; // Shift_JIS; empty for a heading
    int image;
    const char* shortcut; // portable key text
};

// clang-format off
const TActionEntry ActionTable[ActionCount] = {
    {"actFile", "\x83t\x83@\x83" "C\x83\x8b(&F)" /* ファイル(&F) */,
        "", -1, ""}, // 0
    {"actEdit", "\x95\xd2\x8fW(&E)" /* 編集(&E) */,
        "", -1, ""}, // 1
    {"actCheck", "\x8am\x94" "F(&C)" /* 確認(&C) */,
        "", -1, ""}, // 2
    {"actOther", "\x82\xbb\x82\xcc\x91\xbc(&O)" /* その他(&O) */,
        "", -1, ""}, // 3
    {"actExit", "\x8fI\x97\xb9(&X)" /* 終了(&X) */,
        "\x8fI\x97\xb9" /* 終了 */, -1, "Alt+F4"}, // 4
    {"actOpenItems", "\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xde(&O)" /* アイテムを読み込む(&O) */,
        "\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xde" /* アイテムを読み込む */, 0, ""}, // 5
    {"actAddItems", "\x92\xc7\x89\xc1\x93\xc7\x82\xdd\x8d\x9e\x82\xdd(&A)" /* 追加読み込み(&A) */,
        "\x92\xc7\x89\xc1\x93\xc7\x82\xdd\x8d\x9e\x82\xdd" /* 追加読み込み */, -1, ""}, // 6
    {"actSaveItems", "\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x95\xdb\x91\xb6\x82\xb7\x82\xe9(&S)" /* アイテムを保存する(&S) */,
        "\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x95\xdb\x91\xb6\x82\xb7\x82\xe9" /* アイテムを保存する */, 1, ""}, // 7
    {"actBrowse", "\x83u\x83\x89\x83" "E\x83U\x82\xc5\x8aJ\x82\xad(&V)" /* ブラウザで開く(&V) */,
        "\x83u\x83\x89\x83" "E\x83U\x82\xc5\x8aJ\x82\xad" /* ブラウザで開く */, 2, "Shift+Return"}, // 8
    {"actReport", "\x88\xea\x97\x97\x82\xf0\x83u\x83\x89\x83" "E\x83U\x82\xc5\x95\\\x8e\xa6(&L)" /* 一覧をブラウザで表示(&L) */,
        "\x88\xea\x97\x97\x82\xf0\x83u\x83\x89\x83" "E\x83U\x82\xc5\x95\\\x8e\xa6" /* 一覧をブラウザで表示 */, 3, ""}, // 9
    {"actImport", "\x83" "C\x83\x93\x83|\x81[\x83g(&I)" /* インポート(&I) */,
        "", -1, ""}, // 10
    {"actImportUrlList", "URL\x83\x8a\x83X\x83g(&U)" /* URLリスト(&U) */,
        "URL\x83\x8a\x83X\x83g\x82\xf0\x83" "C\x83\x93\x83|\x81[\x83g" /* URLリストをインポート */, -1, ""}, // 11
    {"actImportTabText", "TAB\x8b\xe6\x90\xd8\x82\xe8\x83" "e\x83L\x83X\x83g(&T)" /* TAB区切りテキスト(&T) */,
        "TAB\x8b\xe6\x90\xd8\x82\xe8\x83" "e\x83L\x83X\x83g\x82\xf0\x83" "C\x83\x93\x83|\x81[\x83g" /* TAB区切りテキストをインポート */, -1, ""}, // 12
    {"actImportHtml", "HTML\x83t\x83@\x83" "C\x83\x8b(&H)" /* HTMLファイル(&H) */,
        "HTML\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x83" "C\x83\x93\x83|\x81[\x83g" /* HTMLファイルをインポート */, -1, ""}, // 13
    {"actImportXml", "XML\x83t\x83@\x83" "C\x83\x8b(&X)" /* XMLファイル(&X) */,
        "XML\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x83" "C\x83\x93\x83|\x81[\x83g" /* XMLファイルをインポート */, -1, ""}, // 14
    {"actExport", "\x83G\x83N\x83X\x83|\x81[\x83g(&E)" /* エクスポート(&E) */,
        "", -1, ""}, // 15
    {"actExportUrlList", "URL\x83\x8a\x83X\x83g(&U)" /* URLリスト(&U) */,
        "URL\x83\x8a\x83X\x83g\x82\xf0\x83G\x83N\x83X\x83|\x81[\x83g" /* URLリストをエクスポート */, -1, ""}, // 16
    {"actExportTabText", "TAB\x8b\xe6\x90\xd8\x82\xe8\x83" "e\x83L\x83X\x83g(&T)" /* TAB区切りテキスト(&T) */,
        "TAB\x8b\xe6\x90\xd8\x82\xe8\x83" "e\x83L\x83X\x83g\x82\xf0\x83G\x83N\x83X\x83|\x81[\x83g" /* TAB区切りテキストをエクスポート */, -1, ""}, // 17
    {"actExportHtml", "HTML\x83t\x83@\x83" "C\x83\x8b(&H)" /* HTMLファイル(&H) */,
        "HTML\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x83G\x83N\x83X\x83|\x81[\x83g" /* HTMLファイルをエクスポート */, -1, ""}, // 18
    {"actExportXml", "XML\x83t\x83@\x83" "C\x83\x8b(&X)" /* XMLファイル(&X) */,
        "XML\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x83G\x83N\x83X\x83|\x81[\x83g" /* XMLファイルをエクスポート */, -1, ""}, // 19
    {"actNew", "\x90V\x8bK(&N)" /* 新規(&N) */,
        "\x90V\x8bK" /* 新規 */, 4, "Ctrl+N"}, // 20
    {"actChange", "\x95\xcf\x8dX(&A)" /* 変更(&A) */,
        "\x95\xcf\x8dX" /* 変更 */, 5, "Return"}, // 21
    {"actDelete", "\x8d\xed\x8f\x9c(&D)" /* 削除(&D) */,
        "\x8d\xed\x8f\x9c" /* 削除 */, 6, "Del"}, // 22
    {"actCopyUrl", "\x83N\x83\x8a\x83" "b\x83v\x83{\x81[\x83h\x82\xd6URL\x82\xf0\x83R\x83s\x81[(&C)" /* クリップボードへURLをコピー(&C) */,
        "\x83N\x83\x8a\x83" "b\x83v\x83{\x81[\x83h\x82\xd6URL\x82\xf0\x83R\x83s\x81[" /* クリップボードへURLをコピー */, 7, "Ctrl+C"}, // 23
    {"actPasteUrl", "\x83N\x83\x8a\x83" "b\x83v\x83{\x81[\x83h\x82\xa9\x82\xe7URL\x82\xf0\x8e\xe6\x93\xbe(&P)" /* クリップボードからURLを取得(&P) */,
        "\x83N\x83\x8a\x83" "b\x83v\x83{\x81[\x83h\x82\xa9\x82\xe7URL\x82\xf0\x8e\xe6\x93\xbe" /* クリップボードからURLを取得 */, 8, "Ctrl+V"}, // 24
    {"actSelectAll", "\x91S\x82\xc4\x91I\x91\xf0(&S)" /* 全て選択(&S) */,
        "\x91S\x82\xc4\x91I\x91\xf0" /* 全て選択 */, -1, "Ctrl+A"}, // 25
    {"actSelectUpdated", "\x8dX\x90V\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x91I\x91\xf0(&M)" /* 更新アイテムを選択(&M) */,
        "\x8dX\x90V\x83" "A\x83" "C\x83" "e\x83\x80\x82\xf0\x91I\x91\xf0" /* 更新アイテムを選択 */, -1, "Ctrl+Shift+A"}, // 26
    {"actInvertSelection", "\x91I\x91\xf0\x82\xcc\x94\xbd\x93](&R)" /* 選択の反転(&R) */,
        "\x91I\x91\xf0\x82\xcc\x94\xbd\x93]" /* 選択の反転 */, -1, "Ctrl+R"}, // 27
    {"actMoveUp", "\x8f\xe3\x82\xd6" /* 上へ */,
        "\x8f\xe3\x82\xd6" /* 上へ */, 9, "Alt+Up"}, // 28
    {"actMoveDown", "\x89\xba\x82\xd6" /* 下へ */,
        "\x89\xba\x82\xd6" /* 下へ */, 10, "Alt+Down"}, // 29
    {"actSort", "\x95\xc0\x82\xd7\x91\xd6\x82\xa6(&O)" /* 並べ替え(&O) */,
        "", -1, ""}, // 30
    {"actSortStatus", "\x8f\xf3\x91\xd4(&S)" /* 状態(&S) */,
        "\x8f\xf3\x91\xd4" /* 状態 */, -1, ""}, // 31
    {"actSortTitle", "\x83^\x83" "C\x83g\x83\x8b(&T)" /* タイトル(&T) */,
        "\x83^\x83" "C\x83g\x83\x8b" /* タイトル */, -1, ""}, // 32
    {"actSortUrl", "URL(&U)",
        "URL", -1, ""}, // 33
    {"actSortLastModified", "Last-Modified(&L)",
        "Last-Modified", -1, ""}, // 34
    {"actSortResponse", "Response(&R)",
        "Response", -1, ""}, // 35
    {"actSortMetaTag", "meta\x83^\x83O(&M)" /* metaタグ(&M) */,
        "meta\x83^\x83O" /* metaタグ */, -1, ""}, // 36
    {"actRun", "\x8e\xc0\x8ds(&R)" /* 実行(&R) */,
        "\x8e\xc0\x8ds" /* 実行 */, 11, "F5"}, // 37
    {"actStop", "\x92\x86\x8e~(&T)" /* 中止(&T) */,
        "\x92\x86\x8e~" /* 中止 */, 12, "Ctrl+S"}, // 38
    {"actStatus", "\x8f\xf3\x91\xd4\x95\xcf\x8dX(&S)" /* 状態変更(&S) */,
        "", -1, ""}, // 39
    {"actStatusInitial", "\x8f\x89\x8a\xfa\x8f\xf3\x91\xd4(&I)" /* 初期状態(&I) */,
        "\x8f\x89\x8a\xfa\x8f\xf3\x91\xd4" /* 初期状態 */, 13, ""}, // 40
    {"actStatusNormal", "\x8dX\x90V\x96\xb3\x82\xb5(&N)" /* 更新無し(&N) */,
        "\x8dX\x90V\x96\xb3\x82\xb5" /* 更新無し */, 14, ""}, // 41
    {"actStatusUpdate", "\x8dX\x90V\x97L\x82\xe8(&U)" /* 更新有り(&U) */,
        "\x8dX\x90V\x97L\x82\xe8" /* 更新有り */, 15, ""}, // 42
    {"actStatusError", "\x83G\x83\x89\x81[(&E)" /* エラー(&E) */,
        "\x83G\x83\x89\x81[" /* エラー */, 16, ""}, // 43
    {"actRestore", "\x8c\xb3\x82\xcc\x83T\x83" "C\x83Y\x82\xc9\x96\xdf\x82\xb7(&R)" /* 元のサイズに戻す(&R) */,
        "\x8c\xb3\x82\xcc\x83T\x83" "C\x83Y\x82\xc9\x96\xdf\x82\xb7" /* 元のサイズに戻す */, -1, ""}, // 44
    {"actConfig", "\x90\xdd\x92\xe8(&C)" /* 設定(&C) */,
        "\x90\xdd\x92\xe8" /* 設定 */, -1, ""}, // 45
};
// clang-format on

using E = TMenuEntry;
constexpr int Sep = TMenuEntry::Separator;

} // namespace

TActions::TActions(const std::vector<QIcon>& images, QObject* parent)
    : QObject(parent)
{
    for (int id = 0; id < ActionCount; ++id) {
        const TActionEntry& entry = ActionTable[id];
        auto* action = new QAction(caption(entry.caption), this);
        action->setObjectName(QString::fromLatin1(entry.name));
        const QString hint = caption(entry.hint);
        action->setToolTip(hint.isEmpty() ? QString() : hint);
        action->setStatusTip(QString());
        if (entry.image >= 0 && static_cast<size_t>(entry.image) < images.size())
            action->setIcon(images[static_cast<size_t>(entry.image)]);
        if (*entry.shortcut) {
            const QString keys = QString::fromLatin1(entry.shortcut);
            QList<QKeySequence> shortcuts {QKeySequence::fromString(keys, QKeySequence::PortableText)};
            // The keypad's Enter does what Return does; the keypad's key comes with its own modifier.
            if (keys.contains(QStringLiteral("Return"))) {
                const QKeySequence enter = QKeySequence::fromString(
                    QString(keys).replace(QStringLiteral("Return"), QStringLiteral("Enter")), QKeySequence::PortableText);
                shortcuts.append(enter);
                shortcuts.append(QKeySequence(QKeyCombination(enter[0].keyboardModifiers() | Qt::KeypadModifier, enter[0].key())));
            }
            action->setShortcuts(shortcuts);
            // The window's shortcuts work wherever the focus is inside it, the list included.
            action->setShortcutContext(Qt::WindowShortcut);
        }
        m_actions[static_cast<size_t>(id)] = action;
    }
}

QString TActions::hint(int id)
{
    return id >= 0 && id < ActionCount ? caption(ActionTable[id].hint) : QString();
}

bool TActions::isHeading(int id)
{
    return id >= 0 && id < ActionCount && *ActionTable[id].hint == '\0';
}

int TActions::imageIndex(int id)
{
    return id >= 0 && id < ActionCount ? ActionTable[id].image : -1;
}

void TActions::enableForRun(bool running)
{
    for (int id = 0; id < ActionCount; ++id)
        m_actions[static_cast<size_t>(id)]->setEnabled(!running || id == actCheck || id == actStop || id == actRestore);
}

const std::vector<TMenuEntry>& TActions::mainMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E {actFile,
            {E {actBrowse}, E {actReport}, E {Sep}, E {actOpenItems}, E {actAddItems}, E {actSaveItems}, E {Sep},
                E {actImport, {E {actImportUrlList}, E {actImportTabText}, E {actImportHtml}, E {actImportXml}}},
                E {actExport, {E {actExportUrlList}, E {actExportTabText}, E {actExportHtml}, E {actExportXml}}},
                E {Sep}, E {actExit}}},
        E {actEdit,
            {E {actNew}, E {actChange}, E {actDelete}, E {Sep}, E {actCopyUrl}, E {actPasteUrl}, E {Sep},
                E {actSelectAll}, E {actSelectUpdated}, E {actInvertSelection}, E {Sep}, E {actMoveUp},
                E {actMoveDown},
                E {actSort,
                    {E {actSortStatus}, E {actSortTitle}, E {actSortUrl}, E {actSortLastModified},
                        E {actSortMetaTag}, E {actSortResponse}}}}},
        E {actCheck,
            {E {actRun}, E {actStop}, E {Sep},
                E {actStatus, {E {actStatusInitial}, E {actStatusNormal}, E {actStatusUpdate}, E {actStatusError}}}}},
        E {actOther, {E {actConfig}}},
    };
    return menu;
}

const std::vector<TMenuEntry>& TActions::popupMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E {actNew}, E {actChange}, E {actDelete}, E {Sep}, E {actCopyUrl}, E {actPasteUrl}, E {Sep},
        E {actSelectAll}, E {actSelectUpdated}, E {actInvertSelection}, E {Sep}, E {actMoveUp}, E {actMoveDown},
        E {Sep}, E {actStatus, {E {actStatusInitial}, E {actStatusNormal}, E {actStatusUpdate}, E {actStatusError}}},
    };
    return menu;
}

const std::vector<TMenuEntry>& TActions::trayMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E {actRestore}, E {Sep}, E {actRun}, E {actStop}, E {Sep}, E {actExit},
    };
    return menu;
}

const std::vector<int>& TActions::toolBarButtons()
{
    static const std::vector<int> buttons = {actBrowse, Sep, actNew, actChange, actDelete, Sep, actMoveUp, actMoveDown,
        Sep, actRun, actStop, Sep, actStatusInitial, actStatusNormal, actStatusUpdate, actStatusError};
    return buttons;
}

QMenu* TActions::headingMenu(int id, QWidget* parent) const
{
    QAction* heading = (*this)[id];
    auto* menu = new QMenu(heading->text(), parent);
    menu->setObjectName(QStringLiteral("mnu") + heading->objectName().mid(3));
    menu->setToolTip(heading->toolTip());
    menu->menuAction()->setEnabled(heading->isEnabled());
    connect(heading, &QAction::changed, menu, [heading, menu] { menu->menuAction()->setEnabled(heading->isEnabled()); });
    return menu;
}

void TActions::fillMenu(QMenu* menu, const std::vector<TMenuEntry>& entries) const
{
    for (const TMenuEntry& entry : entries) {
        if (entry.id == Sep) {
            menu->addSeparator();
        } else if (isHeading(entry.id)) {
            QMenu* sub = headingMenu(entry.id, menu);
            fillMenu(sub, entry.entries);
            menu->addMenu(sub);
        } else {
            menu->addAction((*this)[entry.id]);
        }
    }
}

void TActions::buildMainMenu(QMenuBar* bar) const
{
    for (const TMenuEntry& entry : mainMenu()) {
        QMenu* menu = headingMenu(entry.id, bar);
        fillMenu(menu, entry.entries);
        bar->addMenu(menu);
    }
}

void TActions::buildToolBar(QToolBar* bar) const
{
    for (int id : toolBarButtons()) {
        if (id == Sep) {
            bar->addSeparator();
            continue;
        }
        bar->addAction((*this)[id]);
        if (QWidget* button = bar->widgetForAction((*this)[id]))
            button->setFixedSize(24, 24);
    }
}
