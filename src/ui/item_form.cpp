#include "ui/item_form.h"

#include "store/check_item.h"
#include "ui/form_widgets.h"
#include "ui/watch_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The parameter fields that an item without its own parameters borrows from the default item while it is edited.
void copyParameters(const TCheckItem& from, TCheckItem& to)
{
    to.useProxy = from.useProxy;
    to.proxyServer() = from.proxyServer();
    to.proxyPort() = from.proxyPort();
    to.useAuthentication = from.useAuthentication;
    to.userId() = from.userId();
    to.scrambledPassword() = from.scrambledPassword();
    to.password = from.password;
    to.userAgent() = from.userAgent();
}

} // namespace

TItemForm::TItemForm(QWidget* parent)
    : TTabbedForm(QStringLiteral("TItemForm"), parent)
    , m_prompts(std::make_unique<TFormPrompts>())
{
    setWindowTitle(QStringLiteral("アイテム"));
    buildItemPage();
    check.build(true);
    addPage(check.page, QStringLiteral("確認方法"));
    watch = new TWatchPage;
    addPage(watch, QStringLiteral("監視する部分"));
    connect(watch->btnPreview, &QPushButton::clicked, this, &TItemForm::onPreviewClick);
    buildUniquePage();
    finishBuild();

    std::vector<QCheckBox*> boxes = { chkCheck, chkGetTitle, chkUnique };
    for (QCheckBox* each : check.checkBoxes())
        boxes.push_back(each);
    for (QCheckBox* each : parameters.checkBoxes())
        boxes.push_back(each);
    for (QCheckBox* each : boxes)
        connect(each, &QCheckBox::clicked, this, &TItemForm::onCheckClick);

    // The design has these ticked until an item is shown.
    chkCheck->setChecked(true);
    check.chkDate->setChecked(true);
    check.chkLength->setChecked(true);
}

void TItemForm::buildItemPage()
{
    tabItem = addPage(QStringLiteral("tabItem"), QStringLiteral("アイテム"));
    auto* layout = new QVBoxLayout(tabItem);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);

    chkCheck = checkBox(QStringLiteral("chkCheck"), QStringLiteral("確認対象(&C)"), tabItem);
    layout->addWidget(chkCheck);

    grpTitle = groupBox(QStringLiteral("grpTitle"), QString(), tabItem);
    txtTitle = new QLineEdit(grpTitle);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    lblTitle = buddyLabel(QStringLiteral("lblTitle"), QStringLiteral("タイトル(&T)"), txtTitle, grpTitle);
    chkGetTitle = checkBox(QStringLiteral("chkGetTitle"), QStringLiteral("次回確認時にタイトルを取得(&G)"), grpTitle);
    layOutGroupBox(grpTitle, layout, { { 8, 6, 8, 6 }, -1, { { 1, 1 } } },
        { { lblTitle, 0, 0 }, { txtTitle, 0, 1 }, { chkGetTitle, 1, 1 } });

    grpURI = groupBox(QStringLiteral("grpURI"), QString(), tabItem);
    txtCheckURI = plainEdit(QStringLiteral("txtCheckURI"), grpURI);
    lblCheckURI = buddyLabel(QStringLiteral("lblCheckURI"), QStringLiteral("URL(&U)"), txtCheckURI, grpURI);
    txtViewURI = plainEdit(QStringLiteral("txtViewURI"), grpURI);
    lblViewURI = buddyLabel(QStringLiteral("lblViewURI"), QStringLiteral("表示URL(&V)"), txtViewURI, grpURI);
    layOutGroupBox(grpURI, layout, { { 8, 6, 8, 6 }, -1, { { 1, 1 } } },
        { { lblCheckURI, 0, 0 }, { txtCheckURI, 0, 1 }, { lblViewURI, 1, 0 }, { txtViewURI, 1, 1 } });

    grpCheckInfo = groupBox(QStringLiteral("grpCheckInfo"), QString(), tabItem);
    txtLastCheck = readOnlyEdit(QStringLiteral("txtLastCheck"), grpCheckInfo);
    lblLastCheck
        = buddyLabel(QStringLiteral("lblLastCheck"), QStringLiteral("確認日付(&D)"), txtLastCheck, grpCheckInfo);
    txtResponse = readOnlyEdit(QStringLiteral("txtResponse"), grpCheckInfo);
    lblResponse = buddyLabel(QStringLiteral("lblResponse"), QStringLiteral("Response(&R)"), txtResponse, grpCheckInfo);
    layOutGroupBox(grpCheckInfo, layout, { { 8, 6, 8, 6 }, -1, { { 1, 1 } } },
        { { lblLastCheck, 0, 0 }, { txtLastCheck, 0, 1 }, { lblResponse, 1, 0 }, { txtResponse, 1, 1 } });
    layout->addStretch();
}

