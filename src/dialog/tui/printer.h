// Printing the error report from the terminal: plain text in pages of
// character cells (text_pages.h), sent to the default CUPS destination
// (cups_printer.cpp). A module built without CUPS has no printer
// (no_printer.cpp): it finds no printer set up, and the dialog says so.
#ifndef ORNEH_DIALOG_TUI_PRINTER_H
#define ORNEH_DIALOG_TUI_PRINTER_H

#include <string>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {
namespace tui {

// Prints job as documentName (1252): kPrinted with the destination's name
// in where, kNoPrinter without a default destination, kFailed (with the
// reason in where) when the job or its document cannot be started or sent.
PrintResult PrintToDefaultDestination(const std::string& documentName, PrintJob& job, std::string& where);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
