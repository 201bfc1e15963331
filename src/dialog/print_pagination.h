// Laying the report out on printer pages: lines split at CR LF, each
// word-wrapped to the page width and placed below the previous one; a line
// that does not fit starts a new page.
#ifndef ORNEH_DIALOG_PRINT_PAGINATION_H
#define ORNEH_DIALOG_PRINT_PAGINATION_H

#include <string>
#include <vector>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {

// Every piece that a CR LF ends is a line, empty or not; the rest after the
// last CR LF is a line only when it is not empty.
std::vector<std::string> SplitReportLines(const std::string& text);

// Prints lines on device from StartPage to EndDoc, with the margins in
// device units. The page is ended only when something was drawn on it.
void PrintReportLines(const std::vector<std::string>& lines, PrintDevice& device, int topMargin,
                      int bottomMargin);

}  // namespace dialog
}  // namespace orneh

#endif
