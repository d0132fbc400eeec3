#include "ui/check_page.h"

#include "store/check_item.h"
#include "store/item_extension.h"
#include "ui/form_widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <initializer_list>

void TCheckPage::build(bool textSwitch)
{
    page = new QWidget;
    page->setObjectName(QStringLiteral("tabCheck"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);

    chkGet = checkBox(QStringLiteral("chkGet"), QStringLiteral("GET要求を使用(&G)"), page);
    layout->addWidget(chkGet);

    grpHeader = groupBox(QStringLiteral("grpHeader"), QString(), page);
    chkDate = checkBox(QStringLiteral("chkDate"), QStringLiteral("Last-Modified(&M)"), grpHeader);
    txtDate = readOnlyEdit(QStringLiteral("txtDate"), grpHeader);
    chkLength = checkBox(QStringLiteral("chkLength"), QStringLiteral("Content-Length(&L)"), grpHeader);
    txtLength = readOnlyEdit(QStringLiteral("txtLength"), grpHeader);
    layOutGroupBox(grpHeader, layout, { { 8, 4, 8, 4 }, 3, { { 1, 1 } } },
        { { chkDate, 0, 0 }, { txtDate, 0, 1 }, { chkLength, 1, 0 }, { txtLength, 1, 1 } });

    grpBody = groupBox(QStringLiteral("grpBody"), QString(), page);
    chkSize = checkBox(QStringLiteral("chkSize"), QStringLiteral("ファイルサイズ(&S)"), grpBody);
    txtSize = readOnlyEdit(QStringLiteral("txtSize"), grpBody);
    chkBody = checkBox(
        QStringLiteral("chkBody"), QStringLiteral("内容を比較(&C) (メモリとディスク容量を消費します)"), grpBody);
    if (textSwitch) {
        // Beside the size, since the page has no room for another row; a size needs ten digits at most.
        chkText = checkBox(QStringLiteral("chkText"), QStringLiteral("ページの文字を比較(&X)"), grpBody);
        txtSize->setMaximumWidth(72);
        layOutGroupBox(grpBody, layout, { { 8, 4, 8, 4 }, 3, { { 1, 1 } } },
            { { chkSize, 0, 0 }, { txtSize, 0, 1 }, { chkText, 0, 2 }, { chkBody, 1, 0, 1, 3 } });
    } else {
        layOutGroupBox(grpBody, layout, { { 8, 4, 8, 4 }, 3, { { 1, 1 } } },
            { { chkSize, 0, 0 }, { txtSize, 0, 1 }, { chkBody, 1, 0, 1, 2 } });
    }

    grpMetaTag = groupBox(QStringLiteral("grpMetaTag"), QString(), page);
    chkMetaTag = checkBox(QStringLiteral("chkMetaTag"), QStringLiteral("metaタグで確認(&T)"), grpMetaTag);
    lblMetaTag = new QLabel(QStringLiteral("<meta name=\"名前\" content=\"値\">"), grpMetaTag);
    lblMetaTag->setObjectName(QStringLiteral("lblMetaTag"));
    lblMetaTag->setTextFormat(Qt::PlainText);
    txtMetaTagName = plainEdit(QStringLiteral("txtMetaTagName"), grpMetaTag);
    lblMetaTagName
        = buddyLabel(QStringLiteral("lblMetaTagName"), QStringLiteral("名前(&N)"), txtMetaTagName, grpMetaTag);
    txtMetaTagValue = readOnlyEdit(QStringLiteral("txtMetaTagValue"), grpMetaTag);
    lblMetaTagValue
        = buddyLabel(QStringLiteral("lblMetaTagValue"), QStringLiteral("値(&V)"), txtMetaTagValue, grpMetaTag);
    layOutGroupBox(grpMetaTag, layout, { { 8, 4, 8, 4 }, 3, { { 2, 1 } } },
        { { chkMetaTag, 0, 0 }, { lblMetaTag, 0, 1, 1, 2 }, { lblMetaTagName, 1, 0, 1, 1, Qt::AlignRight },
            { txtMetaTagName, 1, 1, 1, 2 }, { lblMetaTagValue, 2, 0, 1, 1, Qt::AlignRight },
            { txtMetaTagValue, 2, 1, 1, 2 } });
    layout->addStretch();
}

void TCheckPage::fill(const TCheckItem& item)
{
    chkGet->setChecked(item.useGet != 0);
    chkDate->setChecked(item.compareLastModified != 0);
    setEditText(txtDate, item.lastModified());
    chkLength->setChecked(item.compareContentLength != 0);
    setEditText(txtLength, item.contentLength());
    chkSize->setChecked(item.compareSize != 0);
    txtSize->setText(item.bodySize != 0 ? QString::number(item.bodySize) : QString());
    chkBody->setChecked(item.compareContent != 0);
    if (chkText)
        chkText->setChecked(item.comparesText());
    chkMetaTag->setChecked(item.compareMetaTag != 0);
    setEditText(txtMetaTagName, item.metaTagName());
    setEditText(txtMetaTagValue, item.metaTagValue());
}

void TCheckPage::store(TCheckItem& item) const
{
    item.useGet = chkGet->isChecked() ? 1 : 0;
    item.compareLastModified = chkDate->isChecked() ? 1 : 0;
    item.compareContentLength = chkLength->isChecked() ? 1 : 0;
    item.compareSize = chkSize->isChecked() ? 1 : 0;
    item.compareContent = chkBody->isChecked() ? 1 : 0;
    // Touched only when switched, so an extension text nobody changed keeps its bytes.
    if (chkText && chkText->isChecked() != item.comparesText())
        item.setExtension(ExtKey::CompareText, chkText->isChecked() ? "1" : "");
    item.compareMetaTag = chkMetaTag->isChecked() ? 1 : 0;
    item.metaTagName() = editText(txtMetaTagName);
}

void TCheckPage::updateEnabling(bool enabled, bool headerValuesFollowSwitches)
{
    const bool get = enabled && chkGet->isChecked();
    const bool tag = get && chkMetaTag->isChecked();
    for (QWidget* each : std::initializer_list<QWidget*> { chkGet, grpHeader, chkDate, chkLength })
        each->setEnabled(enabled);
    txtDate->setEnabled(enabled && (!headerValuesFollowSwitches || chkDate->isChecked()));
    txtLength->setEnabled(enabled && (!headerValuesFollowSwitches || chkLength->isChecked()));
    for (QWidget* each : std::initializer_list<QWidget*> { grpBody, chkSize, chkBody, grpMetaTag, chkMetaTag })
        each->setEnabled(get);
    if (chkText)
        chkText->setEnabled(get);
    txtSize->setEnabled(get && chkSize->isChecked());
    for (QWidget* each : std::initializer_list<QWidget*> {
             lblMetaTag, lblMetaTagName, txtMetaTagName, lblMetaTagValue, txtMetaTagValue })
        each->setEnabled(tag);
}

std::vector<QCheckBox*> TCheckPage::checkBoxes() const
{
    std::vector<QCheckBox*> boxes = { chkGet, chkDate, chkLength, chkSize, chkBody, chkMetaTag };
    if (chkText)
        boxes.push_back(chkText);
    return boxes;
}
