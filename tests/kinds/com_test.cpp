// OrnEhCOM: what it copies out of a _com_error (with and without an error
// object), its text, caption and record, and the messages of _com_error for
// results the system has no text for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OrnEhCOM.h"
#include "OrnLangIds.h"
#include "compat/OrnEhComDef.h"
#include "core/basis_info.h"
#include "kinds/kind_test_util.h"
#include "platform/alloc.h"
#include "platform/system_message.h"

namespace at = orneh::platform::alloctest;
using zkqtest::KindReportTest;
using zkqtest::LangString;
using zkqtest::RecordOf;

namespace {

const HWND kNoWindow = nullptr;

// What a failing component leaves behind.
class ErrorObject : public IErrorInfo {
public:
    ErrorObject(const char* description, const char* source, const char* helpFile,
                DWORD helpContext, GUID guid)
        : m_description(description), m_source(source), m_helpFile(helpFile),
          m_helpContext(helpContext), m_guid(guid) {}
    _bstr_t GetDescription() const override { return m_description; }
    _bstr_t GetSource() const override { return m_source; }
    _bstr_t GetHelpFile() const override { return m_helpFile; }
    DWORD GetHelpContext() const override { return m_helpContext; }
    GUID GetGUID() const override { return m_guid; }

private:
    const char* m_description;
    const char* m_source;
    const char* m_helpFile;
    DWORD m_helpContext;
    GUID m_guid;
};

// {00020400-0000-0000-C000-000000000046}
const GUID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::string TextOf(const OrnEhCOM& e) {
    unsigned long messageType = 9, captionNo = 9;
    short logFlag = 9, showFlag = 9;
    char* text = e.GetErrorTextInfo(nullptr, 1, messageType, captionNo, logFlag, showFlag);
    EXPECT_EQ(messageType, 0u);
    EXPECT_EQ(captionNo, 0u);
    EXPECT_EQ(logFlag, 1);
    EXPECT_EQ(showFlag, 1);
    return text ? text : "(null)";
}

// The system's message for an HRESULT without its line break.
std::string HresultText(HRESULT hr) {
    char* message = orneh::platform::HresultMessage(hr);
    std::string text = message ? message : "";
    orneh::platform::Free(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

using ComTest = KindReportTest;

TEST_F(ComTest, FailureWithoutErrorObjectShowsTheSystemMessage) {
    OrnEhCOM e(_com_error(E_FAIL), 0);
    EXPECT_EQ(e.GetErrorNo(), 2147500037ul);
    EXPECT_EQ(e.GetErrorTextNo(), 1u);
    const std::string system = HresultText(E_FAIL);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(TextOf(e), system);

    const std::string record = RecordOf(e);
    EXPECT_EQ(record.rfind("Fehlerart: OrnEhCOM\r\nFehlerursache: \r\nSource: \r\nMethode:  :: \r\n"
                           "Fehlernummer: 2147500037\r\nFehlertextnummer: 1",
                           0),
              0u)
        << record;
    const std::string comLines = "HRESULT: 80004005\r\nDescription: \r\nHelpContext: 0\r\nHelpFile: \r\n"
                                 "Source: \r\nErrorMessage: " + system +
                                 "\r\nInterface-ID: 0-0-0-00-000000\r\n";
    ASSERT_GE(record.size(), comLines.size());
    EXPECT_EQ(record.substr(record.size() - comLines.size()), comLines) << record;
}

TEST_F(ComTest, DescriptionOfTheComponentIsTheText) {
    ErrorObject info("Komponente meldet Fehler", "Comp.Server.1", "hilfe.chm", 4711, kIDispatch);
    OrnEhCOM e(_com_error(E_INVALIDARG, &info), 0);
    EXPECT_EQ(TextOf(e), "Komponente meldet Fehler");
    const std::string record = RecordOf(e);
    const std::string comLines = "HRESULT: 80070057\r\nDescription: Komponente meldet Fehler\r\n"
                                 "HelpContext: 4711\r\nHelpFile: hilfe.chm\r\nSource: Comp.Server.1\r\n"
                                 "ErrorMessage: " + HresultText(E_INVALIDARG) +
                                 "\r\nInterface-ID: 20400-0-0-c00-0000046\r\n";
    ASSERT_GE(record.size(), comLines.size());
    EXPECT_EQ(record.substr(record.size() - comLines.size()), comLines) << record;
}

TEST_F(ComTest, EmptyDescriptionCountsAsNone) {
    ErrorObject info("", "", "", 0, GUID_NULL);
    OrnEhCOM e(_com_error(E_NOINTERFACE, &info), 0);
    EXPECT_EQ(TextOf(e), HresultText(E_NOINTERFACE));
    EXPECT_NE(RecordOf(e).find("Description: \r\nHelpContext: 0\r\nHelpFile: \r\nSource: \r\n"),
              std::string::npos);
}

TEST_F(ComTest, ResultsWithoutSystemMessageGetTheirOwnMessage) {
    struct Case {
        DWORD hresult;
        const char* message;
    };
    for (const Case& c : {Case{0x80040201u, "IDispatch error #1"}, Case{0x80040200u, "IDispatch error #0"},
                          Case{0x8004FFFFu, "IDispatch error #65023"},
                          Case{0x80050000u, "Unknown error 0x80050000"},
                          Case{0x8004001Fu, "Unknown error 0x8004001F"}}) {
        const _com_error error(static_cast<HRESULT>(c.hresult));
        EXPECT_STREQ(error.ErrorMessage(), c.message);
        OrnEhCOM e(error, 0);
        EXPECT_EQ(TextOf(e), c.message);
        EXPECT_NE(RecordOf(e).find(std::string("ErrorMessage: ") + c.message + "\r\n"), std::string::npos);
    }
}

TEST_F(ComTest, ReportShowsTheTextWithTheComCaption) {
    ErrorObject info("Server antwortet nicht", "Comp.Server.1", "", 0, kIDispatch);
    new OrnEhCOM(_com_error(E_FAIL, &info), 1);
    EXPECT_EQ(OrnEhBasis::Report(kNoWindow, nullptr, 0, nullptr), IDOK);
    ASSERT_EQ(m_dialog.shown().size(), 1u);
    EXPECT_EQ(m_dialog.last().message, "#00001\r\n\r\nServer antwortet nicht");
    EXPECT_EQ(m_dialog.last().caption, LangString(IDS_EH_COM_CAPTION));
    const std::string log = LogText();
    EXPECT_TRUE(zkqtest::IndentedBySix(log, "Fehlerart: OrnEhCOM")) << log;
    EXPECT_NE(log.find("      Interface-ID: 20400-0-0-c00-0000046\r\n"), std::string::npos) << log;
}

TEST_F(ComTest, AllocationFailuresLeaveTheHresultAndLeakNothing) {
    zkqtest::AllocFailureReset reset;
    ErrorObject info("Beschreibung", "Quelle", "Datei", 1, kIDispatch);
    const _com_error error(E_FAIL, &info);
    const long before = at::Outstanding();
    unsigned long errorNo = 0;
    bool hasRecord = false;
    std::string text;
    zkqtest::ForEachAllocationFailure(
        [&] {
            OrnEhCOM e(error, 0);
            errorNo = e.GetErrorNo();
            hasRecord = OrnEhBasisAccess::Info(&e) != nullptr;
            unsigned long messageType, captionNo;
            short logFlag, showFlag;
            char* t = e.GetErrorTextInfo(nullptr, 1, messageType, captionNo, logFlag, showFlag);
            text = t ? t : "(null)";
        },
        [&](int failedAt) {
            EXPECT_EQ(at::Outstanding(), before) << failedAt;
            // Only an exception without its own record reads 0.
            EXPECT_EQ(errorNo, hasRecord ? 2147500037ul : 0ul) << failedAt;
            // A text that could not be copied is absent, nothing else changes.
            EXPECT_TRUE(text == "Beschreibung" || text == HresultText(E_FAIL) || text == "(null)")
                << failedAt << ": " << text;
        });
}

}  // namespace
