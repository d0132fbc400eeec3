#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

#include <algorithm>

TRadioGroup::TRadioGroup(
    const QString& objectName, const QString& title, const QStringList& items, QWidget* parent, int columns)
    : QGroupBox(title, parent)
    , m_buttons(new QButtonGroup(this))
{
    setObjectName(objectName);
    auto* layout = new QGridLayout(this);
    layout->setVerticalSpacing(2);
    columns = std::max(1, columns);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(objectName + QString::number(i));
        m_buttons->addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
    }
    // Arrow keys move the selection without a click, so follow the buttons' state, not their clicks.
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            Q_EMIT clicked();
    });
}

int TRadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (QAbstractButton* chosen = m_buttons->button(index)) {
        chosen->setChecked(true);
        return;
    }
    // An exclusive group can only be cleared with its exclusivity lifted for a moment.
    m_buttons->setExclusive(false);
    for (QAbstractButton* each : m_buttons->buttons())
        each->setChecked(false);
    m_buttons->setExclusive(true);
}

QRadioButton* TRadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton*>(m_buttons->button(index));
}

int TRadioGroup::count() const
{
    return static_cast<int>(m_buttons->buttons().size());
}
