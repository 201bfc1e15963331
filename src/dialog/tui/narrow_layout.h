// The window model laid out again for a terminal narrower than the dialog
// template: controls that reach past the right edge end there (their text
// wraps in the width left), buttons that no longer fit in their row go on in
// rows below it, and everything under such a row moves down.
#ifndef ORNEH_DIALOG_TUI_NARROW_LAYOUT_H
#define ORNEH_DIALOG_TUI_NARROW_LAYOUT_H

#include "dialog/window_model.h"

namespace orneh {
namespace dialog {
namespace tui {

// model as it fits in width cells (model itself when it fits already). The
// height, which tells how much of the window is shown, moves with the rows.
WindowModel FitToWidth(const WindowModel& model, int width);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
