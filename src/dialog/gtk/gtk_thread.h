// Where GTK runs. GTK is not thread-safe: every GTK call of the dialog module
// is made on the one thread that runs GTK's default main context, and never
// on a second thread at the same time.
//
// - A thread that holds the default context (the application's main loop
//   calling back into a report, or the thread that initialised GTK and
//   reports before its loop runs) does the work itself.
// - When the application initialised GTK, a report from any other thread
//   posts the work to the default context and waits for the application's
//   loop to run it; when the loop has not taken it within kStartBound, the
//   work is not done (the caller goes headless) and one line on stderr says
//   why.
// - When the module initialised GTK, it has a thread of its own. That thread
//   takes the default context only while a dialog of the module is open or
//   work is waiting, and only when nobody else holds it; between dialogs it
//   waits on a queue of its own, so an application that starts its own GTK
//   main loop later gets the context (and then runs the dialogs itself).
//   GDK attaches its event source and frame clock to the default context,
//   so no other context could run a window.
#ifndef ORNEH_DIALOG_GTK_GTK_THREAD_H
#define ORNEH_DIALOG_GTK_GTK_THREAD_H

#include <functional>
#include <string>

namespace orneh {
namespace dialog {
namespace gtk {

// How long a report waits for the GTK thread to start its work.
constexpr int kStartBoundSeconds = 5;

// Initialises GTK unless the application has; false with why when no
// display can be opened. Called once.
bool StartGtk(std::string& why);

// True when the calling thread may run GTK now (it holds the default
// context, or can take it as the application's GTK thread).
bool OnGtkThread();

// Runs fn on the GTK thread and returns true when it has run; false when no
// GTK thread took it within the bound (said once on stderr) or the display
// is gone.
bool CallOnGtk(const std::function<void()>& fn);

// Runs fn on the GTK thread later, without waiting (for tearing down a
// window whose GTK thread may not answer now).
void PostToGtk(std::function<void()> fn);

// Lets GTK run on the calling thread (the GTK thread) until ready() is true.
void IterateUntil(const std::function<bool()>& ready);

// A window of the module opens or closes: the module's own thread keeps
// the default context while any is open.
void WindowOpened();
void WindowClosed();

// The X display went away (its connection broke): no GTK work is done any
// more, and every open window is told (see OnDisplayLost).
bool DisplayLost();
// Why the calling thread's last CallOnGtk failed.
const char* LastFailure();
// Called once, on the GTK thread, when the display goes away.
void OnDisplayLost(std::function<void()> tellWindows);

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

#endif
