// The error dialog in the terminal: the window model drawn in character
// cells (one cell per dialog-font character: x / 4, y / 8 dialog units) in a
// frame with the caption, centred; a window taller or wider than the
// terminal scrolls so that the focused control stays in view.
//
// Keyboard: Tab and Shift+Tab move the focus; Enter presses the focused
// button, elsewhere the first button (in the comment it breaks the line);
// Space presses the focused button; Escape cancels; a label's mnemonic
// presses its button (with Alt while the comment has the focus); arrows and
// Page keys scroll the message and the details; the comment is edited in
// place; Ctrl+L draws the screen again (as it is every two seconds);
// Ctrl+D, the end of input, leaves the question to the headless dialog.
//
// Thread safety: a view is used by one thread; one view at a time per
// process (the backend serialises).
#ifndef ORNEH_DIALOG_TUI_TERMINAL_VIEW_H
#define ORNEH_DIALOG_TUI_TERMINAL_VIEW_H

#include <curses.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "dialog/backend.h"
#include "dialog/tui/popup.h"
#include "dialog/tui/terminal_session.h"

namespace orneh {
namespace dialog {
namespace tui {

class TerminalView : public View {
public:
    explicit TerminalView(const WindowModel& model);
    ~TerminalView() override;

    bool ok() const { return m_session.ok(); }
    const std::string& why() const { return m_session.why(); }

    void Update(const WindowModel& model) override;
    Event WaitEvent() override;
    int MeasureText(unsigned int id, const std::string& text, Rect& client) override;

    // A popup over the dialog; the dialog is drawn again afterwards.
    int Ask(const Popup& popup);

private:
    struct Edit {
        std::string text;      // what the field holds (1252, CR LF)
        std::size_t caret = 0;
        int top = 0;           // first row shown
    };

    void Draw();
    void DrawControl(const Control& control);
    void DrawEdit(const Control& control, const Rect& area);
    // Where the window shows rect (its rows fitted to the terminal).
    Rect Placed(const Rect& rect) const;
    void FitRows();
    // A text field's text cells in the window, the scroll bar excluded;
    // placed false: as the template lays it out, before fitting.
    Rect TextArea(const Control& control, bool placed = true) const;
    void Key(bool function, wint_t key);
    void EditKey(Edit& edit, const Control& control, bool function, wint_t key);
    void Scroll(const Control& control, int rows);
    void MoveFocus(int step);
    bool Mnemonic(wint_t key);
    bool Focusable(const Control& control) const;
    void Changed(const Control& control, const Edit& edit);

    TerminalSession m_session;
    WindowModel m_given;  // as the dialog gave it
    WindowModel m_model;  // as it fits the terminal's width
    unsigned int m_focus = 0;
    std::map<unsigned int, Edit> m_edits;        // editable fields
    std::map<unsigned int, int> m_scrollTops;    // read-only texts: first row shown
    std::map<unsigned int, std::string> m_shown; // read-only texts as last drawn
    std::deque<Event> m_pending;
    std::vector<int> m_rowMap;  // model row -> window row (its last entry: the window's height)
    WINDOW* m_pad = nullptr;
    int m_padRows = 0, m_padCols = 0;
    int m_viewTop = 0, m_viewLeft = 0;
    unsigned int m_polls = 0;
};

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
