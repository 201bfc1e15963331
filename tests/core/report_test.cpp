// Error texts and reporting: the base hooks that find text and caption
// records in the tables of a resource module (damaged tables included, never
// read beyond their resource), filling the inserts, GetErrorMessage; reports
// end to end through a scripted dialog (which exception of the chain is
// reported, the text, caption and buttons shown, the number line, what
// reaches the log and the text files, the release of the chain, memory
// running out).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <unistd.h>

#include "OrnEhBasis.h"
#include "OrnEhLogFile.h"
#include "OrnEhMemory.h"
#include "OrnEhParam.h"
#include "OrnLangIds.h"
#include "support/scripted_dialog.h"
#include "base/alloc.h"
#include "core/basis_info.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace at = orneh::base::alloctest;
using Answer = zkqtest::ScriptedDialog::Reply;
using zkqtest::LangString;

namespace {

// An application-style exception whose texts come from text table 210 and
// caption table 211 of the test resource module (data/tables.rc). It records
// what its hooks looked up and handed back.
class TableException : public OrnEhBasis {
public:
    TableException(const char* cause, unsigned long errorTextNo, int push, unsigned long captionNo = 0)
        : OrnEhBasis("tables.cpp", "TableClass", "Lookup", cause, 0, errorTextNo, captionNo, nullptr, 0, 0, push) {}
    TableException(const char* cause, unsigned long errorTextNo, const OrnEhParam& params, int push)
        : OrnEhBasis("tables.cpp", "TableClass", "Lookup", cause, 0, errorTextNo, params, 0, nullptr, 0, 0, push) {}
    ~TableException() override { CheckBeforeDelete(); ++destroyed; }

    using OrnEhBasis::FormatErrorText;
    using OrnEhBasis::GetErrorTextInfo;
    using OrnEhBasis::ShowError;

    const char* GetResourceModulname() const override { return moduleName.c_str(); }
    unsigned long GetResIdForTextInfo() const override { return 210; }
    unsigned long GetResIdForCaption() const override { return 211; }
    void* GetResourceEntry(unsigned long resId, HINSTANCE& module) const override {
        void* entry = OrnEhBasis::GetResourceEntry(resId, module);
        if (resId == 210) lastTextTable = entry;
        return entry;
    }
    char* GetCaptionText(void* entry, unsigned long captionNo) const override {
        ++captionLookups;
        lastCaptionNo = captionNo;
        return OrnEhBasis::GetCaptionText(entry, captionNo);
    }
    void FreeErrorText(char*) const override { ++freedTexts; }
    void FreeCaptionText(char*) const override { ++freedCaptions; }
    void GetApplication(char* buffer, unsigned long size) const override {
        if (buffer && size > 0) std::snprintf(buffer, size, "%s", application.c_str());
    }

    std::string moduleName = ZKQ_CORE_TABLES;
    std::string application;
    mutable void* lastTextTable = nullptr;
    mutable unsigned long lastCaptionNo = 0;
    mutable int captionLookups = 0, freedTexts = 0, freedCaptions = 0;
    static inline int destroyed = 0;
};

class ErrorTextsTest : public zkqtest::EmptyChainTest {
protected:
    void TearDown() override { OrnResFreeModule(m_module), EmptyChainTest::TearDown(); }
    void* Entry(unsigned long resId) { return m_probe.GetResourceEntry(resId, m_module); }

