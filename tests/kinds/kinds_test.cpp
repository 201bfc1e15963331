// The exception kinds that wrap foreign failures: a failed system or
// runtime-library call (OrnEhWin32, OrnEhCLib), a COM error (OrnEhCOM), an MFC
// or standard-library exception (OrnEhMFC, OrnEhSTL), a failed allocation
// (OrnEhMemory) and a structured exception (OrnEhSEH): their numbers, texts,
// captions, records and reports, and memory running out while they copy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <locale.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

#include "OrnEhCLib.h"
#include "OrnEhCOM.h"
#include "OrnEhMFC.h"
#include "OrnEhMemory.h"
#include "OrnEhSEH.h"
#include "OrnEhSTL.h"
#include "OrnEhWin32.h"
#include "OrnLangIds.h"
#include "core/basis_info.h"
#include "support/scripted_dialog.h"
#include "core/text_tables.h"
#include "base/alloc.h"
#include "support/test_exceptions.h"
#include "support/child_process.h"
#include "support/test_util.h"

namespace at = orneh::base::alloctest;
using namespace zkqtest;
using ::testing::EndsWith;

namespace {

// A kind's own text for its error-text number with the message type, caption
// number, log and show flags it asks for ("text|0|0|1|1"), or "(null)".
template <typename Kind>
std::string TextOf(const Kind& e) {
    unsigned long type = 9, captionNo = 9;
    short log = 9, show = 9;
    char* text = e.GetErrorTextInfo(nullptr, e.GetErrorTextNo(), type, captionNo, log, show);
    const std::string out = text ? std::string(text) + "|" + std::to_string(type) + "|" + std::to_string(captionNo) +
                                       "|" + std::to_string(log) + "|" + std::to_string(show)
                                 : "(null)";
    OrnEhBasisAccess::FreeErrorText(&e, text);  // the kind's own release, or the base's
    return out;
}

template <typename Kind>
std::string CaptionOf(const Kind& e) {
    char* caption = e.GetCaptionText(nullptr, 0);
    const std::string text = caption ? caption : "(null)";
    OrnEhBasisAccess::FreeCaptionText(&e, caption);
    return text;
}

// What the dialog shows for text 1 of a text table of the language module,
// with its caption from the caption table.
std::string LangTableReport(unsigned int textTable, unsigned int captionTable) {
    std::size_t size = 0;
    const void* texts = OrnResFind(orneh::module::LanguageModule(), ORN_RT_RCDATA, textTable, &size);
    orneh::core::TextRecord r{};
    if (!orneh::core::FindTextRecord(texts, size, 1, r)) return "(no text 1 in " + std::to_string(textTable) + ")";
    const void* captions = OrnResFind(orneh::module::LanguageModule(), ORN_RT_RCDATA, captionTable, &size);
    const char* caption = orneh::core::FindCaption(captions, size, r.captionNo);
    return std::string(caption ? caption : "") + "|#00001\r\n\r\n" + r.text + "|" +
           std::to_string(r.messageType & 0xF) + "|" + std::to_string(r.messageType & 0xF0);
}

// The system's message as a Win32 message comes: the text and CR LF.
std::string SystemText(int code) { return std::string(std::strerror(code)) + "\r\n"; }

// The system's message for an HRESULT, without its line break.
std::string Message(HRESULT hr) { return _com_error(hr).ErrorMessage(); }

// What a failing component leaves behind.
struct ErrorObject : IErrorInfo {
    ErrorObject(const char* description, const char* source, const char* helpFile, DWORD helpContext, GUID guid)
        : m_description(description), m_source(source), m_helpFile(helpFile), m_helpContext(helpContext), m_guid(guid) {}
    _bstr_t GetDescription() const override { return m_description; }
    _bstr_t GetSource() const override { return m_source; }
    _bstr_t GetHelpFile() const override { return m_helpFile; }
    DWORD GetHelpContext() const override { return m_helpContext; }
    GUID GetGUID() const override { return m_guid; }
    const char *m_description, *m_source, *m_helpFile;
    DWORD m_helpContext;
    GUID m_guid;
};

// A component's error with the interface id {00020400-0000-0000-C000-000000000046}.
const ErrorObject kComponentError("Komponente meldet Fehler", "Comp.Server.1", "hilfe.chm", 4711,
                                  {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}});

