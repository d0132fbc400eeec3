#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// A Shift_JIS lead byte starts a two-byte character.
inline bool isSjisLeadByte(unsigned char byte) noexcept
{
    return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
}

struct TTextExtent
{
    int width = 0;
    int height = 0;
};

// The balloon font's measure of a Shift_JIS text, given by the drawing layer.
class ITextMeasure
{
public:
    virtual ~ITextMeasure() = default;
    virtual TTextExtent measure(std::string_view sjis) const = 0;
};

// One line of the balloon: its text, how much of it is shown, and its measured size.
struct TMessageViewItem
{
    size_t revealed = 0; // bytes shown so far
    std::string text;
    int width = 0;
    int height = 0;

    bool fullyRevealed() const noexcept { return revealed >= text.size(); }
    void revealAll() noexcept { revealed = text.size(); }
    // Shows one more character; a double-byte character appears whole.
    void revealOne() noexcept;
    std::string_view shown() const noexcept { return std::string_view(text).substr(0, revealed); }
};

// The speech balloon: the lines shown on the current page, the lines waiting, and the page's filled
// height. Not locked by itself: the film player guards it.
class TMessageView
{
public:
    static constexpr int Width = 320;
    static constexpr int Height = 120;
    static constexpr int Margin = 16;
    static constexpr int TextWidth = Width - 2 * Margin; // 288
    static constexpr int TextHeight = Height - 2 * Margin; // 88

    // Breaks `text` into balloon lines no wider than the text width (the character that reaches the
    // width stays on its line) and queues them; an empty text becomes one space.
    void queueText(std::string_view text, const ITextMeasure& measure);
    // Moves the next waiting line onto the page, starting a new page when it does not fit below.
    void moveNextIn();
    // Every shown line fully revealed (or none shown) and nothing waiting.
    bool quiet() const noexcept;
    void revealLast() noexcept;
    void clear() noexcept;

    const std::vector<TMessageViewItem>& shown() const noexcept { return m_shown; }
    std::vector<TMessageViewItem>& shown() noexcept { return m_shown; }
    const std::deque<TMessageViewItem>& queued() const noexcept { return m_queued; }
    int filledHeight() const noexcept { return m_filledHeight; }

private:
    std::vector<TMessageViewItem> m_shown;
    std::deque<TMessageViewItem> m_queued;
    int m_filledHeight = 0;
};
