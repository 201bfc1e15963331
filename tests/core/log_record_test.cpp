// The text the library writes about errors: one exception's record, the
// report entry of a chain (newest first) and the details text (oldest first).
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "OrnEhLogFile.h"
#include "OrnEhMFC.h"
#include "OrnEhMemory.h"
#include "core/log_record.h"
#include "platform/system.h"
#include "runtime/admin.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::TestException;

namespace {

std::string Ids(unsigned long raisedIn) {
    return "ProzessId: " + std::to_string(getpid()) + "   Aufgetreten in Thread: " +
           std::to_string(raisedIn) + "   Ausgegeben in Thread: " +
           std::to_string(orneh::platform::CurrentThreadId()) + "\r\n";
}

// The record as written into memory mode (no indentation).
std::string RecordOf(const OrnEhBasis& e) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    EXPECT_EQ(log.SetMemoryMode(1), 1);
    static_cast<const TestException&>(e).Log(log);
    std::string text = log.GetMemoryText();
    log.SetMemoryMode(0);
    return text;
}

class LogRecordTest : public ::testing::Test {
protected:
    void SetUp() override { zkqtest::ClearChain(); }
    void TearDown() override { zkqtest::ClearChain(); }
};

TEST_F(LogRecordTest, RecordOfOneException) {
    TestException e("open failed", 5, 1200, 0);
    EXPECT_EQ(RecordOf(e),
              "Fehlerursache: open failed\r\n"
              "Source: test.cpp\r\n"
              "Methode: TestClass :: Method\r\n"
              "Fehlernummer: 5\r\n"
              "Fehlertextnummer: 1200   \xDC" "berschriftennummer: 0\r\n" +
                  Ids(orneh::platform::CurrentThreadId()));
}

TEST_F(LogRecordTest, NullTextsLeaveTheirLabelsAlone) {
    struct Bare : public OrnEhBasis {
        Bare() : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, 0) {}
        ~Bare() override { CheckBeforeDelete(); }
        using OrnEhBasis::Log;
    } bare;
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    bare.Log(log);
    EXPECT_EQ(std::string(log.GetMemoryText()),
              "Fehlerursache: \r\nSource: \r\nMethode:  :: \r\nFehlernummer: 0\r\n"
              "Fehlertextnummer: 0   \xDC" "berschriftennummer: 0\r\n" +
                  Ids(orneh::platform::CurrentThreadId()));
    log.SetMemoryMode(0);
}

TEST_F(LogRecordTest, ParameterLinesStandBetweenNumbersAndIds) {
    OrnEhParam params(2);
    params.SetParam("a.txt");
    TestException e("c", params, 7, 0);
    std::string record = RecordOf(e);
    std::string expectedTail =
        "berschriftennummer: 0\r\nParameter: a.txt\r\nParameter: \r\n" + Ids(orneh::platform::CurrentThreadId());
    EXPECT_NE(record.find(expectedTail), std::string::npos) << record;
}

