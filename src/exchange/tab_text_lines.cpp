#include "exchange/tab_text_lines.h"

#include <cstring>

TTabTextLine::TTabTextLine(std::string_view line)
{
    for (size_t from = 0;;) {
        const size_t tab = line.find('\t', from);
        if (tab == std::string_view::npos) {
            m_columns.push_back(line.substr(from));
            return;
        }
        m_columns.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
}

std::string TTabTextLine::text(size_t index) const
{
    const std::string_view bytes = column(index);
    return std::string(bytes.substr(0, bytes.find('\0')));
}

TTabTextLines::TTabTextLines(std::string text)
    : m_text(std::move(text))
{
    size_t begin = 0;
    for (size_t i = 0; i < m_text.size(); ++i) {
        const char c = m_text[i];
        if (c != '\n' && c != '\r')
            continue;
        m_lines.emplace_back(begin, i);
        if (c == '\r' && i + 1 < m_text.size() && m_text[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    m_lines.emplace_back(begin, m_text.size());
}

std::string_view TTabTextLines::lineText(size_t index) const noexcept
{
    if (index >= m_lines.size())
        return {};
    const auto [begin, end] = m_lines[index];
    return std::string_view(m_text).substr(begin, end - begin);
}
