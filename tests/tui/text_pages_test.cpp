// The text that the terminal dialog prints: the report's pagination drawn on
// pages of character cells, pages separated by form feeds.
#include <gtest/gtest.h>

#include "dialog/print_pagination.h"
#include "dialog/tui/text_pages.h"

namespace {

std::string Printed(const std::string& report, int columns, int rows) {
    orneh::dialog::tui::TextPages pages(columns, rows);
    orneh::dialog::PrintReportLines(orneh::dialog::SplitReportLines(report), pages, 0, 0);
    return pages.ended() ? pages.document() : "(not ended)";
}

TEST(TextPagesTest, Layout) {
    // Empty lines keep their row; a wrapped line takes two rows; the fourth
    // row does not fit on a page of three and starts the next page.
    EXPECT_EQ("one\n\ntwo\n\fthree four\nfive\n", Printed("one\r\n\r\ntwo\r\nthree four five\r\n", 10, 3));
    // Rows left empty at a page's end are not sent; tabs become blanks.
    EXPECT_EQ("a       b\n", Printed("a\tb\r\n", 20, 5));
}

}  // namespace
