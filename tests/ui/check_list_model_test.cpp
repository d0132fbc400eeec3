#include "ui/check_list_model.h"
#include "ui/menu_images.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

TCheckItem titled(int i)
{
    TCheckItem item = newItemTemplate();
    item.title() = "t" + std::to_string(i);
    return item;
}

TCheckItems fiveItems()
{
    TCheckItems items;
    for (int i = 0; i < 5; ++i)
        items.append(titled(i));
    return items;
}

} // namespace

// The titles, URLs, pictures and ticks are tested through the window's list; these are the other cells.
TEST(CheckListModel, CellsShowTheItemAndOnlyTheFirstHasABox)
{
    TCheckItems items;
    TCheckItem item = newItemTemplate();
    item.lastModified() = "Sun, 06 Nov 1994 08:49:37 GMT";
    item.metaTagValue() = "\x83"
                          "e\x83X\x83g"; // テスト
    item.response() = "200 OK";
    items.append(item);
    TCheckListModel model(items, statusImages());

    struct Case
    {
        int row;
        int column;
        int role;
        QVariant expected;
    };
    const Case cases[] = {
        { 0, 3, Qt::DisplayRole, QStringLiteral("Sun, 06 Nov 1994 08:49:37 GMT") },
        { 0, 4, Qt::DisplayRole, QStringLiteral("テスト") }, { 0, 5, Qt::DisplayRole, QStringLiteral("200 OK") },
        { 0, 1, Qt::CheckStateRole, QVariant() }, { 0, 1, Qt::DecorationRole, QVariant() },
        { 0, 5, Qt::ToolTipRole, QVariant() }, { 1, 1, Qt::DisplayRole, QVariant() }, // past the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << ',' << c.column << " role " << c.role);
        EXPECT_EQ(model.index(c.row, c.column).data(c.role), c.expected);
    }
    EXPECT_TRUE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
}

TEST(CheckListModel, OnlyTheTickCanBeSetAndItIsTheItemsAtOnce)
{
    TCheckItems items = fiveItems();
    TCheckListModel model(items, statusImages());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    struct Case
    {
        int column;
        int role;
        Qt::CheckState state;
        bool taken;
        uint8_t check;
    };
    const Case cases[] = {
        { 0, Qt::CheckStateRole, Qt::Unchecked, true, 0 },
        { 0, Qt::CheckStateRole, Qt::Checked, true, 1 },
        { 1, Qt::CheckStateRole, Qt::Unchecked, false, 1 },
        { 0, Qt::EditRole, Qt::Unchecked, false, 1 },
    };
    for (const Case& c : cases) {
        changed.clear();
        EXPECT_EQ(model.setData(model.index(2, c.column), c.state, c.role), c.taken);
        EXPECT_EQ(items[2].check, c.check);
        EXPECT_EQ(changed.size(), c.taken ? 1 : 0);
    }
    EXPECT_EQ(items[1].check, 1);
}

TEST(CheckListModel, EachChangeReachesTheViewAsOneSignal)
{
    using Rows = std::vector<std::pair<int, int>>; // first and last row of each change, all columns
    struct Case
    {
        const char* name;
        std::function<void(TCheckListModel&, TCheckItems&)> change;
        Rows changed;
        int resets;
        int inserted;
        int removed;
        std::string titles;
    };
    const Case cases[] = {
        { "one row", [](TCheckListModel& m, TCheckItems&) { m.refillRow(3); }, { { 3, 3 } }, 0, 0, 0, "01234" },
        { "runs of rows",
            [](TCheckListModel& m, TCheckItems&) {
                m.refillRows({ 0, 1, 2, 4, 7 });
            },
            { { 0, 2 }, { 4, 4 } }, 0, 0, 0, "01234" },
        { "whole list",
            [](TCheckListModel& m, TCheckItems& i) {
                i.eraseAt(0);
                m.refillAll();
            },
            {}, 1, 0, 0, "1234" },
        { "append", [](TCheckListModel& m, TCheckItems&) { m.appendItem(titled(5)); }, {}, 0, 1, 0, "012345" },
        { "erase", [](TCheckListModel& m, TCheckItems&) { m.eraseItem(1); }, {}, 0, 0, 1, "0234" },
        { "every tick back", [](TCheckListModel& m, TCheckItems&) { m.showTicks(); }, { { 0, 4 } }, 0, 0, 0, "01234" },
        { "rows done wait",
            [](TCheckListModel& m, TCheckItems&) {
                m.showTick(3);
                m.showTick(1);
            },
            {}, 0, 0, 0, "01234" },
        { "rows done shown together",
            [](TCheckListModel& m, TCheckItems&) {
                for (size_t row : { 4u, 1u, 2u, 1u })
                    m.showTick(row);
                m.refillDoneRows();
                m.refillDoneRows();
            },
            { { 1, 2 }, { 4, 4 } }, 0, 0, 0, "01234" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCheckItems items = fiveItems();
        TCheckListModel model(items, statusImages());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

        c.change(model, items);

        Rows rows;
        for (const QList<QVariant>& signal : changed) {
            const auto top = signal[0].value<QModelIndex>();
            const auto bottom = signal[1].value<QModelIndex>();
            EXPECT_EQ(top.column(), 0);
            EXPECT_EQ(bottom.column(), 5);
            rows.emplace_back(top.row(), bottom.row());
        }
        EXPECT_EQ(rows, c.changed);
        EXPECT_EQ(resets.size(), c.resets);
        EXPECT_EQ(inserted.size(), c.inserted);
        EXPECT_EQ(removed.size(), c.removed);
        EXPECT_EQ(model.rowCount(), static_cast<int>(items.count()));
        std::string titles;
        for (int row = 0; row < model.rowCount(); ++row)
            titles += model.index(row, 1).data().toString().mid(1).toStdString();
        EXPECT_EQ(titles, c.titles);
    }
}

TEST(CheckListModel, FindsAnItemByIdWhereverItStandsNow)
{
    TCheckItems items = fiveItems();
    TCheckListModel model(items, statusImages());
    const std::string third = items[2].id();
    items.swap(2, 4);
    const std::tuple<std::string, size_t, int> cases[] = {
        { items[1].id(), 1, 1 }, // where the run took it
        { third, 2, 4 }, // moved since
        { third, 99, 4 }, // a hint past the rows
        { std::string(32, '0'), 0, -1 }, // no item has it
        { std::string(), 0, -1 },
    };
    for (const auto& [id, hint, row] : cases) {
        SCOPED_TRACE(id + " at " + std::to_string(hint));
        EXPECT_EQ(model.rowOfId(id, hint), row);
    }
}
