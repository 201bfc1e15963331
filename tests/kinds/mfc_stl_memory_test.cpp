// OrnEhMFC (a wrapped MFC exception), OrnEhSTL (a wrapped standard-library
// exception) and OrnEhMemory (the reserve exception of failed allocations):
// what they keep, their texts, captions and records, and what they free.
#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "OrnEhMFC.h"
#include "OrnEhMemory.h"
#include "OrnEhSTL.h"
#include "OrnLangIds.h"
#include "core/basis_info.h"
#include "kinds/kind_test_util.h"
#include "platform/alloc.h"

namespace at = orneh::platform::alloctest;
using zkqtest::ForeignException;
using zkqtest::KindReportTest;
using zkqtest::LangString;
using zkqtest::RecordOf;

namespace {

const HWND kNoWindow = nullptr;

struct OwnText {
    std::string text;
    bool found = false;
    bool presentation = false;  // type 0, caption 0, logged and shown
};

template <typename Kind>
OwnText TextOf(const Kind& e) {
    OwnText out;
    unsigned long messageType = 9, captionNo = 9;
    short logFlag = 9, showFlag = 9;
    char* text = e.GetErrorTextInfo(nullptr, 1, messageType, captionNo, logFlag, showFlag);
    out.found = text != nullptr;
    if (text) out.text = text;
    out.presentation = messageType == 0 && captionNo == 0 && logFlag == 1 && showFlag == 1;
    OrnEhBasisAccess::FreeErrorText(&e, text);  // the kind's own, or the base's
    return out;
}

template <typename Kind>
std::string CaptionOf(const Kind& e) {
    char* caption = e.GetCaptionText(nullptr, 0);
    std::string text = caption ? caption : "(null)";
    OrnEhBasisAccess::FreeCaptionText(&e, caption);
    return text;
}

// An MFC exception with a message longer than the wrapper keeps.
class LongMessageException : public CException {
public:
    BOOL GetErrorMessage(char* text, UINT max, UINT*) override {
        if (text && max) std::snprintf(text, max, "%s", std::string(3000, 'm').c_str());
        return TRUE;
    }
};

// A standard exception whose text cannot be had.
class BrokenWhat : public std::exception {
public:
    const char* what() const noexcept override { return nullptr; }
};

// --- OrnEhMFC -----------------------------------------------------------------

using MfcTest = KindReportTest;

TEST_F(MfcTest, AutoDeleteDeletesTheWrappedExceptionAfterCopyingIt) {
    const int before = ForeignException::destroyed;
    OrnEhMFC deleting(new ForeignException(TRUE), 1, 0);
    EXPECT_EQ(ForeignException::destroyed - before, 1);
    EXPECT_EQ(TextOf(deleting).text, "foreign failure");
    EXPECT_TRUE(TextOf(deleting).presentation);
    EXPECT_EQ(CaptionOf(deleting), "MFC");
    EXPECT_EQ(deleting.GetErrorNo(), 0u);
    EXPECT_EQ(deleting.GetErrorTextNo(), 1u);

    // autoDelete 0 leaves it to the caller; an MFC exception whose own flag is
    // off survives autoDelete 1 as well.
    auto* kept = new ForeignException(TRUE);
    auto* notDeletable = new ForeignException(FALSE);
    {
        OrnEhMFC keeping(kept, 0, 0);
        OrnEhMFC flagOff(notDeletable, 1, 0);
        EXPECT_EQ(TextOf(flagOff).text, "foreign failure");
    }
    EXPECT_EQ(ForeignException::destroyed - before, 1);
    delete kept;
    delete notDeletable;
}

TEST_F(MfcTest, MessageIsCutToTheRecordAndMissingPartsStayEmpty) {
    LongMessageException longMessage;
    OrnEhMFC cut(&longMessage, 0, 0);
    EXPECT_EQ(TextOf(cut).text, std::string(1023, 'm'));
    EXPECT_NE(RecordOf(cut).find("MFC-Exceptionklasse: CException\r\n"), std::string::npos);

    OrnEhMFC none(nullptr, 1, 0);
    EXPECT_EQ(TextOf(none).text, "");
    EXPECT_EQ(CaptionOf(none), "MFC");
    const std::string record = RecordOf(none);
    EXPECT_NE(record.find("MFC-Exceptionklasse: \r\nMFC-Fehlertext: \r\n"), std::string::npos) << record;
}

TEST_F(MfcTest, EmptyMessageIsReportedWithTheDefaultTextUnderTheMfcCaption) {
    new OrnEhMFC(nullptr, 0, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\n" + LangString(IDS_EH_DEFAULT_TEXT));
    EXPECT_EQ(m_dialog.last().caption, "MFC");
}

// --- OrnEhSTL -----------------------------------------------------------------

using StlTest = KindReportTest;

TEST_F(StlTest, KeepsTheTextOfWhat) {
    const std::bad_alloc badAlloc;
    OrnEhSTL e(badAlloc, 0);
    EXPECT_EQ(TextOf(e).text, badAlloc.what());
    EXPECT_TRUE(TextOf(e).presentation);
    EXPECT_EQ(e.GetErrorNo(), 0u);
    EXPECT_EQ(e.GetErrorTextNo(), 1u);
    const std::string record = RecordOf(e);
    const std::string what = std::string("What: ") + badAlloc.what() + "\r\n";
    ASSERT_GE(record.size(), what.size());
    EXPECT_EQ(record.substr(record.size() - what.size()), what) << record;
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
}

TEST_F(StlTest, CaptionIsTheLanguageModulesAndGoesBack) {
    OrnEhSTL e(std::runtime_error("kaputt"), 0);
    const long before = at::Outstanding();
    EXPECT_EQ(CaptionOf(e), LangString(IDS_EH_STL_CAPTION));
    EXPECT_EQ(at::Outstanding(), before);
}

TEST_F(StlTest, WhatWithoutTextGivesNoText) {
    OrnEhSTL e(BrokenWhat(), 0);
    EXPECT_FALSE(TextOf(e).found);
    EXPECT_NE(RecordOf(e).find("What: \r\n"), std::string::npos);
}

TEST_F(StlTest, ReportShowsWhatUnderTheStlCaption) {
    new OrnEhSTL(std::out_of_range("Index 7 zu gro\xDF"), 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\nIndex 7 zu gro\xDF");
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_STL_CAPTION));
    EXPECT_TRUE(zkqtest::IndentedBySix(LogText(), "Fehlerart: OrnEhSTL"));
}

// --- OrnEhMemory --------------------------------------------------------------

using MemoryTest = KindReportTest;

TEST_F(MemoryTest, DeleteLeavesItAlive) {
    auto* memory = new OrnEhMemory();
    EXPECT_FALSE(memory->m_bAutoDelete);
    memory->Delete();
    memory->SetSize(64);  // AddressSanitizer would see a freed object here
    EXPECT_EQ(memory->GetErrorTextNo(), 1u);
    EXPECT_EQ(memory->GetErrorNo(), 0u);
    delete memory;
}

TEST_F(MemoryTest, RecordEndsWithTheRequestedSize) {
    OrnEhMemory memory;
    const std::string label = "Gr\xF6\xDF" "e des angeforderten Speichers:";
    std::string record = RecordOf(memory);
    EXPECT_EQ(record.rfind("Fehlerart: OrnEhMemory\r\n", 0), 0u) << record;
    EXPECT_EQ(record.substr(record.size() - label.size() - 3), label + "0\r\n");
    memory.SetSize(1048576);
    record = RecordOf(memory);
    EXPECT_EQ(record.substr(record.size() - label.size() - 9), label + "1048576\r\n");
}

TEST_F(MemoryTest, TextAndCaptionAreCopiesTheKindReleases) {
    OrnEhMemory memory;
    const long before = at::Outstanding();
    OwnText text = TextOf(memory);
    EXPECT_EQ(text.text, LangString(IDS_EH_MEMORY_TEXT));
    EXPECT_TRUE(text.presentation);
    EXPECT_EQ(CaptionOf(memory), LangString(IDS_EH_MEMORY_CAPTION));
    EXPECT_EQ(at::Outstanding(), before);

    // Without memory for the copies there is no text and no caption.
    zkqtest::AllocFailureReset reset;
    at::FailAll();
    EXPECT_FALSE(TextOf(memory).found);
    EXPECT_EQ(CaptionOf(memory), "(null)");
}

}  // namespace