TEST_F(LogRecordTest, ReportEntryListsTheChainNewestFirst) {
    zkqtest::ScopedStandardLog standard(zkqtest::WorkDir(), "entry.log");
    ::unlink(standard.path().c_str());
    new TestException("oldest", 1, 0, 1);
    new TestException("newest", 2, 0, 1);
    OrnEhBasis::Log("the message", nullptr, 0);
    std::string text = zkqtest::ReadFile(standard.path());

    ASSERT_EQ(text.compare(0, 8, "Fehler: "), 0) << text;
    std::string::size_type afterDate = text.find("\r\n") + 2;
    std::string rec = Ids(orneh::platform::CurrentThreadId());
    // TestException has no kind head, so its record carries the entry's
    // three blanks; NewLine at the start of a line writes them before CR LF.
    std::string record2 =
        "   Fehlerursache: newest\r\n   Source: test.cpp\r\n   Methode: TestClass :: Method\r\n"
        "   Fehlernummer: 2\r\n   Fehlertextnummer: 0   \xDC" "berschriftennummer: 0\r\n   " + rec;
    std::string record1 =
        "   Fehlerursache: oldest\r\n   Source: test.cpp\r\n   Methode: TestClass :: Method\r\n"
        "   Fehlernummer: 1\r\n   Fehlertextnummer: 0   \xDC" "berschriftennummer: 0\r\n   " + rec;
    std::string expected = "   Fehlermeldung: the message\r\n   Anwendung: zkqtest\r\n   \r\n" +
                           record2 + "   \r\n" + record1 + "   \r\n   \r\n" +
                           std::string(68, '*') + "\r\n\r\n\r\n";
    std::string actual = text.substr(afterDate);
    EXPECT_EQ(actual, expected);
    // The chain is still there: Log does not release it.
    EXPECT_NE(OrnEhBasis::GetLast(), nullptr);
}

TEST_F(LogRecordTest, DetailsTextListsTheChainOldestFirstWithoutIndentation) {
    new TestException("oldest", 1, 0, 1);
    new TestException("newest", 2, 0, 1);
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    ASSERT_TRUE(orneh::core::WriteDetailsText(log, OrnEhBasis::GetLast()));
    std::string text = log.GetMemoryText();
    std::string::size_type afterDate = text.find("\r\n") + 2;
    EXPECT_EQ(text.compare(0, 8, "Fehler: "), 0);
    std::string rest = text.substr(afterDate);
    EXPECT_EQ(rest.compare(0, 24, "\r\nAnwendung: zkqtest\r\n\r\n"), 0) << rest;
    std::string::size_type oldest = rest.find("Fehlerursache: oldest");
    std::string::size_type newest = rest.find("Fehlerursache: newest");
    ASSERT_NE(oldest, std::string::npos);
    ASSERT_NE(newest, std::string::npos);
    EXPECT_LT(oldest, newest);
    EXPECT_EQ(rest.find("Fehlermeldung"), std::string::npos);
    EXPECT_EQ(rest.find("\r\n "), std::string::npos);  // no line is indented
    log.SetMemoryMode(0);
}

TEST_F(LogRecordTest, LogOffWritesNothingAndKeepsTheChain) {
    zkqtest::ScopedStandardLog standard(zkqtest::WorkDir(), "off.log", OrnEhLogOff, 0);
    ::unlink(standard.path().c_str());
    auto* e = new TestException("kept", 1, 0, 1);
    OrnEhBasis::Log("nothing", nullptr, 0);
    EXPECT_FALSE(zkqtest::FileExists(standard.path()));
    EXPECT_EQ(OrnEhBasis::GetLast(), e);
}

TEST_F(LogRecordTest, KindRecordsCarryTheirHeadAndLines) {
    OrnEhMemory memory;
    memory.SetSize(1048576);
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    memory.Log(log);
    std::string text = log.GetMemoryText();
    log.SetMemoryMode(0);
    EXPECT_EQ(text.compare(0, 22, "Fehlerart: OrnEhMemory"), 0) << text;
    EXPECT_NE(text.find("Gr\xF6\xDF" "e des angeforderten Speichers:1048576\r\n"), std::string::npos);

    zkqtest::ForeignException* foreign = new zkqtest::ForeignException();
    int destroyedBefore = zkqtest::ForeignException::destroyed.load();
    OrnEhMFC wrapper(foreign, 1, 0);
    EXPECT_EQ(zkqtest::ForeignException::destroyed.load() - destroyedBefore, 1);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    wrapper.Log(log);
    text = log.GetMemoryText();
    log.SetMemoryMode(0);
    EXPECT_NE(text.find("MFC-Exceptionklasse: ForeignException\r\nMFC-Fehlertext: foreign failure\r\n"),
              std::string::npos)
        << text;
}

}  // namespace
