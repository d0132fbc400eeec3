#include "ui/actions.h"

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
    const char* caption; // UTF-8
    const char* hint; // UTF-8; empty for a heading
    int image;
    const char* shortcut; // portable key text
};

// clang-format off
const TActionEntry ActionTable[ActionCount] = {
    {"actFile", "ファイル(&F)", "", -1, ""}, // 0
    {"actEdit", "編集(&E)", "", -1, ""}, // 1
    {"actCheck", "確認(&C)", "", -1, ""}, // 2
    {"actOther", "その他(&O)", "", -1, ""}, // 3
    {"actExit", "終了(&X)", "終了", -1, "Alt+F4"}, // 4
    {"actOpenItems", "アイテムを読み込む(&O)", "アイテムを読み込む", 0, ""}, // 5
    {"actAddItems", "追加読み込み(&A)", "追加読み込み", -1, ""}, // 6
    {"actSaveItems", "アイテムを保存する(&S)", "アイテムを保存する", 1, ""}, // 7
    {"actBrowse", "ブラウザで開く(&V)", "ブラウザで開く", 2, "Shift+Return"}, // 8
    {"actReport", "一覧をブラウザで表示(&L)", "一覧をブラウザで表示", 3, ""}, // 9
    {"actImport", "インポート(&I)", "", -1, ""}, // 10
    {"actImportUrlList", "URLリスト(&U)", "URLリストをインポート", -1, ""}, // 11
    {"actImportTabText", "TAB区切りテキスト(&T)", "TAB区切りテキストをインポート", -1, ""}, // 12
    {"actImportHtml", "HTMLファイル(&H)", "HTMLファイルをインポート", -1, ""}, // 13
    {"actImportXml", "XMLファイル(&X)", "XMLファイルをインポート", -1, ""}, // 14
    {"actExport", "エクスポート(&E)", "", -1, ""}, // 15
    {"actExportUrlList", "URLリスト(&U)", "URLリストをエクスポート", -1, ""}, // 16
    {"actExportTabText", "TAB区切りテキスト(&T)", "TAB区切りテキストをエクスポート", -1, ""}, // 17
    {"actExportHtml", "HTMLファイル(&H)", "HTMLファイルをエクスポート", -1, ""}, // 18
    {"actExportXml", "XMLファイル(&X)", "XMLファイルをエクスポート", -1, ""}, // 19
    {"actNew", "新規(&N)", "新規", 4, "Ctrl+N"}, // 20
    {"actChange", "変更(&A)", "変更", 5, "Return"}, // 21
    {"actDelete", "削除(&D)", "削除", 6, "Del"}, // 22
    {"actCopyUrl", "クリップボードへURLをコピー(&C)", "クリップボードへURLをコピー", 7, "Ctrl+C"}, // 23
    {"actPasteUrl", "クリップボードからURLを取得(&P)", "クリップボードからURLを取得", 8, "Ctrl+V"}, // 24
    {"actSelectAll", "全て選択(&S)", "全て選択", -1, "Ctrl+A"}, // 25
    {"actSelectUpdated", "更新アイテムを選択(&M)", "更新アイテムを選択", -1, "Ctrl+Shift+A"}, // 26
    {"actInvertSelection", "選択の反転(&R)", "選択の反転", -1, "Ctrl+R"}, // 27
    {"actMoveUp", "上へ", "上へ", 9, "Alt+Up"}, // 28
    {"actMoveDown", "下へ", "下へ", 10, "Alt+Down"}, // 29
    {"actSort", "並べ替え(&O)", "", -1, ""}, // 30
    {"actSortStatus", "状態(&S)", "状態", -1, ""}, // 31
    {"actSortTitle", "タイトル(&T)", "タイトル", -1, ""}, // 32
    {"actSortUrl", "URL(&U)", "URL", -1, ""}, // 33
    {"actSortLastModified", "Last-Modified(&L)", "Last-Modified", -1, ""}, // 34
    {"actSortResponse", "Response(&R)", "Response", -1, ""}, // 35
    {"actSortMetaTag", "metaタグ(&M)", "metaタグ", -1, ""}, // 36
    {"actRun", "実行(&R)", "実行", 11, "F5"}, // 37
    {"actStop", "中止(&T)", "中止", 12, "Ctrl+S"}, // 38
    {"actStatus", "状態変更(&S)", "", -1, ""}, // 39
    {"actStatusInitial", "初期状態(&I)", "初期状態", 13, ""}, // 40
    {"actStatusNormal", "更新無し(&N)", "更新無し", 14, ""}, // 41
    {"actStatusUpdate", "更新有り(&U)", "更新有り", 15, ""}, // 42
    {"actStatusError", "エラー(&E)", "エラー", 16, ""}, // 43
    {"actRestore", "元のサイズに戻す(&R)", "元のサイズに戻す", -1, ""}, // 44
    {"actConfig", "設定(&C)", "設定", -1, ""}, // 45
    {"actShowChanges", "変更点を表示(&D)", "変更点を表示", 17, "Ctrl+D"}, // 46
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
        auto* action = new QAction(QString::fromUtf8(entry.caption), this);
        action->setObjectName(QString::fromLatin1(entry.name));
        const QString hint = QString::fromUtf8(entry.hint);
        action->setToolTip(hint.isEmpty() ? QString() : hint);
        action->setStatusTip(QString());
        if (entry.image >= 0 && static_cast<size_t>(entry.image) < images.size())
            action->setIcon(images[static_cast<size_t>(entry.image)]);
        if (*entry.shortcut) {
            const QString keys = QString::fromLatin1(entry.shortcut);
            QList<QKeySequence> shortcuts { QKeySequence::fromString(keys, QKeySequence::PortableText) };
            // The keypad's Enter does what Return does; the keypad's key comes with its own modifier.
            if (keys.contains(QStringLiteral("Return"))) {
                const QKeySequence enter
                    = QKeySequence::fromString(QString(keys).replace(QStringLiteral("Return"), QStringLiteral("Enter")),
                        QKeySequence::PortableText);
                shortcuts.append(enter);
                shortcuts.append(
                    QKeySequence(QKeyCombination(enter[0].keyboardModifiers() | Qt::KeypadModifier, enter[0].key())));
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
    return id >= 0 && id < ActionCount ? QString::fromUtf8(ActionTable[id].hint) : QString();
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
    for (int id = 0; id < ActionCount; ++id) {
        // The changes window only reads: it follows the current row, not the run.
        if (id != actShowChanges)
            m_actions[static_cast<size_t>(id)]->setEnabled(
                !running || id == actCheck || id == actStop || id == actRestore);
    }
}

const std::vector<TMenuEntry>& TActions::mainMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E { actFile,
            { E { actBrowse }, E { actReport }, E { Sep }, E { actOpenItems }, E { actAddItems }, E { actSaveItems },
                E { Sep },
                E { actImport,
                    { E { actImportUrlList }, E { actImportTabText }, E { actImportHtml }, E { actImportXml } } },
                E { actExport,
                    { E { actExportUrlList }, E { actExportTabText }, E { actExportHtml }, E { actExportXml } } },
                E { Sep }, E { actExit } } },
        E { actEdit,
            { E { actNew }, E { actChange }, E { actDelete }, E { Sep }, E { actCopyUrl }, E { actPasteUrl }, E { Sep },
                E { actSelectAll }, E { actSelectUpdated }, E { actInvertSelection }, E { Sep }, E { actMoveUp },
                E { actMoveDown },
                E { actSort,
                    { E { actSortStatus }, E { actSortTitle }, E { actSortUrl }, E { actSortLastModified },
                        E { actSortMetaTag }, E { actSortResponse } } } } },
        E { actCheck,
            { E { actRun }, E { actStop }, E { actShowChanges }, E { Sep },
                E { actStatus,
                    { E { actStatusInitial }, E { actStatusNormal }, E { actStatusUpdate },
                        E { actStatusError } } } } },
        E { actOther, { E { actConfig } } },
    };
    return menu;
}

