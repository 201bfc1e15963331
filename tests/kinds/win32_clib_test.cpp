// OrnEhWin32 (a failed system call with the system's message) and OrnEhCLib
// (a failed runtime-library call with the language module's tables 381/382):
// their numbers, texts, captions, records and reports.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "OrnEhCLib.h"
#include "OrnEhWin32.h"
#include "OrnLangIds.h"
#include "kinds/kind_test_util.h"
#include "platform/alloc.h"

namespace at = orneh::platform::alloctest;
using zkqtest::KindReportTest;
using zkqtest::LangString;
using zkqtest::RecordOf;

namespace {

const HWND kNoWindow = nullptr;

// The system's message as a Win32 message comes: the text and CR LF.
std::string SystemText(int code) { return std::string(std::strerror(code)) + "\r\n"; }

struct Win32Text {
    std::string text;
    bool found = false;
    unsigned long messageType = 99, captionNo = 99;
    short logFlag = 99, showFlag = 99;
};

Win32Text TextOf(const OrnEhWin32& e, unsigned long textNo) {
    Win32Text out;
    char* text = e.GetErrorTextInfo(nullptr, textNo, out.messageType, out.captionNo, out.logFlag,
                                    out.showFlag);
    out.found = text != nullptr;
    if (text) out.text = text;
    e.FreeErrorText(text);
    return out;
}

using Win32Test = KindReportTest;

TEST_F(Win32Test, ErrorNumberZeroTakesTheErrorOfTheFailedCall) {
    // On a fresh thread the constructor also registers the thread; the error
    // reported must still be the one of the failed call.
    unsigned long errorNo = 0, textNo = 0;
    bool inChain = false;
    std::thread worker([&] {
        int fd = ::open("/nonexistent-zkq/missing.txt", O_RDONLY);
        if (fd >= 0) ::close(fd);
        auto* e = new OrnEhWin32("win32_test.cpp", "open", "missing file", 0, 0, 1);
        errorNo = e->GetErrorNo();
        textNo = e->GetErrorTextNo();
        inChain = OrnEhBasis::GetLast() == e;
        zkqtest::ClearChain();
        OrnEhEndThreadExHandling();
    });
    worker.join();
    EXPECT_EQ(errorNo, static_cast<unsigned long>(ENOENT));
    EXPECT_EQ(textNo, static_cast<unsigned long>(ENOENT));
    EXPECT_TRUE(inChain);

    OrnEhWin32 e("s", "open", "c", ENOENT, 0, 0);
    Win32Text text = TextOf(e, e.GetErrorTextNo());
    EXPECT_EQ(text.text, SystemText(ENOENT));
    EXPECT_EQ(text.messageType, 0u);
    EXPECT_EQ(text.captionNo, 0u);
    EXPECT_EQ(text.logFlag, 1);
    EXPECT_EQ(text.showFlag, 1);
}

TEST_F(Win32Test, GivenNumberWinsAndLaterChangesKeepTheTextNumber) {
    errno = ENOENT;
    OrnEhWin32 e("s", "read", "c", EIO, 0, 0);
    EXPECT_EQ(e.GetErrorNo(), static_cast<unsigned long>(EIO));
    EXPECT_EQ(e.GetErrorTextNo(), static_cast<unsigned long>(EIO));
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);  // push 0

    e.SetErrorNo(3);
    EXPECT_EQ(e.GetErrorNo(), 3u);
    EXPECT_EQ(e.GetErrorTextNo(), static_cast<unsigned long>(EIO));
    EXPECT_EQ(TextOf(e, e.GetErrorTextNo()).text, SystemText(EIO));
}

