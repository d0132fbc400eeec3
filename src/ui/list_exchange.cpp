#include "ui/list_exchange.h"

#include "base/exception.h"
#include "session/failure_text.h"
#include "session/sjis_text.h"
#include "ui/item_list.h"
#include "ui/main_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QMenuBar>
#include <QToolBar>
#include <QUrl>

#include <new>
#include <tuple>
#include <vector>

namespace {

TFileDialogSpec dialogSpec(const TExchangeDialog& dialog)
{
    TFileDialogSpec spec;
    spec.title = QString::fromUtf8(dialog.title);
    spec.filter = QString::fromUtf8(dialog.filter);
    spec.defaultExtension = QString::fromLatin1(dialog.defaultExtension.c_str());
    return spec;
}

} // namespace

TListExchange::TListExchange(TImgForm& form)
    : QObject(&form)
    , m_form(form)
    , m_list(*form.itemList())
    , m_prompts(std::make_unique<TFormPrompts>())
{
    m_openDocument = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

void TListExchange::setPrompts(std::unique_ptr<TFormPrompts> prompts)
{
    m_prompts = std::move(prompts);
}

void TListExchange::guarded(const std::function<void()>& command)
{
    // A file that cannot be read or written ends an import or export silently; the list is as it was.
    m_list.guarded(command, TItemList::TFileFailure::EndSilently, m_prompts.get());
}

std::function<bool(size_t)> TListExchange::selection() const
{
    std::vector<bool> selected(m_list.config().items.count(), false);
    for (size_t row : m_list.selectedRows())
        if (row < selected.size())
            selected[row] = true;
    return [selected = std::move(selected)](size_t row) { return row < selected.size() && selected[row]; };
}

void TListExchange::exportList(TExchangeFormat format)
{
    guarded([this, format] {
        runExportCommand(format, m_list.config(), selection(), [this, format] {
            return fileNameBytes(m_prompts->saveFileName(&m_form, dialogSpec(exportDialog(format))));
        });
    });
}

void TListExchange::importList(TExchangeFormat format)
{
    guarded([this, format] {
        const bool read = runImportCommand(format, m_list.config(), [this, format] {
            return fileNameBytes(m_prompts->openFileName(&m_form, dialogSpec(importDialog(format))));
        });
        if (read)
            m_list.refill();
    });
}

void TListExchange::showReport()
{
    guarded([this] {
        const std::string path = writeListReport(m_list.config(), selection(), m_form.settingsDir());
        if (!path.empty())
            m_openDocument(fileNameText(path));
    });
}

TListExchange* bindListExchange(TImgForm& form)
{
    auto* exchange = new TListExchange(form);
    const auto bind = [&](int id, auto command) {
        QObject::connect((*form.actions())[id], &QAction::triggered, exchange, command);
    };
    bind(actReport, [exchange] { exchange->showReport(); });
    // Each format with its import and its export command.
    const std::tuple<TExchangeFormat, int, int> formats[] = {
        { TExchangeFormat::UriList, actImportUrlList, actExportUrlList },
        { TExchangeFormat::TabText, actImportTabText, actExportTabText },
        { TExchangeFormat::Html, actImportHtml, actExportHtml },
        { TExchangeFormat::Xml, actImportXml, actExportXml },
    };
    for (const auto& [format, importAction, exportAction] : formats) {
        bind(importAction, [exchange, format = format] { exchange->importList(format); });
        bind(exportAction, [exchange, format = format] { exchange->exportList(format); });
    }
    return exchange;
}
