// Printing through GTK's print operation: the desktop's printers and
// "Print to File" (PDF). The report's pagination measures with Pango in
// points; the pages it lays out are drawn with Pango and Cairo.
#ifndef ORNEH_DIALOG_GTK_GTK_PRINT_H
#define ORNEH_DIALOG_GTK_GTK_PRINT_H

#include <gtk/gtk.h>

#include <string>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {
namespace gtk {

// GTK thread only.
dialog::PrintResult PrintWithGtk(GtkWindow* parent, const std::string& documentName, dialog::PrintJob& job,
                                 std::string& why);

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

#endif