// A structured exception as the signal bridge would hand it over: records
// (the outer one and nested ones) and a context.
struct Fault {
    EXCEPTION_RECORD records[4] = {};
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {records, &context};

    explicit Fault(DWORD code, int nested = 0) {
        records[0] = {code, 0, nullptr, reinterpret_cast<void*>(0x401a2f), 2, {1}};
        for (int i = 1; i <= nested; ++i) {
            records[i - 1].ExceptionRecord = &records[i];
            records[i] = {0xE06D7363u, static_cast<DWORD>(i), nullptr, reinterpret_cast<void*>(0xdeadbee0 + i), 0, {}};
        }
        context.ContextFlags = 0x1003F;
        context.Dr0 = 0x1111;  // copied, never written
        context.Dr7 = 0x400;
        context.SegCs = 0x33;
        context.SegSs = 0x2b;
        context.Ebx = 0xABCDEF;
        context.Eip = 0x401a2f;
        context.Esp = 0x7ffc0010;
        context.EFlags = 0x246;
        context.FloatSave.ControlWord = 0x37f;
        context.FloatSave.TagWord = 0xffff;
    }
};

// The lines of an OrnEhSEH's record behind its base record (behind the head
// line when it has no base record).
std::string DumpOf(const OrnEhSEH& e) {
    const std::string record = RecordOf(e);
    const auto base = record.find("ProzessId: ");
    return record.substr(record.find("\r\n", base == std::string::npos ? 0 : base) + 2);
}

const std::string kAccessViolation =
    "Exceptioncode: EXCEPTION_ACCESS_VIOLATION\r\nExceptionflag: 0\r\nExceptionadresse: 401a2f\r\n";
const std::string kContext =
    "Contextflags: 65599\r\nDr1: 0\r\nDr2: 0\r\nDr3: 0\r\nDr6: 0\r\nDr7: 400\r\n"
    "SegGs: 0\r\nSegFs: 0\r\nSegEs: 0\r\nSegDs: 0\r\nEdi: 0\r\nEsi: 0\r\nEbx: abcdef\r\nEdx: 0\r\nEcx: 0\r\nEax: 0\r\n"
    "Ebp: 0\r\nEip: 401a2f\r\nSegCs: 33\r\nEFlags: 246\r\nEsp: 7ffc0010\r\nSegSs: 2b\r\n"
    "ControlWord: 37f\r\nStatusWord: 0\r\nTagWord: ffff\r\nErrorOffset: 0\r\n"
    "ErrorSelector: 0\r\nDataOffset: 0\r\nDataSelector: 0\r\nCr0NpxState: 0\r\n";

class KindTest : public EmptyChainTest {
protected:
    TempDir m_dir;
    ScopedStandardLog m_log{m_dir.path(), "kinds.log"};
    ScriptedDialog m_dialog;
};

