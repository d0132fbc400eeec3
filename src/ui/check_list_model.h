#pragma once

#include "store/check_item.h"
#include "store/list_commands.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QItemSelection>

#include <string>
#include <vector>

// The item list as the window's list shows it: one row per item in list order, the columns Status, Title,
// URL, Last-Modified, meta tag and Response. The rows read the items as they are; whoever changes the items
// tells the model which rows to show again. A tick changed in the list is the item's `check` at once.
class TCheckListModel : public QAbstractTableModel
{
public:
    // `statusIcons` are the pictures of the four states, initial first.
    TCheckListModel(TCheckItems& items, std::vector<QIcon> statusIcons, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The row of the item with this id: `hint` when the item there has it, else wherever the item is now;
    // -1 when no item has it.
    int rowOfId(const std::string& id, size_t hint) const;
    // The picture of a state; one outside the four is shown as the initial one.
    const QIcon& statusIcon(ItemStatus status) const;
    // The whole rows at these positions, one range per run of neighbouring rows; positions past the rows
    // are left out.
    QItemSelection rowsSelection(const TSelection& rows) const;

    // Every row again from the items, which may have changed in number: the selection and the current row go.
    void refillAll();
    // The rows at these positions again from their items, with one change per run of neighbouring rows.
    void refillRows(const TSelection& rows);
    void refillRow(size_t row);
    // Appends the item with a row of its own; returns its position.
    size_t appendItem(TCheckItem item);
    // Removes the item with its row; the other rows keep their selection.
    void eraseItem(size_t row);

    // A check run clears the ticks it takes and shows each again when its item is done, so the ticks show
    // what is still to do; the items keep their `check` meanwhile. showTick brings the row's tick back at once
    // and keeps the row for refillDoneRows, which shows the rows done since its last call again from their items,
    // so that a fast run tells the view at the screen's pace rather than once per item. showTicks shows every row.
    void hideTicks();
    void showTick(size_t row);
    void refillDoneRows();
    void showTicks();

private:
    bool tickHidden(size_t row) const { return row < m_tickHidden.size() && m_tickHidden[row]; }

    TCheckItems& m_items;
    std::vector<QIcon> m_statusIcons;
    // The rows the view knows of; follows the items only when told.
    int m_rows = 0;
    std::vector<bool> m_tickHidden;
    TSelection m_doneRows; // in the order they were done
};
