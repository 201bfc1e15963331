// Small modal boxes over the dialog: message boxes, questions and the file
// name prompt of saving. Keyboard: Tab moves, Enter presses the focused
// button (in the input line: the first button), Escape cancels, a button's
// mnemonic presses it (with Alt while the input line has the focus), Ctrl+U
// empties the input line.
#ifndef ORNEH_DIALOG_TUI_POPUP_H
#define ORNEH_DIALOG_TUI_POPUP_H

#include <functional>
#include <string>
#include <vector>

namespace orneh {
namespace dialog {
namespace tui {

class TerminalSession;

struct Popup {
    std::string title;                 // 1252
    std::string text;                  // 1252, word-wrapped
    unsigned int iconType = 0;         // MB_ICON* bits: a marker before the text
    std::vector<std::string> buttons;  // labels with mnemonics; at least one
    std::string* field = nullptr;      // a one-line input (1252), edited in place
};

// Shows popup until a button is pressed (its index) or it is cancelled (-1,
// also when a signal ends the dialog). redrawBelow draws what lies under it
// again after the screen was lost (stop and continue, resize).
int RunPopup(TerminalSession& session, const Popup& popup, const std::function<void()>& redrawBelow);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