    HINSTANCE m_module = OrnResLoadModule(ZKQ_CORE_TABLES);
    TableException m_probe{"probe", 0, 0};
};

TEST_F(ErrorTextsTest, RecordLookup) {
    ASSERT_NE(m_module, nullptr) << ZKQ_CORE_TABLES;
    HINSTANCE none = nullptr;
    EXPECT_EQ(m_probe.GetResourceEntry(200, none), nullptr);
    EXPECT_EQ(Entry(0), nullptr);
    // Behind the empty resource 240 lies the next entry's header, whose first
    // word is that entry's data size: it must not be read as a record.
    std::size_t nextSize = 0;
    ASSERT_NE(OrnResFind(m_module, ORN_RT_RCDATA, 241, &nextSize), nullptr);
    // A table of the application's own, outside any module, is read up to its
    // end mark; numbers are little-endian, the flags two signed bytes.
    unsigned char own[] = {1, 2, 3, 4, 'x', 0, 7, 0, 0, 0, 0x34, 0x12, 0, 0, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0};
    // Without a text the lookup fails and leaves the outputs as they were.
    const struct { void* entry; unsigned long textNo; const char* text = nullptr;
                   unsigned long captionNo = 0xBBBB, type = 0xAAAA; short show = 88, log = 77; } rows[] = {
        {Entry(200), 1200, "Datei %1 fehlt", 5, 0x30, 1, 1}, {Entry(200), 1201}, {Entry(200), 0}, {nullptr, 1200},
        {Entry(210), 1900, "Falscher Einschub %1!d!", 5, 0x30, 1, 1},  // behind nine records
        {own, 0x04030201, "x", 7, 0x1234, -1, 2},
        {Entry(220), 1200},  // the end mark first
        {Entry(230), 1, "eins", 0, 0, 1, 1}, {Entry(230), 2},  // no end mark
        {Entry(231), 1},  // a text without its NUL
        {Entry(232), 1},  // a record cut short
        {Entry(240), nextSize},
    };
    for (const auto& row : rows) {
        unsigned long type = 0xAAAA, captionNo = 0xBBBB;
        short log = 77, show = 88;
        const char* text = m_probe.GetErrorTextInfo(row.entry, row.textNo, type, captionNo, log, show);
        EXPECT_STREQ(text, row.text) << row.textNo;
        EXPECT_TRUE(captionNo == row.captionNo && type == row.type && show == row.show && log == row.log) << row.textNo;
        EXPECT_TRUE(row.entry != own || text == reinterpret_cast<char*>(own) + 4);  // in place, not a copy
    }
    const struct { void* entry; unsigned long captionNo; const char* caption; } captions[] = {
        {Entry(201), 5, "Hinweis"}, {Entry(201), 7, "Achtung"}, {Entry(201), 6, nullptr},
        {Entry(201), 0, nullptr},   {nullptr, 5, nullptr},       {Entry(220), 1200, nullptr},
        {Entry(233), 5, "f\xFCnf"}, {Entry(233), 6, nullptr},    // no end mark
        {Entry(234), 5, nullptr},   {Entry(240), nextSize, nullptr},  // no NUL; empty
    };
    for (const auto& c : captions) {
        EXPECT_STREQ(m_probe.GetCaptionText(c.entry, c.captionNo), c.caption) << c.captionNo;
    }
}

TEST_F(ErrorTextsTest, FormatErrorText) {
    // The exception keeps its own copy of the list, which outlives the caller's.
    auto* callers = new OrnEhParam(2);
    callers->SetParam("a.txt");
    callers->SetParam(42ul);
    TableException withList("c", 1200, *callers, 0);
    delete callers;
    const char* const text = "%2: Datei %1 fehlt";
    const char* formatted = withList.FormatErrorText(text);
    EXPECT_STREQ(formatted, "42: Datei a.txt fehlt");
    OrnEhDeleteString(formatted);
    // Without a list, with an insert beyond the list or without a text, the
    // text itself comes back.
    const char* const beyond = "%3 fehlt";
    EXPECT_EQ(TableException("c", 1200, 0).FormatErrorText(text), text);
    EXPECT_EQ(withList.FormatErrorText(beyond), beyond);
    EXPECT_EQ(withList.FormatErrorText(nullptr), nullptr);
}

TEST_F(ErrorTextsTest, ErrorMessage) {
    OrnEhParam params(1);
    params.SetParam("a.txt");
    TableException asking("c", 1310, 0);  // not in the chain: the chain answers
    EXPECT_FALSE(asking.GetErrorMessage(nullptr, 0, nullptr));  // an empty chain
    // written: the bytes the buffer then begins with (terminator included).
    const struct { unsigned long textNo; unsigned int maxLength; int result; std::string written;
                   const char* module = ZKQ_CORE_TABLES; } rows[] = {
        {1500, 10, TRUE, std::string("abcdefghi", 10)}, {1500, 0, TRUE, ""},  // a text of 30 characters
        {1500, 30, TRUE, std::string("abcdefghijklmnopqrstuvwxyz012", 30)},
        {1500, 31, TRUE, std::string("abcdefghijklmnopqrstuvwxyz0123", 31)},
        {1200, 40, TRUE, std::string("Datei a.txt fehlt", 18)},
        {0, 40, FALSE, ""},  // only exceptions without a text number
        {9999, 40, FALSE, ""}, {1600, 40, FALSE, ""},  // none, empty
        {1200, 40, FALSE, "", "/nonexistent/tables.res"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.textNo) + "/" + std::to_string(row.maxLength));
        zkqtest::ClearChain();
        new TableException("oldest", row.textNo ? 1320 : 0, 1);  // hidden by a newer number
        auto* e = new TableException("c", row.textNo, params, 1);
        e->moduleName = row.module;
        new TableException("newest", 0, 1);
        std::string buffer(40, 'X');
        EXPECT_EQ(static_cast<CException&>(asking).GetErrorMessage(&buffer[0], row.maxLength, nullptr), row.result);
        EXPECT_EQ(buffer, row.written + std::string(40 - row.written.size(), 'X'));
        // What the lookup gave went back, and the module is gone again.
        EXPECT_EQ(e->freedTexts, row.textNo ? 1 : 0);
        EXPECT_FALSE(e->lastTextTable && OrnResEntryExtent(e->lastTextTable, nullptr));
    }
}