TEST_F(KindTest, ReportOfEachKind) {
    Fault fault(EXCEPTION_ACCESS_VIOLATION);
    const std::string defaults = LangString(IDS_EH_DEFAULT_CAPTION) + "|#100000\r\n\r\n" +
                                 LangString(IDS_EH_DEFAULT_TEXT) + "|0|0";
    const struct { std::function<OrnEhBasis*()> make; std::string shown; } rows[] = {
        {[] { return new OrnEhWin32("s", "open", "c", ENOENT, 0, 1); },
         LangString(IDS_EH_WIN32_CAPTION) + "|#00002\r\n\r\n" + SystemText(ENOENT) + "|0|0"},
        // A number the system has no message for: the defaults, not the Win32 caption.
        {[] { return new OrnEhWin32("s", "ioctl", "c", 100000, 0, 1); }, defaults},
        {[] { return new OrnEhCLib("s", "fopen", "c", 2, 0, 1); }, LangTableReport(381, 382)},
        {[] { return new OrnEhCOM(_com_error(E_FAIL, &kComponentError), 1); },
         LangString(IDS_EH_COM_CAPTION) + "|#00001\r\n\r\nKomponente meldet Fehler|0|0"},
        {[] { return new OrnEhSTL(std::out_of_range("Index 7 zu gro\xDF"), 1); },
         LangString(IDS_EH_STL_CAPTION) + "|#00001\r\n\r\nIndex 7 zu gro\xDF|0|0"},
        {[&] { return new OrnEhSEH(&fault.pointers, 1); }, LangTableReport(383, 384)},
    };
    for (const auto& row : rows) {
        OrnEhBasis* e = row.make();
        // The log file holds the record as a report entry writes it: the
        // kind's head after three blanks, every further line after six.
        std::string record = "   " + RecordOf(*e);
        for (auto pos = record.find("\r\n"); pos + 2 < record.size(); pos = record.find("\r\n", pos + 2)) record.insert(pos + 2, "      ");
        ::unlink(m_log.path().c_str());
        EXPECT_EQ(OrnEhBasis::Report(HWND{}, nullptr, 0, nullptr), IDOK);
        EXPECT_EQ(m_dialog.shown().empty() ? "(none)" : m_dialog.last().Summary(), row.shown);
        EXPECT_NE(ReadFile(m_log.path()).find(record), std::string::npos) << ReadFile(m_log.path());
    }
}

// --- Win32 and runtime-library errors ----------------------------------------

TEST_F(KindTest, Win32ErrorNumber) {
    // On a fresh thread the constructor also registers the thread; the error
    // must still be the one of the failed call.
    std::string seen;  // error number, text number, and whether it is the current exception
    std::thread([&] {
        const int fd = ::open("/nonexistent-zkq/missing.txt", O_RDONLY);
        if (fd >= 0) ::close(fd);
        auto* e = new OrnEhWin32("win32_test.cpp", "open", "missing file", 0, 0, 1);
        seen = std::to_string(e->GetErrorNo()) + " " + std::to_string(e->GetErrorTextNo()) +
               (OrnEhBasis::GetLast() == e ? " current" : "");
        ClearChain();
        OrnEhEndThreadExHandling();
    }).join();
    EXPECT_EQ(seen, std::to_string(ENOENT) + " " + std::to_string(ENOENT) + " current");

    errno = ENOENT;
    OrnEhWin32 e(nullptr, "read", "c", EIO, 0, 0);  // a given number wins
    e.SetErrorNo(3);  // the text number stays
    EXPECT_EQ(TextOf(e), SystemText(EIO) + "|0|0|1|1");
    EXPECT_EQ(RecordOf(e).rfind("Fehlerart: OrnEhWin32\r\nFehlerursache: c\r\nSource: \r\nMethode:  :: read\r\n"
                                "Fehlernummer: 3\r\nFehlertextnummer: " + std::to_string(EIO), 0), 0u);
    // CLib carries text 1 and caption 0 whatever its number, and logs the number.
    OrnEhCLib clib("s", "fopen", nullptr, 22, 0, 0);
    EXPECT_EQ(RecordOf(clib).rfind("Fehlerart: OrnEhCLib\r\nFehlerursache: \r\nSource: s\r\nMethode:  :: fopen\r\n"
                                   "Fehlernummer: 22\r\nFehlertextnummer: 1   \xDC" "berschriftennummer: 0\r\n", 0), 0u);
}

// --- COM errors -----------------------------------------------------------------

