#include "character/message_view.h"

#include <algorithm>

void TMessageViewItem::revealOne() noexcept
{
    if (revealed >= text.size())
        return;
    const bool lead = isSjisLeadByte(static_cast<unsigned char>(text[revealed]));
    revealed += lead ? 2 : 1;
    if (revealed > text.size())
        revealed = text.size();
}

void TMessageView::queueText(std::string_view text, const ITextMeasure& measure)
{
    if (text.empty())
        text = " ";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        do {
            const bool lead = isSjisLeadByte(static_cast<unsigned char>(text[end]));
            end += lead && end + 1 < text.size() ? 2 : 1;
        } while (end < text.size() && measure.measure(text.substr(start, end - start)).width < TextWidth);
        TMessageViewItem item;
        item.text.assign(text.substr(start, end - start));
        const TTextExtent extent = measure.measure(item.text);
        item.width = extent.width;
        item.height = extent.height;
        m_queued.push_back(std::move(item));
        start = end;
    }
}

void TMessageView::moveNextIn()
{
    if (m_queued.empty())
        return;
    TMessageViewItem item = std::move(m_queued.front());
    m_queued.pop_front();
    m_filledHeight += item.height;
    if (TextHeight < m_filledHeight) {
        m_shown.clear();
        m_filledHeight = item.height;
    }
    item.revealed = 0;
    m_shown.push_back(std::move(item));
}

bool TMessageView::quiet() const noexcept
{
    return m_queued.empty() && std::all_of(m_shown.begin(), m_shown.end(), [](const TMessageViewItem& item) {
        return item.fullyRevealed();
    });
}

void TMessageView::revealLast() noexcept
{
    if (!m_shown.empty())
        m_shown.back().revealAll();
}

void TMessageView::clear() noexcept
{
    m_shown.clear();
    m_queued.clear();
    m_filledHeight = 0;
}