// --- Reports ------------------------------------------------------------------

const HWND kNoWindow = nullptr;

bool Before(const std::string& text, const std::string& first, const std::string& second) {
    const auto a = text.find(first), b = text.find(second);
    return a != std::string::npos && b != std::string::npos && a < b;
}

class ReportTest : public zkqtest::EmptyChainTest {
protected:
    std::string LogText() const { return zkqtest::ReadFile(m_log.path()); }
    bool Logged() const { return zkqtest::FileExists(m_log.path()); }
    long ReportChain() { return OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr); }
    std::string Shown() const { return m_dialog.shown().empty() ? "(none)" : m_dialog.last().Summary(); }

    zkqtest::TempDir m_dir;
    zkqtest::ScopedStandardLog m_log{m_dir.path(), "report.log"};
    zkqtest::ScriptedDialog m_dialog;
};

TEST_F(ReportTest, EmptyChain) {
    const std::string file = m_dir.file("report.txt");
    EXPECT_EQ(ReportChain(), 1);
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), nullptr, 0, nullptr), 1);
    EXPECT_EQ(Shown(), "(none)");
    EXPECT_FALSE(Logged() || zkqtest::FileExists(file));
}

TEST_F(ReportTest, NewestNumberedException) {
    OrnEhParam params(1);
    params.SetParam("a.txt");
    new TableException("oldest", 1200, params, 1);
    new TableException("middle", 0, 1);
    new TableException("newest", 0, 1);
    EXPECT_EQ(ReportChain(), IDOK);
    EXPECT_EQ(Shown(), "Hinweis|#01200\r\n\r\nDatei a.txt fehlt|0|48");
    // Details: the chain oldest first, no message line, no indentation.
    const std::string& all = m_dialog.last().details;
    const std::string details = all.substr(all.find("\r\n") + 2);
    EXPECT_EQ(details.rfind("\r\nAnwendung: zkqtest\r\n\r\nFehlerursache: oldest\r\n", 0), 0u) << details;
    EXPECT_TRUE(Before(details, "Fehlerursache: middle", "Fehlerursache: newest"));
    EXPECT_EQ(details.find("Fehlermeldung"), std::string::npos);
    EXPECT_EQ(details.find("\r\n "), std::string::npos);
    // Log: the entry with the formatted text and all three records.
    EXPECT_TRUE(Before(LogText(), "   Fehlermeldung: Datei a.txt fehlt\r\n", "Fehlerursache: oldest"));
}

TEST_F(ReportTest, CaughtExceptionOutsideTheChain) {
    new TableException("older", 1200, 1);
    auto* caught = new TableException("caught", 1310, 0);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, caught, 0, nullptr), IDOK);
    EXPECT_EQ(Shown(), "Hinweis|#01310\r\n\r\nNur gezeigt|0|16");
    EXPECT_TRUE(Before(m_dialog.last().details, "Fehlerursache: older", "Fehlerursache: caught"));
    EXPECT_EQ(caught->freedTexts, 1);  // it went with the chain and waits for the next append
}

// The show and log flags of the reported text record, and the defaults
// where there is none.
// shown: the dialog's summary, logged: the log entry's message; null for none.
struct FlagRow { const char* name; unsigned long textNo; long result; const char *shown, *logged; };
void PrintTo(const FlagRow& row, std::ostream* out) { *out << row.name; }