TEST_F(KindTest, ComErrorCopy) {
    const ErrorObject empty("", "", "", 0, GUID_NULL);  // an empty description counts as none
    const std::string noObject = "HelpContext: 0\r\nHelpFile: \r\nSource: \r\nErrorMessage: ";
    // text: the error text (the description, else the error's message);
    // lines: lines that the record holds in a row (by default the message line).
    const struct { HRESULT hresult; const IErrorInfo* info; std::string text, lines = ""; } rows[] = {
        {E_FAIL, nullptr, Message(E_FAIL),
         "HRESULT: 80004005\r\nDescription: \r\n" + noObject + Message(E_FAIL) + "\r\nInterface-ID: 0-0-0-00-000000\r\n"},
        {E_INVALIDARG, &kComponentError, "Komponente meldet Fehler",
         "HRESULT: 80070057\r\nDescription: Komponente meldet Fehler\r\nHelpContext: 4711\r\nHelpFile: hilfe.chm\r\n"
         "Source: Comp.Server.1\r\nErrorMessage: " + Message(E_INVALIDARG) +
             "\r\nInterface-ID: 20400-0-0-c00-0000046\r\n"},
        {E_NOINTERFACE, &empty, Message(E_NOINTERFACE), "Description: \r\n" + noObject + Message(E_NOINTERFACE) + "\r\n"},
        // Results the system has no message for: both ends of the dispatch range and either side of it.
        {HRESULT(0x80040200u), nullptr, "IDispatch error #0"}, {HRESULT(0x8004FFFFu), nullptr, "IDispatch error #65023"},
        {HRESULT(0x80050000u), nullptr, "Unknown error 0x80050000"}, {HRESULT(0x8004001Fu), nullptr, "Unknown error 0x8004001F"},
    };
    for (const auto& row : rows) {
        const OrnEhCOM e(_com_error(row.hresult, row.info), 0);
        EXPECT_EQ(e.GetErrorNo(), static_cast<unsigned long>(static_cast<DWORD>(row.hresult)));
        EXPECT_EQ(TextOf(e), row.text + "|0|0|1|1");
        const std::string lines = row.lines.empty() ? "ErrorMessage: " + row.text + "\r\n" : row.lines;
        EXPECT_NE(RecordOf(e).find("\r\n" + lines), std::string::npos) << RecordOf(e);
    }
}

TEST_F(KindTest, ComAllocationFailure) {
    const _com_error error(E_FAIL, &kComponentError);
    // Only an exception without its own record reads 0; a text that could not
    // be copied is absent; nothing else changes.
    EveryAllocationFails([&] {
        const OrnEhCOM e(error, 0);
        const bool numberRight = e.GetErrorNo() == (OrnEhBasisAccess::Info(&e) ? 2147500037ul : 0ul);
        return (numberRight ? "" : "wrong number " + std::to_string(e.GetErrorNo()) + " ") + TextOf(e);
    }, {Message(E_FAIL) + "|0|0|1|1", "(null)"}, "Komponente meldet Fehler|0|0|1|1", 3);
}

// --- MFC, standard-library and memory errors -------------------------------------

// An MFC exception with a message longer than the wrapper keeps.
struct LongMessageException : CException {
    BOOL GetErrorMessage(char* text, UINT max, UINT*) override {
        if (text && max) std::snprintf(text, max, "%s", std::string(3000, 'm').c_str());
        return TRUE;
    }
};

// A standard exception whose text cannot be had.
struct BrokenWhat : std::exception {
    const char* what() const noexcept override { return nullptr; }
};

