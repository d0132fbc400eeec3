#include "store/check_item.h"

#include "store/core_texts.h"
#include "store/item_extension.h"
#include "vantrel_version.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace {

// Scrambling constants: F..F+15 and B-15..B stay within 'a'..'z'.
constexpr uint8_t ScrambleMask = 0x9;
constexpr uint8_t ScrambleForward = 'd';
constexpr uint8_t ScrambleBackward = 'w';

} // namespace

void TCheckItem::setPassword(const std::string& plain)
{
    password = plain;
    scrambledPassword() = scramblePassword(plain);
}

std::string TCheckItem::id() const
{
    return extension(ExtKey::Id);
}

bool TCheckItem::comparesText() const
{
    return extension(ExtKey::CompareText) == "1";
}

std::string TCheckItem::extension(std::string_view key) const
{
    // Most items hold nothing but their id; spare the parse when the key cannot be there.
    if (extensionText().empty())
        return {};
    return TItemExtension(extensionText()).value(key);
}

void TCheckItem::setExtension(std::string_view key, std::string_view value)
{
    TItemExtension ext(extensionText());
    if (value.empty())
        ext.remove(key);
    else
        ext.set(key, value);
    extensionText() = ext.text();
}

TCheckItem newItemTemplate()
{
    TCheckItem item;
    item.title() = sjisText(TCoreText::NewItemTitle);
    item.checkUri() = "http://";
    item.userAgent() = std::string("Vantrel/") + VantrelVersion;
    item.timeout = 60000;
    return item;
}

void resetCheckResults(TCheckItem& item)
{
    item.status = ItemStatus::Initial;
    item.lastCheckTime = 0;
    item.lastModifiedTime = 0;
    item.contentLengthValue = 0;
    item.bodySize = 0;
    item.lastCheck().clear();
    item.response().clear();
    item.lastModified().clear();
    item.contentLength().clear();
    item.metaTagValue().clear();
    item.content.clear();
    item.failureReason.clear();
}

void applyItemEdit(const TCheckItem& before, TCheckItem& edited)
{
    if (edited.checkUri().empty())
        edited.check = 0;
    if (edited.metaTagName().empty())
        edited.compareMetaTag = 0;
    if (edited.proxyServer().empty())
        edited.useProxy = 0;

    if (!edited.useGet)
        edited.content.clear();

    if (edited.metaTagName() != before.metaTagName())
        edited.metaTagValue().clear();

    auto on = [](uint8_t v) { return v != 0; };
    // A text kept under other rules differs from the next one for that reason alone, so the first check under
    // new rules only records, as after a change of the other comparisons.
    const TItemExtension ruleKeysBefore(before.extensionText());
    const TItemExtension ruleKeysAfter(edited.extensionText());
    bool rulesChanged = false;
    for (std::string_view key : { ExtKey::CompareText, ExtKey::Region, ExtKey::Ignore, ExtKey::IgnoreNumbers })
        rulesChanged = rulesChanged || ruleKeysBefore.values(key) != ruleKeysAfter.values(key);
    if (edited.checkUri() != before.checkUri()) {
        resetCheckResults(edited);
    } else if (on(edited.compareLastModified) != on(before.compareLastModified)
        || on(edited.compareContentLength) != on(before.compareContentLength)
        || on(edited.compareSize) != on(before.compareSize) || on(edited.compareContent) != on(before.compareContent)
        || on(edited.compareMetaTag) != on(before.compareMetaTag) || edited.metaTagName() != before.metaTagName()
        || rulesChanged) {
        edited.status = ItemStatus::Initial;
    }

    if (!edited.ownParameters) {
        edited.useProxy = 0;
        edited.useAuthentication = 0;
        edited.proxyServer().clear();
        edited.proxyPort().clear();
        edited.userId().clear();
        edited.scrambledPassword().clear();
        edited.password.clear();
        edited.userAgent().clear();
    }
}

std::string scramblePassword(const std::string& password)
{
    const size_t n = password.size();
    std::string out(2 * n, '\0');
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<uint8_t>(password[i]);
        out[2 * i] = static_cast<char>(((b >> 4) ^ ScrambleMask) + ScrambleForward);
        out[2 * n - 1 - 2 * i] = static_cast<char>(ScrambleBackward - ((b & 0x0F) ^ ScrambleMask));
    }
    return out;
}

std::string unscramblePassword(const std::string& scrambled)
{
    const size_t m = scrambled.size();
    std::string out(m / 2, '\0');
    for (size_t i = 0; i < m / 2; ++i) {
        const auto hi = static_cast<uint8_t>((static_cast<uint8_t>(scrambled[2 * i]) - ScrambleForward) ^ ScrambleMask);
        const auto lo
            = static_cast<uint8_t>((ScrambleBackward - static_cast<uint8_t>(scrambled[m - 1 - 2 * i])) ^ ScrambleMask);
        out[i] = static_cast<char>(static_cast<uint8_t>((hi << 4) | (lo & 0x0F)));
    }
    return out;
}

