// The calling thread's chain: linking, walking, releasing with the deferred
// deletion of the exception appended last, deleting by class or while held,
// memory running out; and the records the library writes about a chain.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>

#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "base/alloc.h"
#include "platform/system.h"
#include "runtime/admin.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace at = orneh::base::alloctest;
using zkqtest::ChainNumbers;
using zkqtest::TestException;

namespace {

class ChainTest : public zkqtest::EmptyChainTest {
protected:
    int Deleted() const { return TestException::destroyed.load() - m_before; }
    const int m_before = TestException::destroyed.load();
};

TEST_F(ChainTest, PushAndDeferredDeletion) {
    auto* e1 = new TestException("one", 1, 0, 0);  // push 0: in no chain
    EXPECT_EQ(ChainNumbers(), "");
    auto* e2 = new TestException("two", 2, 0, 1, e1);    // its cause is linked in before it
    auto* e3 = new TestException("three", 3, 0, 1, e1);  // a cause in the chain already stays
    EXPECT_EQ(ChainNumbers(), "1 2 3 ");
    EXPECT_EQ(e2->GetFirst(), e1);

    OrnEhBasis::Release();
    EXPECT_EQ(Deleted(), 2);
    EXPECT_EQ(ChainNumbers(), "");
    EXPECT_TRUE(e3->GetPrev() == nullptr && e3->GetNext() == nullptr);  // alive and unlinked
    auto* e4 = new TestException("four", 4, 0, 1);
    EXPECT_EQ(Deleted(), 3);
    EXPECT_EQ(ChainNumbers(), "4 ");

    // An owner that deletes the deferred exception itself: the container
    // forgets it, and the next push deletes nothing.
    OrnEhBasis::Release();
    delete e4;
    new TestException("five", 5, 0, 1);
    EXPECT_EQ(Deleted(), 4);
}

TEST_F(ChainTest, ClassFilter) {
    auto* a = new TestException("a", 1, 0, 1);
    auto* b = new zkqtest::DerivedTestException("b", 1);
    new TestException("c", 3, 0, 1);
    auto* d = new zkqtest::DerivedTestException("d", 1);
    CRuntimeClass* derived = RUNTIME_CLASS(zkqtest::DerivedTestException);
    EXPECT_EQ(d->GetFirst(derived), b);
    EXPECT_EQ(a->GetFirst(RUNTIME_CLASS(TestException)), a);  // the oldest itself is a candidate
    EXPECT_EQ(b->GetNext(derived), d);                         // the object itself is never one
    EXPECT_EQ(b->GetPrev(derived), nullptr);

    // GetLast by class searches the calling thread's chain, whoever is asked.
    OrnEhBasis *foundInOther = a, *othersOwn = nullptr;
    std::thread([&] {
        othersOwn = new TestException("theirs", 2, 0, 1);
        foundInOther = a->GetLast(RUNTIME_CLASS(TestException));
        zkqtest::ClearChain();
    }).join();
    EXPECT_EQ(foundInOther, othersOwn);

    GetCurrentContainer()->DeleteOfClass(derived);
    EXPECT_EQ(ChainNumbers(), "1 3 ");
}

// A held exception deleted by hand (never released) logs the chain and
// takes the older exceptions with it.
TEST_F(ChainTest, DeletedHeldException) {
    zkqtest::TempDir dir;
    zkqtest::ScopedStandardLog log(dir.path(), "held.log");
    new TestException("one", 1, 0, 1);
    auto* e2 = new TestException("two", 2, 0, 1);
    new TestException("three", 3, 0, 1);
    delete e2;
    EXPECT_EQ(Deleted(), 2);
    EXPECT_NE(zkqtest::ReadFile(log.path()).find("Fehlerursache: one"), std::string::npos);
    EXPECT_EQ(ChainNumbers(), "3 ");

    // An older one deleted by hand: the newest, which its catcher still
    // holds, keeps its deferred deletion through the release.
    auto* caught = new TestException("four", 4, 0, 1);
    delete caught->GetPrev();
    OrnEhBasis::Release();
    EXPECT_EQ(Deleted(), 3);
    EXPECT_EQ(caught->GetErrorNo(), 4u);
    delete caught;

    // The held newest of a chain taken out of its thread: that chain is
    // logged, not the thread's empty one.
    auto* older = new TestException("taken older", 5, 0, 1);
    auto* taken = new TestException("taken newest", 6, 0, 1);
    ASSERT_EQ(OrnEhGetExceptions(), taken);
    delete taken;
    EXPECT_TRUE(zkqtest::Contains(zkqtest::ReadFile(log.path()), {"Fehlerursache: taken newest", "Fehlerursache: taken older"}));
    EXPECT_EQ(older->GetNext(), nullptr);
    delete older;  // still nobody's but its owner's
}

TEST_F(ChainTest, ForeignExceptionWithoutMemory) {
    zkqtest::EveryAllocationFails([] {
        const int before = zkqtest::ForeignException::destroyed.load();
        auto* foreign = new zkqtest::ForeignException(TRUE);
        auto* e = new TestException("wrapping", 1, 0, 1, foreign, 1);
        at::Reset();
        if (!e) delete foreign;  // never handed over
        TestException* owned = OrnEhBasisAccess::Info(e) ? nullptr : e;
        zkqtest::ClearChain();
        delete owned;
        return "foreign deleted " + std::to_string(zkqtest::ForeignException::destroyed.load() - before);
    }, {}, "foreign deleted 1", 2);
}

TEST_F(ChainTest, ReserveException) {
    GetAdmin()->PrepareMemoryException(100);
    OrnEhBasis* reserve = OrnEhBasis::GetLast();
    ASSERT_TRUE(reserve && reserve->IsKindOf(RUNTIME_CLASS(OrnEhMemory)));
    OrnEhBasis::Release();
    GetAdmin()->PrepareMemoryException(200);
    GetAdmin()->PrepareMemoryException(300);  // twice in a row: not linked to itself
    EXPECT_EQ(OrnEhBasis::GetLast(), reserve);
    EXPECT_EQ(ChainNumbers(), "0 ");
    // The new handler throws it, with the size asked for.
    OrnEhBasis* thrown = nullptr;
    try {
        OrnEhMarloNewHandler(1234);
    } catch (OrnEhMemory* e) {
        thrown = e;
    }
    EXPECT_TRUE(thrown == reserve && OrnEhBasis::GetLast() == reserve && ChainNumbers() == "0 ");
    EXPECT_TRUE(zkqtest::Contains(zkqtest::RecordOf(*reserve), {"Speichers:1234\r\n"}));
}

TEST_F(ChainTest, AllocationFailure) {
    zkqtest::AllocFailureReset reset;
    at::FailAll();
    EXPECT_EQ(new TestException("x", 5, 6, 1), nullptr);  // the class operator new
    at::FailNth(1);
    TestException empty("x", 5, 6, 1);  // without its record: neutral, never linked
    at::Reset();
    empty.SetErrorNo(3);
    EXPECT_EQ(empty.GetErrorNo() + empty.GetErrorTextNo(), 0u);
    EXPECT_TRUE(empty.GetFirst() == &empty && OrnEhBasis::GetLast() == nullptr);

    const std::string longCause(2000, 'o');  // too large for the room behind its object
    const int allocations = zkqtest::ForEachAllocationFailure([&] {
        OrnEhParam params(2);
        params.SetParam("a.txt");
        auto* older = new TestException(longCause.c_str(), 1, 0, 1);
        auto* e = new TestException("newer", params, 7, 1);
        // Whatever failed, what exists is consistent.
        EXPECT_TRUE(!e || !e->GetPrev() || e->GetPrev() == older);
        EXPECT_TRUE(!e || e->GetErrorTextNo() == 0 || e->GetErrorTextNo() == 7);
        // One without its record was never linked: its owner's to delete.
        TestException* owned[] = {OrnEhBasisAccess::Info(e) ? nullptr : e, OrnEhBasisAccess::Info(older) ? nullptr : older};
        OrnEhBasis::Release();
        at::Reset();
        zkqtest::ClearChain();
        for (TestException* x : owned) delete x;
    }, [](int) {});
    // The list, the older object and its record (a block of its own), the
    // newer one with its record behind it in one block (texts and the
    // parameters' copy inside): a record that fails leaves its exception empty.
    EXPECT_EQ(allocations, 4);
}

// --- What is written about exceptions ------------------------------------------

// The record of a TestException raised and written in this thread, every line
// after indent, with params lines before the last one.
std::string Record(const std::string& cause, int errorNo, int textNo, const std::string& indent = "",
                   const std::string& params = "") {
    const std::string thread = std::to_string(orneh::platform::CurrentThreadId());
    std::string text = "Fehlerursache: " + cause + "\r\nSource: test.cpp\r\nMethode: TestClass :: Method\r\n"
                       "Fehlernummer: " + std::to_string(errorNo) + "\r\nFehlertextnummer: " + std::to_string(textNo) +
                       "   \xDC" "berschriftennummer: 0\r\n" + params + "ProzessId: " + std::to_string(getpid()) +
                       "   Aufgetreten in Thread: " + thread + "   Ausgegeben in Thread: " + thread + "\r\n";
    for (std::size_t pos = 0; pos < text.size(); pos = text.find("\r\n", pos) + 2) text.insert(pos, indent);
    return text;
}

TEST_F(ChainTest, ReportEntryOrder) {
    zkqtest::ScopedStandardLog standard(zkqtest::WorkDir(), "entry.log");
    ::unlink(standard.path().c_str());
    OrnEhParam params(2);
    params.SetParam("a.txt");
    new TestException("oldest", params, 7, 1);
    new TestException("middle", 2, 0, 1);
    struct Bare : OrnEhBasis {  // every text null
        Bare() : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, 1) {}
        ~Bare() override { CheckBeforeDelete(); }
    };
    new Bare;
    OrnEhBasis::Log("the message", nullptr, 0);
    const std::string text = zkqtest::ReadFile(standard.path());
    // The date as day.month.year and the time, unpadded.
    ASSERT_TRUE(std::regex_search(text, std::regex("^Fehler: \\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d{1,2}:\\d{1,2}:\\d{1,2}\r\n"))) << text;
    // Each label of a null text stands alone; the method line keeps its " :: ".
    std::string bare = Record("", 0, 0, "   ");
    bare.erase(bare.find("test.cpp"), 8);
    bare.replace(bare.find("TestClass :: Method"), 19, " :: ");
    // TestException has no kind head, so its lines carry the entry's three
    // blanks; NewLine at the start of a line writes them before CR LF.
    EXPECT_EQ(text.substr(text.find("\r\n") + 2),
              "   Fehlermeldung: the message\r\n   Anwendung: zkqtest\r\n   \r\n" + bare + "   \r\n" +
                  Record("middle", 2, 0, "   ") + "   \r\n" +
                  Record("oldest", 0, 7, "   ", "Parameter: a.txt\r\nParameter: \r\n") + "   \r\n   \r\n" +
                  std::string(68, '*') + "\r\n\r\n\r\n");
    EXPECT_EQ(ChainNumbers(), "0 2 0 ");  // Log does not release the chain