TEST_F(KindTest, WrappedExceptionText) {
    // OrnEhMFC deletes the wrapped exception only when asked (the deleting
    // wrap, its text and caption: ReportTest.ForeignExceptions). autoDelete 0
    // leaves it to the caller, and so does its own flag. On the stack, so
    // that a deletion would not go unnoticed.
    const int before = ForeignException::destroyed;
    ForeignException kept(TRUE), notDeletable(FALSE);
    const OrnEhMFC keeping(&kept, 0, 0), flagOff(&notDeletable, 1, 0);
    EXPECT_EQ(ForeignException::destroyed - before, 0);
    EXPECT_THAT(RecordOf(keeping), EndsWith("Exceptionklasse: ForeignException\r\nMFC-Fehlertext: foreign failure\r\n"));
    // A message longer than the record keeps is cut; without an exception
    // everything stays empty but the caption.
    LongMessageException longMessage;
    const OrnEhMFC cut(&longMessage, 0, 0), none(nullptr, 1, 0);
    EXPECT_EQ(TextOf(cut), std::string(1023, 'm') + "|0|0|1|1");
    EXPECT_EQ(TextOf(none) + CaptionOf(none), "|0|0|1|1MFC");
    EXPECT_THAT(RecordOf(none), EndsWith("MFC-Exceptionklasse: \r\nMFC-Fehlertext: \r\n"));

    // OrnEhSTL keeps the text of what() (shown: ReportOfEachKind), also when there is none.
    const std::bad_alloc badAlloc;
    const OrnEhSTL stl(badAlloc, 0), broken(BrokenWhat(), 0);
    EXPECT_THAT(RecordOf(stl), EndsWith(std::string("\r\nWhat: ") + badAlloc.what() + "\r\n"));
    EXPECT_EQ(TextOf(broken), "(null)");
    EXPECT_THAT(RecordOf(broken), EndsWith("\r\nWhat: \r\n"));
}

TEST_F(KindTest, MemoryRecord) {
    AllocFailureReset reset;
    auto* memory = new OrnEhMemory();
    memory->Delete();  // its auto-delete flag is off: AddressSanitizer would see a freed object below
    memory->SetSize(1048576);
    EXPECT_THAT(RecordOf(*memory), EndsWith("\r\nGr\xF6\xDF" "e des angeforderten Speichers:1048576\r\n"));
    // Its text and caption: ReportTest.ForeignExceptions. Without memory for
    // the copies there is neither.
    at::FailAll();
    EXPECT_EQ(TextOf(*memory) + CaptionOf(*memory), "(null)(null)");
    at::Reset();
    delete memory;
}

// --- Structured exceptions ------------------------------------------------------

TEST_F(KindTest, SehDump) {
    Fault fault(EXCEPTION_ACCESS_VIOLATION), nested(EXCEPTION_ACCESS_VIOLATION, 2);
    const OrnEhSEH e(&fault.pointers, 0), withNested(&nested.pointers, 0);
    EXPECT_EQ(RecordOf(e).rfind("Fehlerart: OrnEhSEH\r\nFehlerursache: \r\nSource: \r\nMethode:  :: \r\n"
                                "Fehlernummer: 3221225477\r\nFehlertextnummer: 1   ", 0), 0u) << RecordOf(e);
    EXPECT_EQ(DumpOf(e), kAccessViolation + kContext);
    // The nested records follow the outer one.
    EXPECT_EQ(DumpOf(withNested), kAccessViolation + "Exceptioncode: 3765269347\r\nExceptionflag: 1\r\n"
                                  "Exceptionadresse: deadbee1\r\nExceptioncode: 3765269347\r\nExceptionflag: 2\r\n"
                                  "Exceptionadresse: deadbee2\r\n" + kContext);
    // Without pointers or without a record nothing is copied; a record
    // without a context gives the record lines only.
    Fault contextOnly(EXCEPTION_ACCESS_VIOLATION), recordOnly(EXCEPTION_ACCESS_VIOLATION);
    contextOnly.pointers.ExceptionRecord = nullptr;
    recordOnly.pointers.ContextRecord = nullptr;
    const OrnEhSEH none(nullptr, 0), noRecord(&contextOnly.pointers, 0), noContext(&recordOnly.pointers, 0);
    EXPECT_TRUE(none.GetErrorNo() == 0 && noRecord.GetErrorNo() == 0);
    EXPECT_EQ(DumpOf(none) + "|" + DumpOf(noRecord), "|");
    EXPECT_EQ(DumpOf(noContext), kAccessViolation);
}

