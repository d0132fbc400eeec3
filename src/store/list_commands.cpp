#include "store/list_commands.h"

#include <utility>

namespace {

// The first selected position that is in the list.
std::optional<size_t> firstSelected(const TCheckItems& items, const TSelection& selected)
{
    for (size_t position : selected) {
        if (position < items.count())
            return position;
    }
    return std::nullopt;
}

} // namespace

TSelection eraseSelected(TCheckItems& items, const TSelection& selected)
{
    std::vector<bool> erased(items.count(), false);
    for (size_t position : selected) {
        if (position < erased.size())
            erased[position] = true;
    }
    items.retainWhere([&erased](size_t i) { return !erased[i]; });
    return {};
}

TSelection moveSelectedUp(TCheckItems& items, const TSelection& selected)
{
    const std::optional<size_t> first = firstSelected(items, selected);
    if (!first || *first == 0)
        return selected;
    items.swap(*first - 1, *first);
    return { *first - 1 };
}

TSelection moveSelectedDown(TCheckItems& items, const TSelection& selected)
{
    const std::optional<size_t> first = firstSelected(items, selected);
    if (!first || *first + 1 >= items.count())
        return selected;
    items.swap(*first, *first + 1);
    return { *first + 1 };
}

TSelection selectUpdated(const TCheckItems& items)
{
    TSelection updated;
    for (size_t i = 0; i < items.count(); ++i) {
        if (items[i].status == ItemStatus::Update)
            updated.push_back(i);
    }
    return updated;
}

TSelection invertSelection(size_t count, const TSelection& selected)
{
    TSelection inverted;
    auto next = selected.begin();
    for (size_t i = 0; i < count; ++i) {
        while (next != selected.end() && *next < i)
            ++next;
        if (next == selected.end() || *next != i)
            inverted.push_back(i);
    }
    return inverted;
}

TSelection setSelectedStatus(TCheckItems& items, const TSelection& selected, ItemStatus status)
{
    items.setStatus(selected, status);
    return selected;
}

TSelection sortItems(TCheckItems& items, SortKey key, const TTextCompare& compare)
{
    items.sortBy(static_cast<uint8_t>(key), compare);
    return {};
}

TSelection appendItem(TCheckItems& items, TCheckItem item)
{
    items.append(std::move(item));
    return { items.count() - 1 };
}

std::optional<TCheckItem> itemFromPastedText(const std::string& text, const TCheckItem& defaultItem)
{
    // CR and LF never occur inside a Shift_JIS character, so the bytes can be cut where they are.
    const std::string firstLine = text.substr(0, text.find_first_of("\r\n"));
    if (firstLine.empty())
        return std::nullopt;
    TCheckItem item = defaultItem;
    item.checkUri() = firstLine;
    return item;
}
