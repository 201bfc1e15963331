// Reporting end to end through a scripted dialog: which exception of the
// chain is reported, the text, caption and buttons shown, the number line,
// what reaches the log and the text files, the release of the chain, and
// reports that run out of memory at any allocation.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "OrnEhMemory.h"
#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "core/basis_info.h"
#include "core/scripted_dialog.h"
#include "core/table_exception.h"
#include "module/language.h"
#include "platform/alloc.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace at = orneh::platform::alloctest;
using orneh::dialog::Answer;
using zkqtest::ScriptedDialog;
using zkqtest::TableException;

namespace {

const HWND kNoWindow = nullptr;

// String id of the language module, read straight from the module.
std::string LangString(unsigned int id) {
    char buffer[512] = "";
    EXPECT_GE(OrnResLoadString(orneh::module::LanguageModule(), id, buffer, sizeof buffer), 0) << id;
    return buffer;
}

bool Before(const std::string& text, const char* first, const char* second) {
    std::string::size_type a = text.find(first);
    std::string::size_type b = text.find(second);
    return a != std::string::npos && b != std::string::npos && a < b;
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        zkqtest::ClearChain();
        ::unlink(m_log.path().c_str());
    }
    void TearDown() override { zkqtest::ClearChain(); }

    std::string LogText() const { return zkqtest::ReadFile(m_log.path()); }
    bool Logged() const { return zkqtest::FileExists(m_log.path()); }

    zkqtest::TempDir m_dir;
    zkqtest::ScopedStandardLog m_log{m_dir.path(), "report.log"};
    ScriptedDialog m_dialog;
};

// --- Chain reports ----------------------------------------------------------

TEST_F(ReportTest, EmptyChainShowsAndWritesNothing) {
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), 1);
    const std::string file = m_dir.file("report.txt");
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), nullptr, 0, nullptr), 1);
    EXPECT_TRUE(m_dialog.shown().empty());
    EXPECT_FALSE(Logged());
    EXPECT_FALSE(zkqtest::FileExists(file));
}

TEST_F(ReportTest, OldestExceptionWithATextIsReportedWithTheWholeChain) {
    OrnEhParam params(1);
    params.SetParam("a.txt");
    new TableException("oldest", 1200, params, 1);
    new TableException("middle", 0, 1);
    auto* newest = new TableException("newest", 0, 1);
    const int destroyedBefore = TableException::destroyed;

    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);

    ASSERT_EQ(m_dialog.shown().size(), 1u);
    const zkqtest::ShownDialog& shown = m_dialog.last();
    EXPECT_EQ(shown.message, "#01200\r\n\r\nDatei a.txt fehlt");
    EXPECT_EQ(shown.caption, "Hinweis");
    EXPECT_EQ(shown.buttonType, 0u);
    EXPECT_EQ(shown.iconType, 0x30u);
    // Details: the chain oldest first, without the message line.
    ASSERT_TRUE(shown.hasDetails);
    EXPECT_TRUE(Before(shown.details, "Fehlerursache: oldest", "Fehlerursache: middle"));
    EXPECT_TRUE(Before(shown.details, "Fehlerursache: middle", "Fehlerursache: newest"));
    EXPECT_EQ(shown.details.find("Fehlermeldung"), std::string::npos);
    // Log: one entry with the formatted text, the chain newest first.
    const std::string log = LogText();
    EXPECT_NE(log.find("   Fehlermeldung: Datei a.txt fehlt\r\n"), std::string::npos) << log;
    EXPECT_TRUE(Before(log, "Fehlerursache: newest", "Fehlerursache: middle"));
    EXPECT_TRUE(Before(log, "Fehlerursache: middle", "Fehlerursache: oldest"));
    // Released: the two older ones are gone, the newest waits for the next append.
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    EXPECT_EQ(TableException::destroyed - destroyedBefore, 2);
    EXPECT_EQ(newest->GetPrev(), nullptr);
}

