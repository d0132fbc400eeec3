#pragma once

#include "base/memory.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Result of the last check. Values other than these four may come from a file; they are kept as read.
enum class ItemStatus : uint8_t {
    Initial = 0,
    Normal = 1,
    Update = 2,
    Error = 3,
};

// The fifteen text slots of an item, by index.
enum ItemText : size_t {
    TitleText = 0,
    CheckUriText = 1,
    ViewUriText = 2,
    LastCheckText = 3,
    ResponseText = 4,
    LastModifiedText = 5,
    ContentLengthText = 6,
    MetaTagNameText = 7,
    MetaTagValueText = 8,
    ProxyServerText = 9,
    ProxyPortText = 10,
    UserIdText = 11,
    ScrambledPasswordText = 12,
    UserAgentText = 13,
    ExtensionText = 14, // key=value lines: see item_extension.h
};
inline constexpr size_t ItemTextCount = 15;

// One watched page. A plain value: copies are deep.
// Switches are bytes, 0 off and any other value on, so that a file round trip keeps them exactly.
struct TCheckItem
{
    // Fixed block, in file order.
    ItemStatus status = ItemStatus::Initial;
    int32_t timeout = 0;
    uint8_t check = 1;
    uint8_t getTitle = 0;
    uint8_t useGet = 0;
    uint8_t compareLastModified = 1;
    uint8_t compareContentLength = 1;
    uint8_t compareSize = 0;
    uint8_t compareContent = 0;
    uint8_t compareMetaTag = 0;
    uint8_t ownParameters = 0;
    uint8_t useProxy = 0;
    uint8_t useAuthentication = 0;
    int32_t lastCheckTime = 0;
    int32_t lastModifiedTime = 0;
    int32_t contentLengthValue = 0;
    int32_t bodySize = 0;

    std::array<std::string, ItemTextCount> texts;
    TMemory content;
    std::string password; // plain; never stored, rebuilt from the scrambled slot
    uint8_t exportMark = 0; // not stored
    // Why the last check failed, while the program runs: the client's failure text or the status line of an
    // answer that is itself the failure. Not stored; the next success clears it.
    std::string failureReason;

    std::string& title() { return texts[TitleText]; }
    const std::string& title() const { return texts[TitleText]; }
    std::string& checkUri() { return texts[CheckUriText]; }
    const std::string& checkUri() const { return texts[CheckUriText]; }
    std::string& viewUri() { return texts[ViewUriText]; }
    const std::string& viewUri() const { return texts[ViewUriText]; }
    std::string& lastCheck() { return texts[LastCheckText]; }
    const std::string& lastCheck() const { return texts[LastCheckText]; }
    std::string& response() { return texts[ResponseText]; }
    const std::string& response() const { return texts[ResponseText]; }
    std::string& lastModified() { return texts[LastModifiedText]; }
    const std::string& lastModified() const { return texts[LastModifiedText]; }
    std::string& contentLength() { return texts[ContentLengthText]; }
    const std::string& contentLength() const { return texts[ContentLengthText]; }
    std::string& metaTagName() { return texts[MetaTagNameText]; }
    const std::string& metaTagName() const { return texts[MetaTagNameText]; }
    std::string& metaTagValue() { return texts[MetaTagValueText]; }
    const std::string& metaTagValue() const { return texts[MetaTagValueText]; }
    std::string& proxyServer() { return texts[ProxyServerText]; }
    const std::string& proxyServer() const { return texts[ProxyServerText]; }
    std::string& proxyPort() { return texts[ProxyPortText]; }
    const std::string& proxyPort() const { return texts[ProxyPortText]; }
    std::string& userId() { return texts[UserIdText]; }
    const std::string& userId() const { return texts[UserIdText]; }
    std::string& scrambledPassword() { return texts[ScrambledPasswordText]; }
    const std::string& scrambledPassword() const { return texts[ScrambledPasswordText]; }
    std::string& userAgent() { return texts[UserAgentText]; }
    const std::string& userAgent() const { return texts[UserAgentText]; }

