#pragma once

#include "exchange/exchange_commands.h"
#include "ui/form_prompts.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TImgForm;
class TItemList;

// The window's list report and its imports and exports, bound to their actions. It belongs to the window and
// works on the item list's settings through the list's guard. File failures end a command silently, with the
// list as it was and the window enabled.
class TListExchange : public QObject
{
public:
    explicit TListExchange(TImgForm& form);

    void exportList(TExchangeFormat format);
    void importList(TExchangeFormat format);
    // Writes the marked items to the report file of the settings folder and opens it.
    void showReport();

    // The file dialogs, answered by tests.
    void setPrompts(std::unique_ptr<TFormPrompts> prompts);
    // What opens a written file: the desktop's handler for its type unless replaced (tests catch it instead).
    void setDocumentOpener(std::function<void(const QString& path)> open) { m_openDocument = std::move(open); }

private:
    // Runs a command when the window is enabled and idle, with the window's controls disabled meanwhile.
    void guarded(const std::function<void()>& command);
    std::function<bool(size_t)> selection() const;

    TImgForm& m_form;
    TItemList& m_list;
    std::unique_ptr<TFormPrompts> m_prompts;
    std::function<void(const QString& path)> m_openDocument;
};

// Binds the nine commands of the list report, the imports and the exports of `form`.
TListExchange* bindListExchange(TImgForm& form);