TEST_F(ReportTest, WithoutAnyTextNumberTheNewestIsReported) {
    new TableException("oldest", 0, 1);
    auto* newest = new TableException("newest", 0, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00000\r\n\r\n" + LangString(IDS_EH_DEFAULT_TEXT));
    EXPECT_EQ(newest->captionLookups, 1);
}

TEST_F(ReportTest, CaughtExceptionOutsideTheChainIsBroughtInFirst) {
    new TableException("older", 1200, 1);
    auto* caught = new TableException("caught", 1310, 0);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, caught, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#01310\r\n\r\nNur gezeigt");
    EXPECT_TRUE(Before(m_dialog.last().details, "Fehlerursache: older", "Fehlerursache: caught"));
    // It went with the chain and is the one whose deletion waits.
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    EXPECT_EQ(caught->freedTexts, 1);
}

TEST_F(ReportTest, NumberNotInTheTableShowsTheDefaultsWithAnOkButton) {
    auto* e = new TableException("c", 9999, 1);
    EXPECT_EQ(e->ReportErrorOnObject(kNoWindow, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    const std::string defaultText = LangString(IDS_EH_DEFAULT_TEXT);
    EXPECT_EQ(m_dialog.last().message, "#09999\r\n\r\n" + defaultText);
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_DEFAULT_CAPTION));
    EXPECT_EQ(m_dialog.last().buttonType, 0u);
    EXPECT_EQ(m_dialog.last().iconType, 0u);
    EXPECT_TRUE(m_dialog.last().buttons[0].visible);
    EXPECT_FALSE(m_dialog.last().buttons[1].visible);
    EXPECT_NE(LogText().find("Fehlermeldung: " + defaultText + "\r\n"), std::string::npos);
    // Neither lookup gave anything, so nothing went back to the hooks.
    EXPECT_EQ(e->lastCaptionNo, 0u);
    EXPECT_EQ(e->freedTexts, 0);
    EXPECT_EQ(e->freedCaptions, 0);
}

TEST_F(ReportTest, EmptyTextShowsTheDefaultTextWithTheTablesCaption) {
    new TableException("c", 1600, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#01600\r\n\r\n" + LangString(IDS_EH_DEFAULT_TEXT));
    EXPECT_EQ(m_dialog.last().caption, "Hinweis");
    EXPECT_EQ(m_dialog.last().iconType, 0x30u);
}

TEST_F(ReportTest, ShowAndLogFlagsOfTheRecordDecide) {
    struct Case {
        unsigned long textNo;
        bool shown;
        bool logged;
    };
    for (const Case& c : {Case{1300, false, true}, Case{1310, true, false}, Case{1320, false, false}}) {
        SCOPED_TRACE(c.textNo);
        ::unlink(m_log.path().c_str());
        const std::size_t shownBefore = m_dialog.shown().size();
        new TableException("c", c.textNo, 1);
        m_dialog.Answer(Answer::kCancel);
        long result = OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr);
        EXPECT_EQ(m_dialog.shown().size() - shownBefore, c.shown ? 1u : 0u);
        EXPECT_EQ(result, c.shown ? IDCANCEL : 1);
        EXPECT_EQ(Logged(), c.logged);
        EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    }
}

TEST_F(ReportTest, CaptionComesFromTheExceptionBeforeTheTableAndTheArgumentBeforeBoth) {
    m_dialog.Answer(Answer::kButton2);
    auto* tableCaption = new TableException("c", 1400, 1);
    EXPECT_EQ(tableCaption->ReportErrorOnObject(kNoWindow, nullptr), IDNO);
    EXPECT_EQ(m_dialog.last().caption, "Hinweis");
    EXPECT_EQ(tableCaption->lastCaptionNo, 5u);

    auto* ownCaption = new TableException("c", 1400, 1, 7);
    EXPECT_EQ(ownCaption->ReportErrorOnObject(kNoWindow, nullptr), IDNO);
    EXPECT_EQ(m_dialog.last().caption, "Achtung");
    EXPECT_EQ(ownCaption->lastCaptionNo, 7u);
    EXPECT_EQ(ownCaption->freedCaptions, 1);

    auto* argument = new TableException("c", 1400, 1, 7);
    EXPECT_EQ(argument->ReportErrorOnObject(kNoWindow, "Eigene"), IDNO);
    EXPECT_EQ(m_dialog.last().caption, "Eigene");
    EXPECT_EQ(argument->captionLookups, 0);
    EXPECT_EQ(argument->freedCaptions, 0);
    // The table's message type still holds: Yes/No with a question mark.
    EXPECT_EQ(m_dialog.last().buttonType, 4u);
    EXPECT_EQ(m_dialog.last().iconType, 0x20u);
}

TEST_F(ReportTest, ResultIsTheButtonOfTheTablesMessageType) {
    struct Case {
        Answer answer;
        long result;
    };
    for (const Case& c : {Case{Answer::kButton1, IDABORT}, Case{Answer::kButton2, IDRETRY},
                          Case{Answer::kButton3, IDIGNORE}, Case{Answer::kCancel, IDCANCEL}}) {
        new TableException("c", 1700, 1);
        m_dialog.Answer(c.answer);
        EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), c.result);
        EXPECT_EQ(m_dialog.last().buttonType, 2u);
        EXPECT_EQ(m_dialog.last().iconType, 0x10u);
    }
    // A type above 5 ends with 0 from every button.
    new TableException("c", 1800, 1);
    m_dialog.Answer(Answer::kButton3);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), 0);
}