// text with {caption} and {text} replaced by the default caption and text.
std::string WithDefaults(std::string text) {
    for (const auto& [mark, id] : {std::make_pair(std::string("{caption}"), IDS_EH_DEFAULT_CAPTION),
                                   std::make_pair(std::string("{text}"), IDS_EH_DEFAULT_TEXT)}) {
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) text.replace(at, mark.size(), LangString(id));
    }
    return text;
}

class TextRecordFlags : public ReportTest, public ::testing::WithParamInterface<FlagRow> {};

TEST_P(TextRecordFlags, ShownAndLogged) {
    const FlagRow& row = GetParam();
    new TableException("older", 0, 1);
    auto* e = new TableException("c", row.textNo, 1);
    EXPECT_EQ(ReportChain(), row.result);
    EXPECT_EQ(Shown(), row.shown ? WithDefaults(row.shown) : "(none)");
    EXPECT_EQ(Logged(), row.logged != nullptr);
    if (row.logged) {
        EXPECT_TRUE(zkqtest::Contains(LogText(), {"Fehlermeldung: " + WithDefaults(row.logged) + "\r\n"}));
    }
    EXPECT_EQ(e->captionLookups, 1);  // the reported one is the newest with a number, else the newest
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TextRecordFlags,
    ::testing::Values(FlagRow{"NoNumber", 0, IDOK, "{caption}|#00000\r\n\r\n{text}|0|0", "{text}"},  // the newest, defaults
                      FlagRow{"NotInTable", 9999, IDOK, "{caption}|#09999\r\n\r\n{text}|0|0", "{text}"},  // OK, no icon
                      FlagRow{"EmptyText", 1600, IDOK, "Hinweis|#01600\r\n\r\n{text}|0|48", "{text}"},  // its caption
                      FlagRow{"LoggedOnly", 1300, 1, nullptr, "Nur protokolliert"},
                      FlagRow{"ShownOnly", 1310, IDOK, "Hinweis|#01310\r\n\r\nNur gezeigt|0|16", nullptr},
                      FlagRow{"Neither", 1320, 1, nullptr, nullptr}),
    [](const ::testing::TestParamInfo<FlagRow>& info) { return std::string(info.param.name); });

TEST_F(ReportTest, CaptionPrecedence) {
    // lookedUp: the caption number looked up, 0 for no lookup.
    const struct { unsigned long captionNo; const char* argument; const char* shown; unsigned long lookedUp; }
        rows[] = {{0, nullptr, "Hinweis", 5}, {7, nullptr, "Achtung", 7}, {7, "Eigene", "Eigene", 0}};
    m_dialog.Answer(Answer::kButton2);
    for (const auto& row : rows) {
        auto* e = new TableException("c", 1400, 1, row.captionNo);
        EXPECT_EQ(e->ReportErrorOnObject(kNoWindow, row.argument), IDNO);
        // The record's Yes/No with a question mark in any case.
        EXPECT_EQ(Shown(), row.shown + std::string("|#01400\r\n\r\nFrage mit \xDC" "berschrift|4|32"));
        EXPECT_EQ(e->captionLookups, row.lookedUp ? 1 : 0);
        EXPECT_EQ(e->lastCaptionNo, row.lookedUp);
        EXPECT_EQ(e->freedCaptions, e->captionLookups);  // what was looked up goes back
    }
}

TEST_F(ReportTest, ForeignExceptions) {
    // A foreign exception is wrapped, which deletes it with autoDelete.
    const int destroyedBefore = zkqtest::ForeignException::destroyed;
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, new zkqtest::ForeignException(TRUE), 1, nullptr), IDOK);
    EXPECT_EQ(zkqtest::ForeignException::destroyed - destroyedBefore, 1);
    EXPECT_EQ(Shown(), "MFC|#00001\r\n\r\nforeign failure|0|0");
    EXPECT_TRUE(zkqtest::Contains(LogText(), {"Exceptionklasse: ForeignException\r\n", "MFC-Fehlertext: foreign failure\r\n"}));

    // A caught CMemoryException is represented by the thread's reserve
    // exception, which needs no memory.
    CMemoryException caught(TRUE);  // on the stack: ASan would see it deleted
    {
        zkqtest::AllocFailureReset reset;
        at::FailAll();
        OrnEhBasis::Log(nullptr, &caught, 1);
    }
    OrnEhBasis* last = OrnEhBasis::GetLast();
    ASSERT_TRUE(last && last->IsKindOf(RUNTIME_CLASS(OrnEhMemory)));
    EXPECT_EQ(last->GetPrev(), nullptr);
    ::unlink(m_log.path().c_str());
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, &caught, 1, nullptr), IDOK);
    EXPECT_EQ(Shown(), LangString(IDS_EH_MEMORY_CAPTION) + "|#00001\r\n\r\n" + LangString(IDS_EH_MEMORY_TEXT) +
                           "|0|0");
    EXPECT_TRUE(zkqtest::Contains(LogText(), {"Fehlerart: OrnEhMemory\r\n", "Speichers:0\r\n"}));
}