TEST_F(KindTest, SehCopy) {
    const long before = at::Outstanding();
    auto* fault = new Fault(EXCEPTION_ACCESS_VIOLATION, 3);
    fault->records[3].ExceptionRecord = &fault->records[1];  // a loop, which the copy cuts
    auto* e = new OrnEhSEH(&fault->pointers, 0);
    EXPECT_GT(at::Outstanding(), before + 5);  // the record and the copy's blocks
    const std::string dump = DumpOf(*e);
    delete fault;  // AddressSanitizer sees any later read of it
    EXPECT_EQ(DumpOf(*e), dump);
    EXPECT_THAT(dump, EndsWith(kContext)) << dump;
    delete e;
    EXPECT_EQ(at::Outstanding(), before);

    // A block that cannot be had shortens the copy: the records end early,
    // after a whole record; the context is whole or absent.
    Fault nested(EXCEPTION_ACCESS_VIOLATION, 3);
    const std::string complete = DumpOf(OrnEhSEH(&nested.pointers, 0));
    const std::string records = complete.substr(0, complete.find("Contextflags: "));
    OrnEhSEH* made = nullptr;
    auto check = [&](int failedAt) {
        const std::string lines = made ? DumpOf(*made) : "";
        delete made;
        made = nullptr;
        const std::string own = lines.substr(0, lines.find("Contextflags: ")), context = lines.substr(own.size());
        EXPECT_TRUE(records.rfind(own, 0) == 0 &&
                    (own.size() == records.size() || records.compare(own.size(), 15, "Exceptioncode: ") == 0))
            << failedAt << ":\n" << lines;
        EXPECT_TRUE(context.empty() || (!own.empty() && context == kContext)) << failedAt << ":\n" << lines;
    };
    EXPECT_GE(ForEachAllocationFailure([&] { made = new OrnEhSEH(&nested.pointers, 0); }, check), 7);
    delete made;
}

}  // namespace

// System, COM and MFC texts come in the language the language library chose,
// in code page 1252; each language is looked at in a process of its own
// (the choice is made once per process).
TEST(KindTexts, InTheChosenLanguage) {
    using Expected = std::array<std::string, 6>;
    const std::pair<const char*, Expected> languages[] = {
        {"de", {"Datei oder Verzeichnis nicht gefunden\r\n|0|0|1|1", "Nicht gen\xFCgend Hauptspeicher verf\xFCgbar\r\n|0|0|1|1",
                "Systemfehler", "Unbekannter Fehler", "Die Datei wurde nicht gefunden.|0|0|1|1", "Nicht gen\xFCgend Arbeitsspeicher."}},
        {"en", {"No such file or directory\r\n|0|0|1|1", "Cannot allocate memory\r\n|0|0|1|1", "System Error", "Unspecified error",
                "The file could not be found.|0|0|1|1", "Out of memory."}}};
    for (const auto& [language, expected] : languages) {
        if (!zkqtest::InChildRole(language)) continue;
        CMemoryException memory(FALSE);
        char text[64] = "";
        memory.GetErrorMessage(text, sizeof text, nullptr);
        const Expected seen = {TextOf(OrnEhWin32(nullptr, "open", nullptr, ENOENT, 0, 0)),
                               TextOf(OrnEhWin32(nullptr, "malloc", nullptr, ENOMEM, 0, 0)),
                               CaptionOf(OrnEhWin32(nullptr, "open", nullptr, ENOENT, 0, 0)), Message(E_FAIL),
                               TextOf(OrnEhMFC(new CFileException(CFileException::fileNotFound), 1, 0)), text};
        for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], expected[i]) << language << " text " << i;
        return;
    }
    const locale_t german = ::newlocale(LC_MESSAGES_MASK, "de_DE.UTF-8", nullptr);
    if (!german) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
    ::freelocale(german);
    zkqtest::ScopedEnv noLanguageList("LANGUAGE", nullptr);
    for (const auto& entry : languages) {
        zkqtest::ScopedEnv choice("ORNLANG", entry.first);
        const zkqtest::ChildResult child = zkqtest::RunTestInNewProcess(entry.first);
        EXPECT_TRUE(child.exited && child.exitCode == 0) << entry.first;
    }
}
