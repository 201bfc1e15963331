// The window model of the error dialog: what a backend draws. The dialog's
// logic builds it from the language module's dialog template and changes it
// while the dialog runs; a backend only renders it and reports what the user
// does (see dialog/backend.h).
//
// Texts are code page 1252 with CR LF line ends, as everywhere inside the
// library; a backend converts them at its display boundary. Button and frame
// labels carry Windows mnemonics ("&Save": Alt+S; "&&" is a literal '&').
// Rectangles are pixels in the client area (for the terminal, character
// cells: the backend chooses the unit through the font metrics it reports).
#ifndef ORNEH_DIALOG_WINDOW_MODEL_H
#define ORNEH_DIALOG_WINDOW_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

namespace orneh {
namespace dialog {

// Window and control style bits of the template that the model keeps.
enum : std::uint32_t {
    kStyleTabStop = 0x00010000,   // WS_TABSTOP
    kStyleVScroll = 0x00200000,   // WS_VSCROLL: the logic removes it from 1704 when the message fits
    kStyleBorder = 0x00800000,    // WS_BORDER
    kEditMultiLine = 0x0004,      // ES_MULTILINE
    kEditReadOnly = 0x0800,       // ES_READONLY
    kEditWantReturn = 0x1000,     // ES_WANTRETURN: Enter is a line break, not the first button
    kDialogCentre = 0x0800        // DS_CENTER (window style of the template)
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Average character width and character height of the dialog font, in the
// backend's unit. Dialog units become units as Windows maps them: x * width / 4,
// y * height / 8, rounded to the nearest.
struct FontMetrics {
    int averageWidth = 0;
    int height = 0;
};

enum class ControlKind {
    kPushButton,     // BUTTON, BS_PUSHBUTTON
    kDefPushButton,  // BUTTON, BS_DEFPUSHBUTTON
    kGroupBox,       // BUTTON, BS_GROUPBOX: a frame with a label
    kEdit,           // EDIT
    kIcon,           // STATIC, SS_ICON: where the message type's icon goes
    kStatic,         // other STATIC: a label
    kOther           // a class no backend needs to know: drawn as nothing
};

struct Control {
    unsigned int id = 0;
    ControlKind kind = ControlKind::kOther;
    std::uint32_t style = 0;  // the template's style bits (see above)
    std::string text;         // label, or an edit control's contents
    Rect rect;
    bool visible = true;
    bool enabled = true;
};

// The message type of message-box style bits as a row of the backends' icon
// tables: 0 none (or a type without an icon), 1 error, 2 question, 3 warning,
// 4 information.
constexpr unsigned int kIconRows = 5;
inline unsigned int IconRow(unsigned int style) {
    const unsigned int row = (style & 0xF0) >> 4;
    return row < kIconRows ? row : 0;
}

struct WindowModel {
    std::string caption;
    std::string fontName;          // the template's font ("MS Shell Dlg")
    int fontPoints = 0;            // its size in points
    FontMetrics font;              // as the backend measured it
    std::uint32_t style = 0;       // the template's window style
    int width = 0, height = 0;     // client area; the height follows the details area
    unsigned int iconType = 0;     // MB_ICONERROR, MB_ICONWARNING, ... (0: no icon)
    unsigned int buttonType = 0;   // MB_OK ... MB_RETRYCANCEL: the answer buttons are set up for it
    unsigned int focus = 0;        // id of the control with the keyboard focus (0: none)
    std::vector<Control> controls; // template order, which is the tab order

    const Control* Find(unsigned int id) const {
        for (const Control& c : controls) {
            if (c.id == id) return &c;
        }
        return nullptr;
    }
    Control* Find(unsigned int id) {
        return const_cast<Control*>(static_cast<const WindowModel*>(this)->Find(id));
    }
};

}  // namespace dialog
}  // namespace orneh

#endif