namespace {

// A fresh id when the item has none or one that `taken` already holds; records the id in `taken`.
void giveUniqueId(TCheckItem& item, std::unordered_set<std::string>& taken)
{
    std::string id = item.id();
    if (id.empty() || taken.contains(id)) {
        do
            id = newItemId();
        while (taken.contains(id));
        item.setExtension(ExtKey::Id, id);
    }
    taken.insert(std::move(id));
}

} // namespace

void TCheckItems::append(const TCheckItem& item)
{
    append(TCheckItem(item));
}

void TCheckItems::append(TCheckItem&& item)
{
    // Items made here or read from exchange files come without an id, so the list is searched only for an
    // item that brings one.
    const std::string id = item.id();
    if (id.empty() || indexOfId(id))
        item.setExtension(ExtKey::Id, newItemId());
    m_items.push_back(std::move(item));
}

void TCheckItems::appendAll(const TCheckItems& other)
{
    const auto copy = other.m_items;
    std::unordered_set<std::string> taken;
    taken.reserve(m_items.size() + copy.size());
    for (const TCheckItem& item : m_items)
        taken.insert(item.id());
    const size_t first = m_items.size();
    m_items.insert(m_items.end(), copy.begin(), copy.end());
    for (size_t i = first; i < m_items.size(); ++i)
        giveUniqueId(m_items[i], taken);
}

void TCheckItems::replaceAll(const TCheckItems& other)
{
    if (&other != this)
        m_items = other.m_items;
    ensureIds();
}

void TCheckItems::ensureIds()
{
    std::unordered_set<std::string> taken;
    taken.reserve(m_items.size());
    for (TCheckItem& item : m_items)
        giveUniqueId(item, taken);
}

std::optional<size_t> TCheckItems::indexOfId(std::string_view id) const
{
    if (id.empty())
        return std::nullopt;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id() == id)
            return i;
    }
    return std::nullopt;
}

void TCheckItems::eraseAt(size_t index)
{
    if (index < m_items.size())
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
}

void TCheckItems::clear() noexcept
{
    m_items.clear();
}

void TCheckItems::reserve(size_t n)
{
    m_items.reserve(n);
}

void TCheckItems::retainWhere(const std::function<bool(size_t)>& keep)
{
    std::vector<TCheckItem> kept;
    kept.reserve(m_items.size());
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (keep(i))
            kept.push_back(std::move(m_items[i]));
    }
    m_items = std::move(kept);
}

void TCheckItems::swap(size_t i, size_t j)
{
    if (i < m_items.size() && j < m_items.size() && i != j)
        std::swap(m_items[i], m_items[j]);
}

void TCheckItems::setStatus(const std::vector<size_t>& indices, ItemStatus status)
{
    for (size_t index : indices) {
        if (index < m_items.size())
            m_items[index].status = status;
    }
}

size_t TCheckItems::markForExport(bool exportAll, const std::function<bool(size_t)>& selected)
{
    size_t marked = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        const bool mark = exportAll || (selected && selected(i));
        m_items[i].exportMark = mark ? 1 : 0;
        marked += mark ? 1 : 0;
    }
    return marked;
}

namespace {

const std::string& sortText(const TCheckItem& item, SortKey key)
{
    switch (key) {
    case SortKey::Title:
        return item.title();
    case SortKey::CheckUri:
        return item.checkUri();
    case SortKey::MetaTag:
        return item.metaTagValue();
    default:
        return item.response();
    }
}

} // namespace

void TCheckItems::sortBy(uint8_t key, const TTextCompare& compare)
{
    if (key < static_cast<uint8_t>(SortKey::Status) || key > static_cast<uint8_t>(SortKey::Response))
        return;
    const bool ascending = key != sortKey || !sortAscending;
    sortKey = key;
    sortAscending = ascending;
    if (m_items.empty())
        return;

    const auto sortKeyOf = static_cast<SortKey>(key);
    auto order = [&](const TCheckItem& a, const TCheckItem& b) -> int {
        switch (sortKeyOf) {
        case SortKey::Status: {
            const int x = static_cast<int>(a.status);
            const int y = static_cast<int>(b.status);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        case SortKey::LastModified:
            return a.lastModifiedTime < b.lastModifiedTime ? -1 : (a.lastModifiedTime > b.lastModifiedTime ? 1 : 0);
        default: {
            const std::string& x = sortText(a, sortKeyOf);
            const std::string& y = sortText(b, sortKeyOf);
            if (x.empty() || y.empty())
                return x.empty() == y.empty() ? 0 : (x.empty() ? -1 : 1);
            const int c = compare(x, y);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        }
    };
    // Stable, so that equal keys keep the order the user saw before.
    std::stable_sort(m_items.begin(), m_items.end(), [&](const TCheckItem& a, const TCheckItem& b) {
        const int c = order(a, b);
        return ascending ? c < 0 : c > 0;
    });
}