void TItemForm::buildUniquePage()
{
    tabUnique = addPage(QStringLiteral("tabUnique"), QStringLiteral("固有の設定"));
    auto* layout = new QVBoxLayout(tabUnique);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    chkUnique = checkBox(QStringLiteral("chkUnique"), QStringLiteral("アイテム固有の設定(&U)"), tabUnique);
    layout->addWidget(chkUnique);
    parameters.build(tabUnique, layout);
    layout->addStretch();
}

bool TItemForm::Execute(TCheckItem& item, const TCheckItem& defaultItem)
{
    // The dialog works on a copy, so that Cancel leaves the item untouched whatever it held.
    m_shown = item;
    m_defaultItem = defaultItem;
    if (!m_shown.ownParameters)
        copyParameters(defaultItem, m_shown);
    fill(m_shown);
    onCheckClick();

    const int result = exec();
    // A preview still in flight belongs to this call only.
    watch->cancelPreview();
    if (result != QDialog::Accepted)
        return false;

    TCheckItem edited = editedItem();
    applyItemEdit(m_shown, edited);
    item = std::move(edited);
    return true;
}

TCheckItem TItemForm::editedItem() const
{
    TCheckItem edited = m_shown;
    store(edited);
    return edited;
}

void TItemForm::setPrompts(std::unique_ptr<TFormPrompts> prompts)
{
    m_prompts = std::move(prompts);
}

void TItemForm::accept()
{
    const TWatchPage::TRefusal refusal = watch->refusal(previewRules(editedItem()));
    if (refusal.field) {
        tabMain->setCurrentWidget(watch);
        refusal.field->setFocus(Qt::OtherFocusReason);
        m_prompts->warn(this, refusal.message);
        return;
    }
    QDialog::accept();
}

void TItemForm::onPreviewClick()
{
    const TCheckItem edited = editedItem();
    // A fetch takes the default item's parameters; handing it the edited item picks that item's own ones, as a
    // check of it would.
    watch->startPreview(edited.checkUri(), edited.ownParameters ? edited : m_defaultItem, previewRules(edited));
}

void TItemForm::fill(const TCheckItem& item)
{
    chkCheck->setChecked(item.check != 0);
    setEditText(txtTitle, item.title());
    chkGetTitle->setChecked(item.getTitle != 0);
    setEditText(txtCheckURI, item.checkUri());
    setEditText(txtViewURI, item.viewUri());
    setEditText(txtLastCheck, item.lastCheck());
    setEditText(txtResponse, item.response());
    check.fill(item);
    watch->fill(item);
    chkUnique->setChecked(item.ownParameters != 0);
    parameters.fill(item);
}

void TItemForm::store(TCheckItem& item) const
{
    item.check = chkCheck->isChecked() ? 1 : 0;
    item.title() = editText(txtTitle);
    item.getTitle = chkGetTitle->isChecked() ? 1 : 0;
    item.checkUri() = editText(txtCheckURI);
    item.viewUri() = editText(txtViewURI);
    check.store(item);
    watch->store(item);
    item.ownParameters = chkUnique->isChecked() ? 1 : 0;
    parameters.store(item);
}

void TItemForm::onCheckClick()
{
    const bool checked = chkCheck->isChecked();
    check.page->setEnabled(checked);
    watch->setEnabled(checked);
    tabUnique->setEnabled(checked);
    check.updateEnabling(checked, true);
    chkUnique->setEnabled(checked);
    parameters.updateEnabling(checked && chkUnique->isChecked());
}

void TItemForm::onFormShow()
{
    tabMain->setCurrentWidget(tabItem);
    txtCheckURI->setFocus(Qt::OtherFocusReason);
    txtCheckURI->selectAll();
}
