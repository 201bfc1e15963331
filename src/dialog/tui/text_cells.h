// Text as the terminal dialog handles it: code page 1252 inside (one byte is
// one character cell), wide characters at the curses boundary, and the
// layout of an editable text in a field of fixed width.
#ifndef ORNEH_DIALOG_TUI_TEXT_CELLS_H
#define ORNEH_DIALOG_TUI_TEXT_CELLS_H

#include <cstddef>
#include <string>
#include <vector>

namespace orneh {
namespace dialog {
namespace tui {

std::wstring ToWide(const std::string& text1252);
// The 1252 byte of a typed character; '?' for what 1252 cannot hold.
char To1252(wchar_t c);

// A button or frame label: the text shown (mnemonic marks removed, "&&" is
// "&"), the index of the mnemonic character in it (-1: none) and that
// character in lower case (0: none).
struct Label {
    std::string text;
    int mnemonicAt = -1;
    char mnemonic = 0;
};
Label ParseLabel(const std::string& label);
char LowerCase1252(char c);

// Tabs expanded to the next multiple of eight within each line.
std::string ExpandTabs(const std::string& text);

// One visual line of an edited text: the bytes [begin, end) of it; lines end
// at a CR LF (not included) or where the field is full.
struct Row {
    std::size_t begin;
    std::size_t end;
};
std::vector<Row> LayOutRows(const std::string& text, int width);
// The row holding offset, and the column in it.
void Locate(const std::vector<Row>& rows, std::size_t offset, int& row, int& column);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