TEST_F(ReportTest, MfcReportErrorReportsTheChain) {
    CException* caught = new TableException("c", 1310, 1);
    EXPECT_EQ(caught->ReportError(MB_OK, 0), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#01310\r\n\r\nNur gezeigt");
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
}

TEST_F(ReportTest, ForeignExceptionIsWrappedAndReportedWithItsMessage) {
    const int destroyedBefore = zkqtest::ForeignException::destroyed;
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, new zkqtest::ForeignException(TRUE), 1, nullptr), IDOK);
    EXPECT_EQ(zkqtest::ForeignException::destroyed - destroyedBefore, 1);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().caption, "MFC");
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\nforeign failure");
    EXPECT_NE(LogText().find("MFC-Fehlertext: foreign failure"), std::string::npos);
}

TEST_F(ReportTest, MemoryExceptionIsRepresentedByTheReserveWithoutAllocating) {
    CMemoryException caught(TRUE);  // on the stack: deleting it would be caught by ASan
    zkqtest::ForeignException foreign(FALSE);
    {
        zkqtest::AllocFailureReset reset;
        at::FailAll();
        // A foreign exception needs a wrapper, which cannot be had now ...
        OrnEhBasis::Log(nullptr, &foreign, 0);
        EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
        // ... the reserve exception needs nothing.
        OrnEhBasis::Log(nullptr, &caught, 1);
    }
    OrnEhBasis* last = OrnEhBasis::GetLast();
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->IsKindOf(RUNTIME_CLASS(OrnEhMemory)));
    EXPECT_EQ(last->GetPrev(), nullptr);

    ::unlink(m_log.path().c_str());
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, &caught, 1, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\n" + LangString(IDS_EH_MEMORY_TEXT));
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_MEMORY_CAPTION));
    const std::string log = LogText();
    EXPECT_NE(log.find("Fehlerart: OrnEhMemory\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Speichers:0\r\n"), std::string::npos) << log;
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
}

// --- The number line of ShowError --------------------------------------------

