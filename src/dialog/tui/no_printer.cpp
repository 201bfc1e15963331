// The terminal module built without CUPS: there is no printer to send to.
#include "dialog/tui/printer.h"

namespace orneh {
namespace dialog {
namespace tui {

PrintResult PrintToDefaultDestination(const std::string&, PrintJob&, std::string&) { return PrintResult::kNoPrinter; }

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