    std::string& extensionText() { return texts[ExtensionText]; }
    const std::string& extensionText() const { return texts[ExtensionText]; }
    // The item's identity: the `id` of its extension text, empty when it has none yet.
    std::string id() const;
    // Decides by the text a reader sees of the page (`compareText=1`).
    bool comparesText() const;
    // One value of the extension text; an empty value removes the key.
    std::string extension(std::string_view key) const;
    void setExtension(std::string_view key, std::string_view value);

    // The URL opened in the browser: viewUri, or checkUri when viewUri is empty.
    const std::string& browseUri() const { return viewUri().empty() ? checkUri() : viewUri(); }

    // Sets the plain password and its stored, scrambled form together.
    void setPassword(const std::string& plain);

    bool operator==(const TCheckItem& other) const = default;
};

// The blank item with title "新規アイテム", checkUri "http://", userAgent "Vantrel/" and the version, timeout 60000.
TCheckItem newItemTemplate();

// Resets what a check found: status, the four numbers, the result texts and the content.
void resetCheckResults(TCheckItem& item);

// The rules that confirming the item dialog applies to the edited item, in their order;
// `before` is the item as it was when the dialog opened.
void applyItemEdit(const TCheckItem& before, TCheckItem& edited);

// Passwords are stored as 2n lower-case letters: high nibbles from the front, low nibbles from the back.
std::string scramblePassword(const std::string& password);
std::string unscramblePassword(const std::string& scrambled);

// The six keys of the list ordering, numbered as the list's columns from 1.
enum class SortKey : uint8_t {
    Status = 1,
    Title = 2,
    CheckUri = 3,
    LastModified = 4, // the stored time number, not the text shown
    MetaTag = 5,
    Response = 6,
};

// Compares two Shift_JIS texts: negative, zero or positive. The user interface supplies a locale-aware one.
using TTextCompare = std::function<int(const std::string&, const std::string&)>;

// The ordered item list with its sort state (the sort state is never stored).
class TCheckItems
{
public:
    size_t count() const noexcept { return m_items.size(); }
    bool empty() const noexcept { return m_items.empty(); }
    // Null when index is at or past the end.
    TCheckItem* at(size_t index) noexcept { return index < m_items.size() ? &m_items[index] : nullptr; }
    const TCheckItem* at(size_t index) const noexcept { return index < m_items.size() ? &m_items[index] : nullptr; }
    TCheckItem& operator[](size_t index) { return m_items[index]; }
    const TCheckItem& operator[](size_t index) const { return m_items[index]; }

    // Every item entering a list gets an id when it has none or brings one the list already holds; the
    // items of one list always have different ids.
    void append(const TCheckItem& item);
    void append(TCheckItem&& item);
    void appendAll(const TCheckItems& other);
    void replaceAll(const TCheckItems& other);
    // Gives an id to each item without one and a fresh one to each repeat; for lists filled through items().
    void ensureIds();
    // The position of the item with this id, if any.
    std::optional<size_t> indexOfId(std::string_view id) const;
    void eraseAt(size_t index);
    void clear() noexcept;
    void reserve(size_t n);
    // Keeps, in order, the items for whose index the predicate is true.
    void retainWhere(const std::function<bool(size_t)>& keep);
    // Exchanges positions i and j; out-of-range positions leave the list unchanged.
    void swap(size_t i, size_t j);
    void setStatus(const std::vector<size_t>& indices, ItemStatus status);
    // exportAll marks every item; otherwise exactly the rows whose index is selected. Returns the marked count.
    size_t markForExport(bool exportAll, const std::function<bool(size_t)>& selected);
    // Orders the list by `key`: ascending when the key differs from the last one or the last sort was
    // descending, else descending. Texts compare with `compare`, an empty text before any other.
    // A key outside 1 to 6 changes nothing.
    void sortBy(uint8_t key, const TTextCompare& compare);

    std::vector<TCheckItem>& items() noexcept { return m_items; }
    const std::vector<TCheckItem>& items() const noexcept { return m_items; }
    auto begin() noexcept { return m_items.begin(); }
    auto end() noexcept { return m_items.end(); }
    auto begin() const noexcept { return m_items.begin(); }
    auto end() const noexcept { return m_items.end(); }

    uint8_t sortKey = 0; // 0 never sorted, 1 to 6 the column last sorted by
    bool sortAscending = true;

private:
    std::vector<TCheckItem> m_items;
};
