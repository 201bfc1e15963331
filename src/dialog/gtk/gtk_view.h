// The error dialog as a GTK window: every control of the window model at
// the place the template gives it (a fixed layout), kept in step with the
// model; the user's actions go into a queue that the reporting thread reads.
#ifndef ORNEH_DIALOG_GTK_GTK_VIEW_H
#define ORNEH_DIALOG_GTK_GTK_VIEW_H

#include <gtk/gtk.h>

#include <memory>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {
namespace gtk {

// The metrics of the desktop's interface font in pixels, which stands in for
// the template's dialog font. GTK thread only.
dialog::FontMetrics DesktopFontMetrics();

// Null when the window cannot be made.
std::unique_ptr<dialog::View> OpenGtkView(const dialog::WindowModel& model, GtkWindow* parent);

// The GTK window of a view made by OpenGtkView (null for none).
GtkWindow* WindowOf(dialog::View* view);

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

#endif
