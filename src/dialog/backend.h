// Dialog backends: what renders the error dialog. The dialog's logic (the
// controls, the buttons and their results, the details area, saving,
// printing, the hand-over) runs once, in OrnEhDialog, on the reporting
// thread; a backend shows the window model and hands back what the user did.
//
// The modal loop, as OrnEhDialog::DoModal drives it:
//
//   metrics = backend.DialogFont(fontName, points)     dialog units -> units
//   view    = backend.Open(model, parent)              null: DoModal gives -1
//   (logic sets the dialog up, measuring with view->MeasureText)
//   loop:  view->Update(model)                         shows the window the first time
//          event = view->WaitEvent()                   blocks until the user acts
//          (logic handles it: may change the model, call backend.MessageBox,
//           ChooseSaveFile or Print with view as the owner, or end the loop)
//   view is destroyed                                  the window goes
//
// Every call comes from the reporting thread, which may be any thread of the
// process; a backend whose toolkit lives on another thread moves the work
// there and waits. Reports of several threads may come at once: a backend
// may show one dialog at a time and let the others wait for their turn.
//
// Plugging in a backend module. A backend that needs a toolkit is a shared
// module of its own, so the library never links the toolkit: it is built
// from this header and installed beside libZKQTRNEH113.so under a fixed name,
// libZKQTRNEH113_gtk.so (ORNEH_DIALOG=gui, sources in dialog/gtk/) or
// libZKQTRNEH113_tui.so (ORNEH_DIALOG=terminal, dialog/tui/). The library
// dlopens it when it is first chosen and never unloads it. The module
// exports, with C linkage,
//
//   orneh::dialog::Backend* ZKQTRNEH113_DialogBackend(unsigned int abiVersion,
//                                                     const orneh::dialog::ModuleTexts* texts,
//                                                     char* why, std::size_t whySize);
//
// which returns the module's backend (it lives as long as the process), or
// null, with a one-line reason in why, when abiVersion is not
// kBackendAbiVersion or the backend cannot work here (no display, no
// terminal). dialog/module_entry.h writes that function once for every
// module. Module and library come from one build: the interface is C++,
// texts are std::string. A module takes every text it shows from the
// library (the window model, the requests, ModuleTexts); it may link the
// language library for its code page table and compile the library's small
// helpers it needs (compat/codepage.cpp, dialog/text_measure.cpp) into
// itself.
#ifndef ORNEH_DIALOG_BACKEND_H
#define ORNEH_DIALOG_BACKEND_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "compat/OrnEhWinTypes.h"
#include "dialog/window_model.h"

namespace orneh {
namespace dialog {

constexpr unsigned int kBackendAbiVersion = 3;

// The texts of a module's own small windows (a message box, a file name
// prompt, the question before a file is replaced), in the dialog's language
// (1252, with mnemonics). Given to the module when it is loaded; a toolkit
// whose own windows bring their own texts may leave them unused.
struct ModuleTexts {
    std::string ok;                 // the first button of the dialog template
    std::string cancel;
    std::string yes;
    std::string no;
    std::string overwriteQuestion;  // follows the file's name
};

// What the user did.
struct Event {
    enum Kind {
        kClick,   // a button was pressed (by mouse, Space, or its mnemonic): id
        kOk,      // Enter outside a field that takes it: the first button (IDOK)
        kCancel,  // Escape, or the window's close button
        kEdited,  // the text of edit control id is now text (1252)
        kFocus,   // the keyboard focus moved to control id (0: none of ours)
        kLost     // the window or its terminal went away (the display closed, the
                  // terminal's input ended): nobody can answer here any more
    };
    Kind kind = kCancel;
    unsigned int id = 0;
    std::string text;
};

// One open dialog window of a backend. Destroying it closes the window.
class View {
public:
    virtual ~View() = default;

    // Makes the window show model (the first call shows it): texts, styles,
    // rectangles, visibility, enabled state, focus, caption and size.
    virtual void Update(const WindowModel& model) = 0;

    // Waits for the user's next action. A window closed from outside answers
    // kCancel; one whose display or terminal went away answers kLost.
    virtual Event WaitEvent() = 0;