TEST_F(ReportTest, ShowErrorPutsTheNumberLineBeforeTheText) {
    struct Case {
        unsigned long textNo;
        const char* application;
        const char* firstLine;
    };
    for (const Case& c : {Case{42, "", "#00042"}, Case{1234567, "", "#1234567"},
                          Case{0, "", "#00000"}, Case{42, "AB", "#AB00042"},
                          Case{42, "ABCD", "#AB00042"}}) {
        TableException e("c", c.textNo, 0);
        e.application = c.application;
        m_dialog.Answer(Answer::kButton2);
        EXPECT_EQ(e.ShowError(kNoWindow, "Der Text", "Titel", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
        EXPECT_EQ(m_dialog.last().message, std::string(c.firstLine) + "\r\n\r\nDer Text");
        EXPECT_EQ(m_dialog.last().caption, "Titel");
        EXPECT_EQ(m_dialog.last().iconType, 0x20u);
    }
    TableException e("c", 7, 0);
    e.ShowError(kNoWindow, nullptr, nullptr, MB_OK);
    EXPECT_EQ(m_dialog.last().message, "#00007\r\n\r\n");
    EXPECT_EQ(m_dialog.last().caption, "");
}

TEST_F(ReportTest, ShowErrorLeavesTheChainAlone) {
    auto* e = new TableException("c", 42, 1);
    e->ShowError(kNoWindow, "t", "c", MB_OK);
    EXPECT_EQ(OrnEhBasis::GetLast(), e);
    EXPECT_FALSE(Logged());
    // The dialog's details are the chain all the same.
    EXPECT_NE(m_dialog.last().details.find("Fehlertextnummer: 42"), std::string::npos);
}

// --- Reports into a text file ---------------------------------------------------

TEST_F(ReportTest, FileReportOfTheChainAppendsCaptionAndText) {
    const std::string file = m_dir.file("chain.txt");
    OrnEhParam params(1);
    params.SetParam("a.txt");
    new TableException("c", 1200, params, 1);
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), nullptr, 0, nullptr), 1);
    new TableException("c", 1200, params, 1);
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), nullptr, 0, "Eigene"), 1);
    EXPECT_EQ(zkqtest::ReadFile(file),
              "Hinweis\r\nDatei a.txt fehlt\r\n\r\nEigene\r\nDatei a.txt fehlt\r\n\r\n");
    EXPECT_TRUE(m_dialog.shown().empty());
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);

    // Show flag 0: logged, nothing appended.
    new TableException("c", 1300, 1);
    const std::string quiet = m_dir.file("quiet.txt");
    EXPECT_EQ(OrnEhBasis::Report(quiet.c_str(), nullptr, 0, nullptr), 1);
    EXPECT_FALSE(zkqtest::FileExists(quiet));
    EXPECT_NE(LogText().find("Fehlermeldung: Nur protokolliert"), std::string::npos);

    // A dialog's button cannot be the result of a file report.
    new TableException("c", 1700, 1);
    EXPECT_EQ(OrnEhBasis::Report(quiet.c_str(), nullptr, 0, nullptr), 1);
}

TEST_F(ReportTest, FileReportWithoutATextLeavesTheDefaultsInTheFile) {
    const std::string file = m_dir.file("default.txt");
    new TableException("c", 9999, 1);
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), nullptr, 0, nullptr), 1);
    const std::string defaultText = LangString(IDS_EH_DEFAULT_TEXT);
    EXPECT_EQ(zkqtest::ReadFile(file),
              LangString(IDS_EH_DEFAULT_CAPTION) + "\r\n" + defaultText + "\r\n\r\n");
    EXPECT_NE(LogText().find("Fehlermeldung: " + defaultText), std::string::npos);
}

