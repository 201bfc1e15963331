#include "dialog/tui/text_pages.h"

#include "dialog/text_measure.h"
#include "dialog/tui/text_cells.h"

namespace orneh {
namespace dialog {
namespace tui {

int TextPages::MeasureWrapped(const std::string& line, int width) {
    return static_cast<int>(WrapText(ExpandTabs(line), width).size());
}

void TextPages::StartPage() { m_lines.assign(static_cast<std::size_t>(m_rows), std::string()); }

void TextPages::Draw(const std::string& line, const Rect& where) {
    int row = where.top;
    for (const std::string& piece : WrapText(ExpandTabs(line), m_columns)) {
        // What runs past the page's end is cut, as a device cuts it.
        if (row < 0 || row >= static_cast<int>(m_lines.size())) break;
        m_lines[static_cast<std::size_t>(row++)] = piece;
    }
}

bool TextPages::EndPage() {
    std::size_t used = m_lines.size();
    while (used > 0 && m_lines[used - 1].empty()) --used;
    if (m_pages > 0) m_document += '\f';
    for (std::size_t i = 0; i < used; ++i) m_document += m_lines[i] + "\n";
    ++m_pages;
    m_lines.clear();
    return true;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
