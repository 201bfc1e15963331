// Printing the report on pages, with a fake printer: lines of height 10 on
// pages 30 high; each '~' in a line stands for one more wrapped line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "dialog/print_pagination.h"

namespace {

using orneh::dialog::PrintReportLines;
using orneh::dialog::SplitReportLines;

// Records the calls as one line: S start page, E end page, E! a failed
// end, D(text@top-bottom) draw, X end of document, A abort.
class FakePrinter : public orneh::dialog::PrintDevice {
public:
    int failEndPage = 0;  // the nth EndPage fails (0: none)
    std::string calls;

    int LineHeight() override { return 10; }
    int PageWidth() override { return 100; }
    int PageHeight() override { return 30; }
    int MeasureWrapped(const std::string& line, int width) override {
        EXPECT_EQ(width, 100);
        return 10 * (1 + static_cast<int>(std::count(line.begin(), line.end(), '~')));
    }
    void StartPage() override { calls += "S "; }
    bool EndPage() override {
        const bool ok = ++m_ends != failEndPage;
        calls += ok ? "E " : "E! ";
        return ok;
    }
    void Draw(const std::string& line, const orneh::dialog::Rect& r) override {
        calls += "D(" + line + "@" + std::to_string(r.top) + "-" + std::to_string(r.bottom) + ") ";
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.right, 100);
    }
    void EndDoc() override { calls += "X"; }
    void AbortDoc() override { calls += "A"; }

private:
    int m_ends = 0;
};

std::string Print(const std::string& text, int failEndPage = 0) {
    FakePrinter printer;
    printer.failEndPage = failEndPage;
    PrintReportLines(SplitReportLines(text), printer, 0, 0);
    return printer.calls;
}

// Only CR LF ends a line; the final line ending and an empty text give no line (see Pages).
TEST(PaginationTest, Lines) {
    EXPECT_EQ(SplitReportLines("\r\n\r\nx\ny"), std::vector<std::string>({"", "", "x\ny"}));
}

TEST(PaginationTest, Pages) {
    const struct { const char* what; std::string text; int failEndPage; std::string calls; } rows[] = {
        {"a final CR LF prints no extra line", "a\r\nb\r\n", 0, "S D(a@0-10) D(b@10-20) E X"},
        {"an empty line takes one line height", "a\r\n\r\nb", 0, "S D(a@0-10) D(b@20-30) E X"},
        {"a line ending at the bottom fits", "a\r\nb\r\nc", 0, "S D(a@0-10) D(b@10-20) D(c@20-30) E X"},
        {"the next line starts a page", "a\r\nb\r\nc\r\nd", 0,
         "S D(a@0-10) D(b@10-20) D(c@20-30) E S D(d@0-10) E X"},
        {"a wrapped line that does not fit moves whole", "a\r\nb~~", 0, "S D(a@0-10) E S D(b~~@0-30) E X"},
        {"an empty last line that does not fit: a page without EndPage", "a\r\nb\r\nc\r\n\r\n", 0,
         "S D(a@0-10) D(b@10-20) D(c@20-30) E S X"},
        {"a line taller than a page is drawn on its own page", "a\r\nb~~~~\r\nc", 0,
         "S D(a@0-10) E S D(b~~~~@0-50) E S D(c@0-10) E X"},
        {"a first line taller than a page leaves no blank page", "b~~~~", 0, "S D(b~~~~@0-50) E X"},
        {"a page that cannot be ended stops the document", "a\r\nb\r\nc\r\nd\r\ne", 1,
         "S D(a@0-10) D(b@10-20) D(c@20-30) E! A"},
        {"the last page that cannot be ended", "a", 1, "S D(a@0-10) E! A"},
        {"nothing to print", "", 0, "S X"},
    };
    for (const auto& row : rows) EXPECT_EQ(Print(row.text, row.failEndPage), row.calls) << row.what;
}

}  // namespace
