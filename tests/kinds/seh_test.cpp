// OrnEhSEH built from hand-made EXCEPTION_POINTERS: what it copies, the
// dump of records and context in its log record, its texts from tables 383
// and 384, and that its copy is complete, independent and freed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "OrnEhSEH.h"
#include "OrnLangIds.h"
#include "compat/OrnEhSeh.h"
#include "core/basis_info.h"
#include "kinds/kind_test_util.h"
#include "platform/alloc.h"

namespace at = orneh::platform::alloctest;
using zkqtest::KindReportTest;
using zkqtest::RecordOf;

namespace {

const HWND kNoWindow = nullptr;

// A fault as the signal bridge would hand it over: records and a context.
struct Fault {
    EXCEPTION_RECORD records[4] = {};
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {records, &context};

    explicit Fault(DWORD code, int nested = 0) {
        records[0].ExceptionCode = code;
        records[0].ExceptionAddress = reinterpret_cast<void*>(0x401a2f);
        records[0].NumberParameters = 2;
        records[0].ExceptionInformation[0] = 1;
        for (int i = 1; i <= nested && i < 4; ++i) {
            records[i - 1].ExceptionRecord = &records[i];
            records[i].ExceptionCode = 0xE06D7363u;
            records[i].ExceptionFlags = static_cast<DWORD>(i);
            records[i].ExceptionAddress = reinterpret_cast<void*>(0xdeadbee0 + i);
        }
        context.ContextFlags = 0x1003F;
        context.Dr0 = 0x1111;  // copied, never written
        context.Dr7 = 0x400;
        context.SegCs = 0x33;
        context.SegSs = 0x2b;
        context.Eax = 0;
        context.Ebx = 0xABCDEF;
        context.Eip = 0x401a2f;
        context.Esp = 0x7ffc0010;
        context.EFlags = 0x246;
        context.FloatSave.ControlWord = 0x37f;
        context.FloatSave.TagWord = 0xffff;
    }
};

// The lines of the record behind the base record (behind the head line when
// the exception has no base record).
std::string KindLines(const OrnEhSEH& e) {
    const std::string record = RecordOf(e);
    std::string::size_type from = record.find("ProzessId: ");
    if (from == std::string::npos) from = 0;
    return record.substr(record.find("\r\n", from) + 2);
}

const char* const kContextLines =
    "Contextflags: 65599\r\n"
    "Dr1: 0\r\nDr2: 0\r\nDr3: 0\r\nDr6: 0\r\nDr7: 400\r\n"
    "SegGs: 0\r\nSegFs: 0\r\nSegEs: 0\r\nSegDs: 0\r\n"
    "Edi: 0\r\nEsi: 0\r\nEbx: abcdef\r\nEdx: 0\r\nEcx: 0\r\nEax: 0\r\n"
    "Ebp: 0\r\nEip: 401a2f\r\nSegCs: 33\r\nEFlags: 246\r\nEsp: 7ffc0010\r\nSegSs: 2b\r\n"
    "ControlWord: 37f\r\nStatusWord: 0\r\nTagWord: ffff\r\nErrorOffset: 0\r\n"
    "ErrorSelector: 0\r\nDataOffset: 0\r\nDataSelector: 0\r\nCr0NpxState: 0\r\n";

using SehTest = KindReportTest;

TEST_F(SehTest, AccessViolationDumpsItsRecordAndContext) {
    Fault fault(EXCEPTION_ACCESS_VIOLATION);
    OrnEhSEH e(&fault.pointers, 0);
    EXPECT_EQ(e.GetErrorNo(), 3221225477ul);
    EXPECT_EQ(e.GetErrorTextNo(), 1u);
    EXPECT_EQ(RecordOf(e).rfind("Fehlerart: OrnEhSEH\r\nFehlerursache: \r\n", 0), 0u);
    EXPECT_EQ(KindLines(e),
              std::string("Exceptioncode: EXCEPTION_ACCESS_VIOLATION\r\nExceptionflag: 0\r\n"
                          "Exceptionadresse: 401a2f\r\n") +
                  kContextLines);
}

TEST_F(SehTest, CodesAreNamedOrWrittenInDecimal) {
    struct Case {
        DWORD code;
        const char* written;
    };
    const Case cases[] = {
        {EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT"},
        {EXCEPTION_BREAKPOINT, "EXCEPTION_BREAKPOINT"},
        {EXCEPTION_SINGLE_STEP, "EXCEPTION_SINGLE_STEP"},
        {EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR"},
        {EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION"},
        {EXCEPTION_NONCONTINUABLE_EXCEPTION, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
        {EXCEPTION_INVALID_DISPOSITION, "EXCEPTION_INVALID_DISPOSITION"},
        {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
        {EXCEPTION_FLT_DENORMAL_OPERAND, "EXCEPTION_FLT_DENORMAL_OPERAND"},
        {EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
        {EXCEPTION_FLT_INEXACT_RESULT, "EXCEPTION_FLT_INEXACT_RESULT"},
        {EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION"},
        {EXCEPTION_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW"},
        {EXCEPTION_FLT_STACK_CHECK, "EXCEPTION_FLT_STACK_CHECK"},
        {EXCEPTION_FLT_UNDERFLOW, "EXCEPTION_FLT_UNDERFLOW"},
        {EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {EXCEPTION_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW"},
        {EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION"},
        {EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW"},
        {EXCEPTION_GUARD_PAGE, "2147483649"},
        {EXCEPTION_INVALID_HANDLE, "3221225480"},
        {0xE06D7363u, "3765269347"},
        {0, "0"},
    };
    for (const Case& c : cases) {
        Fault fault(c.code);
        OrnEhSEH e(&fault.pointers, 0);
        EXPECT_EQ(e.GetErrorNo(), static_cast<unsigned long>(c.code));
        EXPECT_EQ(KindLines(e).rfind(std::string("Exceptioncode: ") + c.written + "\r\n", 0), 0u)
            << c.code;
    }
}

TEST_F(SehTest, NestedRecordsFollowTheOuterOne) {
    Fault fault(EXCEPTION_INT_DIVIDE_BY_ZERO, 2);
    OrnEhSEH e(&fault.pointers, 0);
    EXPECT_EQ(KindLines(e),
              std::string("Exceptioncode: EXCEPTION_INT_DIVIDE_BY_ZERO\r\nExceptionflag: 0\r\n"
                          "Exceptionadresse: 401a2f\r\n"
                          "Exceptioncode: 3765269347\r\nExceptionflag: 1\r\n"
                          "Exceptionadresse: deadbee1\r\n"
                          "Exceptioncode: 3765269347\r\nExceptionflag: 2\r\n"
                          "Exceptionadresse: deadbee2\r\n") +
                  kContextLines);
}

TEST_F(SehTest, CopyOutlivesTheSystemsRecords) {
    auto* fault = new Fault(EXCEPTION_ACCESS_VIOLATION, 1);
    OrnEhSEH e(&fault->pointers, 0);
    const std::string before = KindLines(e);
    fault->records[0].ExceptionCode = EXCEPTION_BREAKPOINT;
    fault->context.Eax = 0x77;
    delete fault;  // AddressSanitizer sees any read of it from here on
    EXPECT_EQ(KindLines(e), before);
    EXPECT_EQ(e.GetErrorNo(), static_cast<unsigned long>(EXCEPTION_ACCESS_VIOLATION));
}

TEST_F(SehTest, WithoutPointersOrRecordTheDumpIsEmpty) {
    OrnEhSEH none(nullptr, 0);
    EXPECT_EQ(none.GetErrorNo(), 0u);
    EXPECT_EQ(none.GetErrorTextNo(), 1u);
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    EXPECT_EQ(KindLines(none), "");

    // A context without a record is not copied either.
    Fault fault(EXCEPTION_ACCESS_VIOLATION);
    fault.pointers.ExceptionRecord = nullptr;
    OrnEhSEH contextOnly(&fault.pointers, 0);
    EXPECT_EQ(contextOnly.GetErrorNo(), 0u);
    EXPECT_EQ(KindLines(contextOnly), "");

    // A record without a context gives the record lines only.
    Fault recordOnly(EXCEPTION_STACK_OVERFLOW);
    recordOnly.pointers.ContextRecord = nullptr;
    OrnEhSEH e(&recordOnly.pointers, 0);
    EXPECT_EQ(KindLines(e),
              "Exceptioncode: EXCEPTION_STACK_OVERFLOW\r\nExceptionflag: 0\r\nExceptionadresse: 401a2f\r\n");
}

TEST_F(SehTest, LoopingRecordChainIsCutAndFreed) {
    Fault fault(EXCEPTION_ACCESS_VIOLATION, 1);
    fault.records[1].ExceptionRecord = &fault.records[0];
    const long before = at::Outstanding();
    {
        OrnEhSEH e(&fault.pointers, 0);
        EXPECT_NE(KindLines(e).find("Contextflags: "), std::string::npos);
    }
    EXPECT_EQ(at::Outstanding(), before);
}

TEST_F(SehTest, DeletionAndEveryAllocationFailureLeakNothing) {
    zkqtest::AllocFailureReset reset;
    Fault fault(EXCEPTION_ACCESS_VIOLATION, 3);
    const long before = at::Outstanding();
    {
        OrnEhSEH e(&fault.pointers, 0);
        EXPECT_GT(at::Outstanding(), before + 5);  // the record and the copy's blocks
    }
    EXPECT_EQ(at::Outstanding(), before);

    const std::string complete = [&] {
        OrnEhSEH e(&fault.pointers, 0);
        return KindLines(e);
    }();
    const std::string::size_type contextAt = complete.find("Contextflags: ");
    ASSERT_NE(contextAt, std::string::npos);
    const std::string records = complete.substr(0, contextAt);
    const std::string context = complete.substr(contextAt);
    OrnEhSEH* made = nullptr;
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] { made = new OrnEhSEH(&fault.pointers, 0); },
        [&](int failedAt) {
            // The dump is read with memory to spare, then the object goes.
            const std::string lines = made ? KindLines(*made) : "";
            delete made;
            made = nullptr;
            EXPECT_EQ(at::Outstanding(), before) << failedAt;
            // A block that cannot be had shortens the copy: the records end
            // early (after a whole record), the context is whole or absent.
            std::string::size_type split = lines.find("Contextflags: ");
            std::string ownRecords = lines.substr(0, split);
            std::string ownContext = split == std::string::npos ? "" : lines.substr(split);
            ASSERT_EQ(records.rfind(ownRecords, 0), 0u) << failedAt << ":\n" << lines;
            EXPECT_TRUE(ownRecords.size() == records.size() ||
                        records.compare(ownRecords.size(), 15, "Exceptioncode: ") == 0)
                << failedAt << ":\n" << lines;
            EXPECT_TRUE(ownContext.empty() || ownContext == context) << failedAt << ":\n" << lines;
            if (ownRecords.empty()) {
                EXPECT_TRUE(ownContext.empty()) << failedAt;
            }
        });
    delete made;
    EXPECT_GE(allocations, 7);
}

TEST_F(SehTest, ReportUsesTheSehTablesOfTheLanguageModule) {
    const zkqtest::LangTableRecord text = zkqtest::LangTable(IDR_EH_SEH_TEXTS, 1, true);
    ASSERT_TRUE(text.found);
    const zkqtest::LangTableRecord caption =
        zkqtest::LangTable(IDR_EH_SEH_CAPTIONS, text.captionNo, false);
    ASSERT_TRUE(caption.found);

    Fault fault(EXCEPTION_ACCESS_VIOLATION);
    auto* e = new OrnEhSEH(&fault.pointers, 1);
    EXPECT_EQ(OrnEhBasis::GetLast(), e);
    EXPECT_EQ(e->GetResIdForTextInfo(), 383u);
    EXPECT_EQ(e->GetResIdForCaption(), 384u);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\n" + text.text);
    EXPECT_EQ(m_dialog.last().caption, caption.text);

    // In the log file every line of the kind is indented by six blanks.
    const std::string log = LogText();
    EXPECT_TRUE(zkqtest::IndentedBySix(log, "Fehlerart: OrnEhSEH")) << log;
    EXPECT_NE(log.find("\r\n      Eax: 0\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\n      EFlags: 246\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\n      Exceptioncode: EXCEPTION_ACCESS_VIOLATION\r\n"), std::string::npos);
}

}  // namespace
