#pragma once

#include "store/check_item.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Positions of selected items in list order, ascending, each once.
using TSelection = std::vector<size_t>;

// The commands that change the item list, each on the items and the selection it was given; each
// returns the selection the list has afterwards. Positions beyond the list are ignored.

// Removes the selected items; the others keep their order.
TSelection eraseSelected(TCheckItems& items, const TSelection& selected);
// The first selected item changes place with its neighbour and is then the only one selected; at the end of
// the list, or with nothing selected, nothing changes.
TSelection moveSelectedUp(TCheckItems& items, const TSelection& selected);
TSelection moveSelectedDown(TCheckItems& items, const TSelection& selected);
TSelection selectUpdated(const TCheckItems& items);
TSelection invertSelection(size_t count, const TSelection& selected);
TSelection setSelectedStatus(TCheckItems& items, const TSelection& selected, ItemStatus status);
// Sorts by `key` as TCheckItems::sortBy does; the rows are rebuilt, so nothing stays selected.
TSelection sortItems(TCheckItems& items, SortKey key, const TTextCompare& compare);
// Appends the item and selects it alone.
TSelection appendItem(TCheckItems& items, TCheckItem item);

// A new item from the default item with the first line of pasted text (Shift_JIS) as its URL; none when
// that line is empty.
std::optional<TCheckItem> itemFromPastedText(const std::string& text, const TCheckItem& defaultItem);