TEST_F(ReportTest, ShowErrorNumberLine) {
    const struct { unsigned long textNo; const char* application; const char* text; const char* message; } rows[] = {
        {42, "", "Der Text", "#00042\r\n\r\nDer Text"}, {1234567, "", "T", "#1234567\r\n\r\nT"},
        {42, "ABCD", nullptr, "#AB00042\r\n\r\n"}};  // the application code has two characters at most
    m_dialog.Answer(Answer::kButton2);
    for (const auto& row : rows) {
        auto* e = new TableException("c", row.textNo, 1);
        e->application = row.application;
        EXPECT_EQ(e->ShowError(kNoWindow, row.text, "Titel", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
        EXPECT_EQ(Shown(), "Titel|" + std::string(row.message) + "|1|32");
        EXPECT_EQ(OrnEhBasis::GetLast(), e);
        // The details are the chain all the same.
        EXPECT_NE(m_dialog.last().details.find("textnummer: " + std::to_string(row.textNo)), std::string::npos);
    }
    EXPECT_FALSE(Logged());
}

TEST_F(ReportTest, FileAndTextReports) {
    const std::string file = m_dir.file("chain.txt"), quiet = m_dir.file("quiet.txt");
    OrnEhParam params(1);
    params.SetParam("a.txt");
    const struct { unsigned long textNo; const char* caption; const char* path; } rows[] = {
        {1200, nullptr, file.c_str()}, {1200, "Eigene", file.c_str()},
        {9999, nullptr, file.c_str()},   // no text: the defaults
        {1300, nullptr, quiet.c_str()},  // show flag 0: logged, nothing appended
    };
    for (const auto& row : rows) {
        new TableException("c", row.textNo, params, 1);
        EXPECT_EQ(OrnEhBasis::Report(row.path, nullptr, 0, row.caption), 1) << row.textNo;
    }
    // The text reports into a file: caption, text and the line breaks exactly.
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), "x", "Fehler", nullptr, 0, 0), 1);
    EXPECT_EQ(OrnEhBasis::Report(file.c_str(), "Datei %1 fehlt", nullptr, params, nullptr, 0, 0), 1);
    EXPECT_EQ(zkqtest::ReadFile(file), "Hinweis\r\nDatei a.txt fehlt\r\n\r\nEigene\r\nDatei a.txt fehlt\r\n\r\n" +
                                           LangString(IDS_EH_DEFAULT_CAPTION) + "\r\n" +
                                           LangString(IDS_EH_DEFAULT_TEXT) +
                                           "\r\n\r\nFehler\r\nx\r\n\r\n\r\nDatei a.txt fehlt\r\n\r\n");
    EXPECT_FALSE(zkqtest::FileExists(quiet));
    EXPECT_NE(LogText().find("Fehlermeldung: Nur protokolliert"), std::string::npos);
    EXPECT_EQ(LogText().find("Fehlermeldung: x"), std::string::npos);  // writeLog 0
    // No file name, or a file that cannot be opened: nothing, and still 1.
    EXPECT_EQ(OrnEhBasis::Report(static_cast<const char*>(nullptr), "x", "c", nullptr, 0, 0), 1);
    EXPECT_EQ(OrnEhBasis::Report(m_dir.file("missing/text.txt").c_str(), "x", "c", nullptr, 0, 0), 1);
    EXPECT_FALSE(zkqtest::FileExists(m_dir.file("missing")));
    EXPECT_EQ(Shown(), "(none)");

    // In the dialog a text report has no number line.
    auto* adopted = new TableException("adopted", 0, 0);
    m_dialog.Answer(Answer::kButton2);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, "Datei %1 fehlt", "Titel", MB_YESNO, params, adopted, 0, 1), IDNO);
    EXPECT_EQ(Shown(), "Titel|Datei a.txt fehlt|4|0");
    EXPECT_TRUE(Before(LogText(), "Fehlermeldung: Datei a.txt fehlt\r\n", "Fehlerursache: adopted"));
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, "Datei %1 fehlt", nullptr, MB_OK, nullptr, 0, 0), IDOK);
    EXPECT_EQ(Shown(), "|Datei %1 fehlt|0|0");  // without a list, inserts and all
}

