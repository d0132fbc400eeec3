#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A titled group of exclusive radio buttons addressed by position, the way the settings store them.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    // The items go down the group, in `columns` columns filled row by row.
    TRadioGroup(
        const QString& objectName, const QString& title, const QStringList& items, QWidget* parent, int columns = 1);

    // -1 when nothing is selected.
    int itemIndex() const;
    // An index outside the items selects nothing.
    void setItemIndex(int index);
    QRadioButton* button(int index) const;
    int count() const;

Q_SIGNALS:
    // The user chose another item, by mouse or by keyboard.
    void clicked();

private:
    QButtonGroup* m_buttons;
};
