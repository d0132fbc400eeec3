#pragma once

#include "ui/check_page.h"
#include "ui/parameter_page.h"
#include "ui/tabbed_form.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
struct TCheckItem;

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
    QWidget* tabUnique = nullptr;
    QCheckBox* chkUnique = nullptr;
    TParameterPage parameters;

protected:
    void onFormShow() override;

private:
    void buildItemPage();
    void buildUniquePage();
    void fill(const TCheckItem& item);
    void store(TCheckItem& item) const;
};
