// The report as plain text for a printer: laid out by the report's own
// pagination in pages of character cells.
#ifndef ORNEH_DIALOG_TUI_TEXT_PAGES_H
#define ORNEH_DIALOG_TUI_TEXT_PAGES_H

#include <string>
#include <vector>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {
namespace tui {

// The text device: a page of fixed cells; the document collects the pages
// (form feed between them), 1252.
class TextPages : public PrintDevice {
public:
    TextPages(int columns, int rows) : m_columns(columns), m_rows(rows) {}

    int LineHeight() override { return 1; }
    int PageWidth() override { return m_columns; }
    int PageHeight() override { return m_rows; }
    int MeasureWrapped(const std::string& line, int width) override;
    void StartPage() override;
    bool EndPage() override;
    void Draw(const std::string& line, const Rect& where) override;
    void EndDoc() override { m_ended = true; }
    void AbortDoc() override { m_ended = false; }

    bool ended() const { return m_ended; }
    const std::string& document() const { return m_document; }

private:
    int m_columns;
    int m_rows;
    std::vector<std::string> m_lines;  // the page being drawn
    std::string m_document;
    int m_pages = 0;
    bool m_ended = false;
};

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
