#include "dialog/print_pagination.h"

namespace orneh {
namespace dialog {

std::vector<std::string> SplitReportLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(text.substr(at, end - at));
    }
    if (at < text.size()) lines.push_back(text.substr(at));
    return lines;
}

void PrintReportLines(const std::vector<std::string>& lines, PrintDevice& device, int topMargin,
                      int bottomMargin) {
    const int lineHeight = device.LineHeight();
    const int pageHeight = device.PageHeight();
    const int pageWidth = device.PageWidth();
    // The rectangle of line starting at top: one line height, or as high as
    // the line word-wrapped in the page width.
    auto measure = [&](const std::string& line, int top) {
        Rect r{0, top, pageWidth, top + lineHeight};
        if (!line.empty()) r.bottom = top + device.MeasureWrapped(line, pageWidth);
        return r;
    };
    device.StartPage();
    int remaining = pageHeight - topMargin;
    bool pageEmpty = true;
    for (const std::string& line : lines) {
        Rect r = measure(line, pageHeight - remaining);
        remaining -= r.Height();
        // A line that does not fit goes to a new page, unless the page holds
        // nothing yet: a line taller than a page is drawn and cut by the device.
        if (remaining < bottomMargin && !pageEmpty) {
            if (!device.EndPage()) {
                device.AbortDoc();
                return;
            }
            device.StartPage();
            remaining = pageHeight - topMargin;
            r = measure(line, topMargin);
            remaining -= r.Height();
            pageEmpty = true;
        }
        if (!line.empty()) {
            device.Draw(line, r);
            pageEmpty = false;
        }
    }
    // A page started for an empty line that did not fit holds nothing: the
    // document ends without it.
    if (!pageEmpty && !device.EndPage()) {
        device.AbortDoc();
        return;
    }
    device.EndDoc();
}

}  // namespace dialog
}  // namespace orneh
