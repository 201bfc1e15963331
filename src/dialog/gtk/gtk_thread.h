// Where GTK runs. GTK is not thread-safe: every GTK call of the dialog module
// is made on one thread. When the application has initialised GTK itself,
// that is its main thread, which runs the application's main loop (a report
// from another thread waits until that loop runs the work); otherwise it is
// a thread of the module's own, started on the first dialog and kept for
// the life of the process.
#ifndef ORNEH_DIALOG_GTK_GTK_THREAD_H
#define ORNEH_DIALOG_GTK_GTK_THREAD_H

#include <functional>
#include <string>

namespace orneh {
namespace dialog {
namespace gtk {

// Initialises GTK unless the application has; false with why when no
// display can be opened. Called once.
bool StartGtk(std::string& why);

// True when the calling thread is the GTK thread (then it runs the main
// loop itself while it waits).
bool OnGtkThread();

// Runs fn on the GTK thread and returns when it has run.
void CallOnGtk(const std::function<void()>& fn);

// Lets GTK run on the calling thread (the GTK thread) until ready() is true.
void IterateUntil(const std::function<bool()>& ready);

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

#endif
