#include "ui/check_list_model.h"

#include "session/sjis_text.h"
#include "store/config.h"

#include <QColor>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace {

enum Column { StatusColumn, TitleColumn, UrlColumn, LastModifiedColumn, MetaTagColumn, ResponseColumn };

// Column captions as the window has always shown them, the misspelt one included.
const char* const ColumnCaptions[ColumnCount] = { "Status", "Title", "URL", "Last-Modifeid", "meta-tag", "Response" };

// Red, but quiet enough that a list of failures stays readable.
const QColor FailureColour(0xa0, 0x40, 0x40);

QString cellText(const TCheckItem& item, int column)
{
    switch (column) {
    case TitleColumn:
        return fromSjis(item.title());
    case UrlColumn:
        return fromSjis(item.checkUri());
    case LastModifiedColumn:
        return fromSjis(item.lastModified());
    case MetaTagColumn:
        return fromSjis(item.metaTagValue());
    case ResponseColumn:
        return fromSjis(item.response());
    default:
        return QString(); // the status column shows its picture only
    }
}

} // namespace

TCheckListModel::TCheckListModel(TCheckItems& items, std::vector<QIcon> statusIcons, QObject* parent)
    : QAbstractTableModel(parent)
    , m_items(items)
    , m_statusIcons(std::move(statusIcons))
    , m_rows(static_cast<int>(items.count()))
{
    if (m_statusIcons.empty())
        m_statusIcons.emplace_back();
}

int TCheckListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TCheckListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ColumnCount);
}

// The one place that decides what a cell shows.
QVariant TCheckListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const auto row = static_cast<size_t>(index.row());
    const TCheckItem* item = m_items.at(row);
    if (!item)
        return {};
    // An Error row tells why in its Response column, the whole text in its tooltip.
    const bool failed = item->status == ItemStatus::Error && !item->failureReason.empty();
    switch (role) {
    case Qt::DisplayRole:
        if (failed && index.column() == ResponseColumn)
            return fromSjis(item->failureReason);
        return cellText(*item, index.column());
    case Qt::ForegroundRole:
        return failed && index.column() == ResponseColumn ? QVariant(FailureColour) : QVariant();
    case Qt::ToolTipRole:
        // A check that succeeded may still have something to say, as a history that could not be written.
        return item->failureReason.empty() ? QVariant() : QVariant(fromSjis(item->failureReason));
    case Qt::DecorationRole:
        return index.column() == StatusColumn ? QVariant(statusIcon(item->status)) : QVariant();
    case Qt::CheckStateRole:
        if (index.column() != StatusColumn)
            return {};
        return static_cast<int>(item->check && !tickHidden(row) ? Qt::Checked : Qt::Unchecked);
    default:
        return {};
    }
}

bool TCheckListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != StatusColumn || index.row() >= m_rows)
        return false;
    const auto row = static_cast<size_t>(index.row());
    TCheckItem* item = m_items.at(row);
    if (!item)
        return false;
    item->check = value.toInt() == Qt::Checked ? 1 : 0;
    if (tickHidden(row))
        m_tickHidden[row] = false;
    emit dataChanged(index, index, { Qt::CheckStateRole });
    return true;
}

QVariant TCheckListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return QString::fromLatin1(ColumnCaptions[section]);
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == StatusColumn)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

const QIcon& TCheckListModel::statusIcon(ItemStatus status) const
{
    const auto value = static_cast<size_t>(status);
    return m_statusIcons[value < m_statusIcons.size() ? value : 0];
}

void TCheckListModel::refillAll()
{
    beginResetModel();
    m_rows = static_cast<int>(m_items.count());
    m_tickHidden.clear();
    m_doneRows.clear();
    endResetModel();
}

QItemSelection TCheckListModel::rowsSelection(const TSelection& rows) const
{
    QItemSelection ranges;
    const auto count = static_cast<size_t>(m_rows);
    for (size_t i = 0; i < rows.size();) {
        const size_t first = rows[i];
        size_t end = first + 1;
        for (++i; i < rows.size() && rows[i] == end; ++i)
            ++end;
        if (first >= count)
            break;
        end = std::min(end, count);
        ranges.append(QItemSelectionRange(
            index(static_cast<int>(first), 0), index(static_cast<int>(end) - 1, columnCount() - 1)));
    }
    return ranges;
}

void TCheckListModel::refillRows(const TSelection& rows)
{
    for (const QItemSelectionRange& range : rowsSelection(rows))
        emit dataChanged(range.topLeft(), range.bottomRight());
}

void TCheckListModel::refillRow(size_t row)
{
    refillRows({ row });
}

size_t TCheckListModel::appendItem(TCheckItem item)
{
    if (m_rows != static_cast<int>(m_items.count())) {
        // The items changed without the model being told: all rows again.
        const size_t position = ::appendItem(m_items, std::move(item)).front();
        refillAll();
        return position;
    }
    beginInsertRows(QModelIndex(), m_rows, m_rows);
    const size_t position = ::appendItem(m_items, std::move(item)).front();
    ++m_rows;
    if (!m_tickHidden.empty())
        m_tickHidden.push_back(false);
    endInsertRows();
    return position;
}

void TCheckListModel::eraseItem(size_t row)
{
    if (row >= static_cast<size_t>(m_rows) || row >= m_items.count())
        return;
    const int at = static_cast<int>(row);
    beginRemoveRows(QModelIndex(), at, at);
    eraseSelected(m_items, { row });
    --m_rows;
    if (row < m_tickHidden.size())
        m_tickHidden.erase(m_tickHidden.begin() + static_cast<std::ptrdiff_t>(row));
    endRemoveRows();
}

void TCheckListModel::hideTicks()
{
    m_tickHidden.assign(static_cast<size_t>(m_rows), true);
    if (m_rows > 0)
        emit dataChanged(index(0, StatusColumn), index(m_rows - 1, StatusColumn), { Qt::CheckStateRole });
}

void TCheckListModel::showTick(size_t row)
{
    if (row < m_tickHidden.size())
        m_tickHidden[row] = false;
    m_doneRows.push_back(row);
}

void TCheckListModel::refillDoneRows()
{
    if (m_doneRows.empty())
        return;
    std::sort(m_doneRows.begin(), m_doneRows.end());
    m_doneRows.erase(std::unique(m_doneRows.begin(), m_doneRows.end()), m_doneRows.end());
    refillRows(m_doneRows);
    m_doneRows.clear();
}

int TCheckListModel::rowOfId(const std::string& id, size_t hint) const
{
    if (const TCheckItem* item = m_items.at(hint); item && item->id() == id)
        return static_cast<int>(hint);
    const std::optional<size_t> row = m_items.indexOfId(id);
    return row ? static_cast<int>(*row) : -1;
}

void TCheckListModel::showTicks()
{
    m_tickHidden.clear();
    m_doneRows.clear();
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}
