// Drawing helpers shared by the dialog and its popups: 1252 text in a curses
// window, labels with their mnemonic underlined, frames with a title.
#ifndef ORNEH_DIALOG_TUI_DRAW_H
#define ORNEH_DIALOG_TUI_DRAW_H

#include <curses.h>

#include <string>

namespace orneh {
namespace dialog {
namespace tui {

// Colour pairs, set up by SetUpColours (without colours the attributes
// alone tell the parts apart).
enum : short { kFieldPair = 1 };
void SetUpColours();
attr_t FieldAttributes();

// At most width cells of text1252 at (y, x).
void PutText(WINDOW* w, int y, int x, const std::string& text1252, int width);

// "[ label ]" at (y, x) within width cells, the mnemonic underlined; returns
// the cells used.
int PutButton(WINDOW* w, int y, int x, int width, const std::string& label, attr_t attributes);

// A frame from (top, left) to (bottom, right), both inclusive, with title
// (plain text) in its top line.
void PutFrame(WINDOW* w, int top, int left, int bottom, int right, const std::string& title,
              attr_t titleAttributes);

// The marker that stands for a message type's icon ("(X) " for an error),
// or "" for none.
const char* IconMarker(unsigned int iconType);

// Reads a key from w (waiting as w's timeout says): ERR when none came,
// else OK or KEY_CODE_YES as wget_wch gives them. Escape with another key
// right behind it is that key with alt set; Escape alone is 27.
int ReadKey(WINDOW* w, wint_t& key, bool& alt);

// The cells "[ label ]" needs.
int ButtonWidth(const std::string& label);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