    // The height of text word-wrapped in the client width of control id,
    // with the dialog font (what DrawText with DT_CALCRECT | DT_WORDBREAK
    // gives); client receives that control's client area. -1 when unknown.
    virtual int MeasureText(unsigned int id, const std::string& text, Rect& client) = 0;
};

// The save dialog's request. Texts are 1252; the path chosen is the file
// system's bytes.
struct SaveRequest {
    struct Filter {
        std::string name;     // "Text files (*.txt)"
        std::string pattern;  // "*.txt"
    };
    std::string title;
    std::vector<Filter> filters;  // the first one is selected
    std::string defaultExtension; // added to a name typed without one ("txt")
    std::string defaultName;
    std::string directory;        // initial folder; empty: the backend's choice
};

// A printer page as the report's pagination sees it, in device units.
class PrintDevice {
public:
    virtual ~PrintDevice() = default;
    virtual int LineHeight() = 0;  // of the default font, with its external leading
    virtual int PageWidth() = 0;   // printable area
    virtual int PageHeight() = 0;
    // Height of line word-wrapped in width (tabs expanded, no mnemonics).
    virtual int MeasureWrapped(const std::string& line, int width) = 0;
    virtual void StartPage() = 0;
    virtual bool EndPage() = 0;    // false: the page could not be ended
    virtual void Draw(const std::string& line, const Rect& where) = 0;
    virtual void EndDoc() = 0;
    virtual void AbortDoc() = 0;   // after a failed EndPage
};

// The report to print: the backend calls Paginate with its device once it
// has one (on whatever thread it prints); Paginate only measures and draws.
class PrintJob {
public:
    virtual ~PrintJob() = default;
    virtual void Paginate(PrintDevice& device) = 0;
};

enum class PrintResult {
    kPrinted,    // where: the destination's name when the user has not seen it yet
    kCancelled,
    kNoPrinter,  // no printer is set up
    kFailed      // where: the reason, when one is known
};

class Backend {
public:
    virtual ~Backend() = default;

    // The metrics of the dialog font that a template names (face, points).
    virtual FontMetrics DialogFont(const std::string& face, int points) = 0;

    // Creates the dialog window (not shown until the first Update), owned by
    // parent when the backend knows that window (for GTK: a GtkWindow*).
    // Null when no window can be made.
    virtual std::unique_ptr<View> Open(const WindowModel& model, HWND parent) = 0;

    // A modal message box with an OK button; type carries the MB_ICON* bits.
    virtual void MessageBox(View* owner, const std::string& text, const std::string& caption,
                            unsigned int type) = 0;

    // The desktop's save dialog; true with path when the user confirmed
    // (after confirming to overwrite an existing file).
    virtual bool ChooseSaveFile(View* owner, const SaveRequest& request, std::string& path) = 0;

    // Lets the user pick a printer and prints job as document documentName.
    // kFailed when the printer or the document cannot be started; where
    // tells more (see PrintResult), in the system's words (UTF-8).
    virtual PrintResult Print(View* owner, const std::string& documentName, PrintJob& job,
                              std::string& where) = 0;

    // Why the calling thread's last Open gave no window, or why its window
    // went away (kLost); plain words, for a line on stderr.
    virtual std::string Failure() { return "its window could not be opened"; }
};

extern "C" {
typedef Backend* (*BackendEntry)(unsigned int abiVersion, const ModuleTexts* texts, char* why,
                                 std::size_t whySize);
}
constexpr const char* kBackendEntrySymbol = "ZKQTRNEH113_DialogBackend";
constexpr const char* kGuiModuleName = "libZKQTRNEH113_gtk.so";
constexpr const char* kTerminalModuleName = "libZKQTRNEH113_tui.so";

// The backend for the next dialog: the one a test installed, else the one
// ORNEH_DIALOG names ("auto" when unset: graphical when a display is
// reachable and the module loads, else the terminal when the process has a
// controlling terminal, else headless). A choice that cannot be honoured
// gives headless and one line on stderr saying why.
Backend& ChooseBackend();

// Installs backend for every later dialog of the process (null: back to the
// environment's choice). For tests.
void SetBackendForTesting(Backend* backend);

// Writes the dialog to stderr (UTF-8) and answers as ORNEH_DIALOG_ANSWER
// says (a button's number or name, "cancel"), by default with the answer
// that ends the question when nobody is there (see UnattendedAnswer).
Backend& HeadlessBackend();

// The backend to try when failed, a loaded module, could not open its window
// or lost it (the terminal went away, the display closed): the headless one,
// after one line on stderr, so that the report is not lost. Null for any
// other backend.
Backend* FallbackAfterFailedOpen(Backend& failed);

}  // namespace dialog
}  // namespace orneh

#endif