TEST_F(ReportTest, FileTextReportAppendsExactlyCaptionTextAndLineBreaks) {
    const std::string file = m_dir.file("text.txt");
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), "x", "Fehler", nullptr, 0, 0), 1);
    EXPECT_EQ(zkqtest::ReadFile(file), "Fehler\r\nx\r\n\r\n");
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), "y", nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(zkqtest::ReadFile(file), "Fehler\r\nx\r\n\r\n\r\ny\r\n\r\n");
    EXPECT_FALSE(Logged());

    OrnEhParam params(1);
    params.SetParam("a.txt");
    const std::string formatted = m_dir.file("formatted.txt");
    EXPECT_EQ(OrnEhBasis::Report(formatted.c_str(), "Datei %1 fehlt", "Fehler", params, nullptr, 0, 1), 1);
    EXPECT_EQ(zkqtest::ReadFile(formatted), "Fehler\r\nDatei a.txt fehlt\r\n\r\n");
    EXPECT_NE(LogText().find("Fehlermeldung: Datei a.txt fehlt\r\n"), std::string::npos);

    // No file name, or a file that cannot be opened: nothing, and still 1.
    EXPECT_EQ(OrnEhBasis::Report(static_cast<const char*>(nullptr), "x", "c", nullptr, 0, 0), 1);
    const std::string unreachable = m_dir.file("missing/dir/text.txt");
    EXPECT_EQ(OrnEhBasis::Report(unreachable.c_str(), "x", "c", nullptr, 0, 0), 1);
    EXPECT_FALSE(zkqtest::FileExists(unreachable));
    EXPECT_TRUE(m_dialog.shown().empty());
}

// --- Text reports in the dialog -------------------------------------------------

TEST_F(ReportTest, DialogTextReportShowsTheTextWithoutNumberLine) {
    OrnEhParam params(1);
    params.SetParam("a.txt");
    auto* adopted = new TableException("adopted", 0, 0);
    m_dialog.Answer(Answer::kButton2);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, "Datei %1 fehlt", "Titel", MB_YESNO | MB_ICONQUESTION,
                                 params, adopted, 0, 1),
              IDNO);
    EXPECT_EQ(m_dialog.last().message, "Datei a.txt fehlt");
    EXPECT_EQ(m_dialog.last().caption, "Titel");
    EXPECT_NE(m_dialog.last().details.find("Fehlerursache: adopted"), std::string::npos);
    const std::string log = LogText();
    EXPECT_NE(log.find("Fehlermeldung: Datei a.txt fehlt\r\n"), std::string::npos);
    EXPECT_NE(log.find("Fehlerursache: adopted"), std::string::npos);
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);

    // Without a list the text stays as it is, inserts and all; no log.
    ::unlink(m_log.path().c_str());
    m_dialog.Answer(Answer::kButton1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, "Datei %1 fehlt", nullptr, MB_OK, nullptr, 0, 0), IDOK);
    EXPECT_EQ(m_dialog.last().message, "Datei %1 fehlt");
    EXPECT_EQ(m_dialog.last().caption, "");
    EXPECT_FALSE(Logged());
}

// --- Allocation failures ------------------------------------------------------

TEST_F(ReportTest, ReportSurvivesEveryAllocationFailure) {
    zkqtest::AllocFailureReset reset;
    m_dialog.Answer(Answer::kButton2);
    long result = 0;
    auto report = [&] {
        OrnEhParam params(1);
        params.SetParam("a.txt");
        auto* e = new TableException("c", 1700, params, 1);
        if (!e) return;
        const bool linked = OrnEhBasis::GetLast() == e;
        result = e->ReportErrorOnObject(kNoWindow, nullptr);
        zkqtest::ClearChain();
        // An exception that no chain took is its owner's to delete.
        if (!linked) delete e;
    };
    report();  // the first report sets up what every later one reuses
    ASSERT_EQ(result, IDRETRY);
    const long before = at::Outstanding();
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            result = -1;
            report();
        },
        [&](int failedAt) {
            EXPECT_EQ(at::Outstanding(), before) << failedAt;
            EXPECT_TRUE(result == -1 || result == IDOK || result == IDRETRY) << failedAt << ": " << result;
            EXPECT_EQ(OrnEhBasis::GetLast(), nullptr) << failedAt;
        });
    EXPECT_GT(allocations, 5);
    EXPECT_EQ(at::Outstanding(), before);
}

}  // namespace