    // With logging off nothing is written, and the chain stays as well.
    zkqtest::ScopedStandardLog off(zkqtest::WorkDir(), "off.log", OrnEhLogOff, 0);
    OrnEhBasis::Log("nothing", nullptr, 0);
    EXPECT_FALSE(zkqtest::FileExists(off.path()));
    EXPECT_EQ(ChainNumbers(), "0 2 0 ");
}

// Without a configured log file, the newest exception that names a file of
// its own decides where the entry goes; a configured file comes first.
TEST_F(ChainTest, LogDestination) {
    struct OwnLog : TestException {
        OwnLog(const char* cause, std::string path) : TestException(cause, 1, 0, 1), m_path(std::move(path)) {}
        ~OwnLog() override { CheckBeforeDelete(); }
        void GetLogFileInfos(char* name, OrnEhLogfileStyle& style, unsigned long& maxSize) const override {
            std::snprintf(name, 261, "%s", m_path.c_str());
            style = OrnEhLogUnlimited;
            maxSize = 0;
        }
        std::string m_path;
    };
    zkqtest::ScopedStandardLog standard(zkqtest::WorkDir(), "hooks-standard.log");
    const std::string older = zkqtest::WorkDir() + "/older.log", newer = zkqtest::WorkDir() + "/newer.log";
    ::unlink(standard.path().c_str()), ::unlink(older.c_str()), ::unlink(newer.c_str());
    new OwnLog("older", older);
    new TestException("no wish", 2, 0, 1);
    OrnEhBasis::Log("configured", nullptr, 0);
    EXPECT_NE(zkqtest::ReadFile(standard.path()).find("Fehlermeldung: configured"), std::string::npos);

    GetAdmin()->SetLogFileInfos(nullptr, OrnEhLogUnlimited, 0, nullptr, nullptr, nullptr);
    OrnEhBasis::Log("first", nullptr, 0);
    EXPECT_NE(zkqtest::ReadFile(older).find("Fehlermeldung: first"), std::string::npos);
    new OwnLog("newer", newer);
    OrnEhBasis::Log("second", nullptr, 0);
    EXPECT_NE(zkqtest::ReadFile(newer).find("Fehlermeldung: second"), std::string::npos);
    EXPECT_EQ(zkqtest::ReadFile(older).find("second"), std::string::npos);
}

}  // namespace