// An application's record that faults half-way.
class FailingLogException : public zkqtest::TestException {
public:
    FailingLogException() : TestException("failing", 1, 0, 1) {}
    void Log(OrnEhLogFile& log) const override {
        log << "half a record\r\n";
        zkq_read(nullptr);
    }
};

TEST_F(ReportTest, FailingLogOverride) {
    OrnEhInitThreadExHandling();  // the fault is translated
    new zkqtest::TestException("older", 1, 0, 1);
    new FailingLogException();
    OrnEhBasis::Log("message", nullptr, 1);
    const std::string text = LogText();
    // The entry goes on after the failed record, the fault inside it is
    // recorded in the same entry, and the entry ends with the separator at
    // the start of a line, where a later cut finds the boundary.
    EXPECT_TRUE(Before(text, "half a record", "Fehlerursache: older")) << text;
    EXPECT_TRUE(Before(text, "Fehlerursache: older", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION")) << text;
    EXPECT_TRUE(Before(text, "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "\r\n" + std::string(68, '*') + "\r\n")) << text;
    EXPECT_TRUE(zkqtest::ForeignHolder(m_log.path()).holds()) << "the file is closed: its lock is free";
}

TEST_F(ReportTest, AllocationFailure) {
    m_dialog.Answer(Answer::kButton2);
    OrnEhParam params(1);
    params.SetParam("a.txt");
    long result = -1;
    auto report = [&] {
        result = -1;
        auto* e = new TableException("c", 1700, params, 1);
        const bool held = e && OrnEhBasis::GetLast() == e;
        if (e) result = e->ReportErrorOnObject(kNoWindow, nullptr);
        zkqtest::ClearChain();
        if (!held) delete e;  // no chain took it: its owner's to delete
    };
    report();  // the first report sets up what every later one reuses
    ASSERT_EQ(result, IDRETRY);
    EXPECT_GT(zkqtest::ForEachAllocationFailure(report, [&](int failedAt) {
        EXPECT_TRUE(result == -1 || result == IDOK || result == IDRETRY) << failedAt << ": " << result;
        EXPECT_EQ(OrnEhBasis::GetLast(), nullptr) << failedAt;
    }), 5);
}

// What a report takes goes when the report is done: an application's own
// OrnEhMemory like any exception (only the threads' reserves stay), and one
// whose record could not be had, which still leaves an entry.
TEST_F(ReportTest, ReportedExceptionsGo) {
    auto reportMemory = [] {
        OrnEhBasis::Report(kNoWindow, new OrnEhMemory(), 0, nullptr);
        zkqtest::ClearChain();
    };
    reportMemory();  // the first report sets up what every later one reuses
    const long before = at::Outstanding();
    for (int i = 0; i < 100; ++i) reportMemory();
    EXPECT_EQ(at::Outstanding(), before);

    const int destroyed = zkqtest::TestException::destroyed;
    auto separators = [this] {
        const std::string text = LogText();
        return std::count(text.begin(), text.end(), '*') / 68;
    };
    const long entries = separators();
    zkqtest::TestException* e = nullptr;
    {
        zkqtest::AllocFailureReset reset;
        // A record too large for the room behind its object has a block of
        // its own: the object's block is the first, the record the second.
        const std::string cause(2000, 'x');
        at::FailNth(2);
        e = new zkqtest::TestException(cause.c_str(), 1, 0, 1);
    }
    ASSERT_TRUE(e && !OrnEhBasisAccess::Info(e));
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, e, 0, nullptr), IDOK);
    EXPECT_EQ(zkqtest::TestException::destroyed - destroyed, 1);
    EXPECT_EQ(separators() - entries, 1);
}

}  // namespace
