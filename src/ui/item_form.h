#pragma once

#include "store/check_item.h"
#include "ui/check_page.h"
#include "ui/form_prompts.h"
#include "ui/parameter_page.h"
#include "ui/tabbed_form.h"

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class TWatchPage;

// The modal dialog that creates or edits one watched page. The caller sets the caption
// ("新規アイテム", "アイテム追加", "アイテム変更") and keeps one form for every call.
class TItemForm : public TTabbedForm
{
    Q_OBJECT
public:
    explicit TItemForm(QWidget* parent = nullptr);

    // Shows `item` for editing; an item without own parameters starts from those of `defaultItem`.
    // True (OK): the item holds the edited values with the item editing rules applied.
    // False (Cancel): the item is exactly as it was.
    bool Execute(TCheckItem& item, const TCheckItem& defaultItem);

    // Recomputes which controls are enabled; run after every check-box click.
    void onCheckClick();
    // Fetches the page once with the item's connection parameters as they stand in the dialog and shows what its
    // rules would watch; the dialog stays usable meanwhile.
    void onPreviewClick();

    // The message boxes of the dialog, replaceable so that tests can answer them.
    void setPrompts(std::unique_ptr<TFormPrompts> prompts);

    QWidget* tabItem = nullptr;
    QCheckBox* chkCheck = nullptr;
    QGroupBox* grpTitle = nullptr;
    QLabel* lblTitle = nullptr;
    QLineEdit* txtTitle = nullptr;
    QCheckBox* chkGetTitle = nullptr;
    QGroupBox* grpURI = nullptr;
    QLabel* lblCheckURI = nullptr;
    QLineEdit* txtCheckURI = nullptr;
    QLabel* lblViewURI = nullptr;
    QLineEdit* txtViewURI = nullptr;
    QGroupBox* grpCheckInfo = nullptr;
    QLabel* lblLastCheck = nullptr;
    QLineEdit* txtLastCheck = nullptr;
    QLabel* lblResponse = nullptr;
    QLineEdit* txtResponse = nullptr;

    TCheckPage check; // page tabCheck
    TWatchPage* watch = nullptr; // page tabWatch
    QWidget* tabUnique = nullptr;
    QCheckBox* chkUnique = nullptr;
    TParameterPage parameters;

    // OK: refuses rules that cannot be used, saying why, and keeps the dialog open.
    void accept() override;

protected:
    void onFormShow() override;

private:
    void buildItemPage();
    void buildUniquePage();
    void fill(const TCheckItem& item);
    void store(TCheckItem& item) const;
    // The item as the controls stand now, before the editing rules.
    TCheckItem editedItem() const;

    std::unique_ptr<TFormPrompts> m_prompts;
    TCheckItem m_shown; // the item as the dialog was filled
    TCheckItem m_defaultItem; // whose connection parameters an item without its own uses
};
