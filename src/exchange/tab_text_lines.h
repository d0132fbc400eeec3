#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One line of a text split at every TAB: n TABs give n + 1 columns, none trimmed.
class TTabTextLine
{
public:
    explicit TTabTextLine(std::string_view line);

    size_t count() const noexcept { return m_columns.size(); }
    // The column's bytes as they are; empty past the last column.
    std::string_view column(size_t index) const noexcept
    {
        return index < m_columns.size() ? m_columns[index] : std::string_view();
    }
    // The column as an item text: its bytes up to the first NUL.
    std::string text(size_t index) const;

private:
    std::vector<std::string_view> m_columns;
};

// The lines of a text: LF, CR and CR LF each end a line, and the bytes after the last line end form one more
// line (empty when the text ends with a line end). The lines keep positions only; columns are split on demand.
class TTabTextLines
{
public:
    explicit TTabTextLines(std::string text);
    TTabTextLines(const TTabTextLines&) = delete;
    TTabTextLines& operator=(const TTabTextLines&) = delete;

    size_t count() const noexcept { return m_lines.size(); }
    std::string_view lineText(size_t index) const noexcept;
    TTabTextLine line(size_t index) const { return TTabTextLine(lineText(index)); }

private:
    std::string m_text;
    std::vector<std::pair<size_t, size_t>> m_lines; // begin, end
};
