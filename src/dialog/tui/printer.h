// Printing the error report from the terminal: plain text in pages of
// character cells (text_pages.h), sent to the default CUPS destination
// (cups_printer.cpp). A module built without CUPS has no printer
// (no_printer.cpp): every print fails as it does without a destination, and
// the dialog says the report could not be printed.
#ifndef ORNEH_DIALOG_TUI_PRINTER_H
#define ORNEH_DIALOG_TUI_PRINTER_H

#include <string>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {
namespace tui {

// Prints job as documentName (1252). kFailed when there is no default
// destination or the job or its document cannot be started or sent.
PrintResult PrintToDefaultDestination(const std::string& documentName, PrintJob& job);

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