const std::vector<TMenuEntry>& TActions::popupMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E { actNew },
        E { actChange },
        E { actDelete },
        E { actShowChanges },
        E { Sep },
        E { actCopyUrl },
        E { actPasteUrl },
        E { Sep },
        E { actSelectAll },
        E { actSelectUpdated },
        E { actInvertSelection },
        E { Sep },
        E { actMoveUp },
        E { actMoveDown },
        E { Sep },
        E { actStatus, { E { actStatusInitial }, E { actStatusNormal }, E { actStatusUpdate }, E { actStatusError } } },
    };
    return menu;
}

const std::vector<TMenuEntry>& TActions::trayMenu()
{
    static const std::vector<TMenuEntry> menu = {
        E { actRestore },
        E { Sep },
        E { actRun },
        E { actStop },
        E { Sep },
        E { actExit },
    };
    return menu;
}

const std::vector<int>& TActions::toolBarButtons()
{
    static const std::vector<int> buttons
        = { actBrowse, actShowChanges, Sep, actNew, actChange, actDelete, Sep, actMoveUp, actMoveDown, Sep, actRun,
              actStop, Sep, actStatusInitial, actStatusNormal, actStatusUpdate, actStatusError };
    return buttons;
}

QMenu* TActions::headingMenu(int id, QWidget* parent) const
{
    QAction* heading = (*this)[id];
    auto* menu = new QMenu(heading->text(), parent);
    menu->setObjectName(QStringLiteral("mnu") + heading->objectName().mid(3));
    menu->setToolTip(heading->toolTip());
    menu->menuAction()->setEnabled(heading->isEnabled());
    connect(
        heading, &QAction::changed, menu, [heading, menu] { menu->menuAction()->setEnabled(heading->isEnabled()); });
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