TEST_F(Win32Test, TextAndCaptionGoBackThroughTheirOwnReleaseHooks) {
    OrnEhWin32 e("s", "m", "c", EACCES, 0, 0);
    const long before = at::Outstanding();
    char* caption = e.GetCaptionText(nullptr, 0);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(std::string(caption), LangString(IDS_EH_WIN32_CAPTION));
    e.FreeCaptionText(caption);
    Win32Text text = TextOf(e, EACCES);
    EXPECT_TRUE(text.found);
    EXPECT_EQ(at::Outstanding(), before);
    // A number the system has no message for.
    Win32Text none = TextOf(e, 100000);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.showFlag, 1);
}

TEST_F(Win32Test, ReportShowsTheSystemMessageWithTheWin32Caption) {
    new OrnEhWin32("s", "open", "c", ENOENT, 0, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00002\r\n\r\n" + SystemText(ENOENT));
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_WIN32_CAPTION));
    EXPECT_EQ(m_dialog.last().buttonType, 0u);
    EXPECT_EQ(m_dialog.last().iconType, 0u);
}

TEST_F(Win32Test, UnknownCodeIsReportedWithTheDefaultTextAndCaption) {
    new OrnEhWin32("s", "ioctl", "c", 100000, 0, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#100000\r\n\r\n" + LangString(IDS_EH_DEFAULT_TEXT));
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_DEFAULT_CAPTION));
    EXPECT_NE(LogText().find("Fehlerart: OrnEhWin32"), std::string::npos);
}

TEST_F(Win32Test, RecordHasTheKindHeadAndNoClassName) {
    OrnEhWin32 e(nullptr, "open", "c", ENOENT, 0, 0);
    const std::string record = RecordOf(e);
    EXPECT_EQ(record.rfind("Fehlerart: OrnEhWin32\r\nFehlerursache: c\r\n", 0), 0u) << record;
    EXPECT_NE(record.find("\r\nSource: \r\nMethode:  :: open\r\nFehlernummer: 2\r\n"), std::string::npos)
        << record;
}

// --- OrnEhCLib ------------------------------------------------------------------

using CLibTest = KindReportTest;

TEST_F(CLibTest, NumbersAndTablesOfTheLanguageModule) {
    OrnEhCLib e("s", "fopen", nullptr, 22, 0, 0);
    EXPECT_EQ(e.GetErrorNo(), 22u);
    EXPECT_EQ(e.GetErrorTextNo(), 1u);
    EXPECT_EQ(e.GetResIdForTextInfo(), 381u);
    EXPECT_EQ(e.GetResIdForCaption(), 382u);
    ASSERT_NE(e.GetResourceModulname(), nullptr);
    EXPECT_STREQ(e.GetResourceModulname(), orneh::module::LanguageModuleName());
    const std::string record = RecordOf(e);
    EXPECT_EQ(record.rfind("Fehlerart: OrnEhCLib\r\nFehlerursache: \r\nSource: s\r\n", 0), 0u) << record;
    EXPECT_NE(record.find("Methode:  :: fopen\r\nFehlernummer: 22\r\n"
                          "Fehlertextnummer: 1   \xDC" "berschriftennummer: 0\r\n"),
              std::string::npos)
        << record;
}

TEST_F(CLibTest, ReportShowsTextOneOfTable381WithItsCaption) {
    const zkqtest::LangTableRecord text = zkqtest::LangTable(IDR_EH_CLIB_TEXTS, 1, true);
    ASSERT_TRUE(text.found);
    const zkqtest::LangTableRecord caption =
        zkqtest::LangTable(IDR_EH_CLIB_CAPTIONS, text.captionNo, false);
    ASSERT_TRUE(caption.found);

    new OrnEhCLib("s", "fopen", "c", 2, 0, 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\n" + text.text);
    EXPECT_EQ(m_dialog.last().caption, caption.text);

    // In the log file the kind's lines carry six blanks.
    const std::string log = LogText();
    EXPECT_NE(log.find("\r\n   Fehlerart: OrnEhCLib\r\n      Fehlerursache: c\r\n"), std::string::npos)
        << log;
    EXPECT_TRUE(zkqtest::IndentedBySix(log, "Fehlerart: OrnEhCLib")) << log;
}

}  // namespace
