// The exported thread functions and the reserve exception, seen from the
// threads that use them.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "OrnEh.h"
#include "platform/fault_translator.h"
#include "runtime/admin.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::TestException;

namespace {

using ThreadExportsTest = zkqtest::EmptyChainTest;

// OrnEhExistMARLOException and the chain handed out and in, in a fresh thread.
TEST_F(ThreadExportsTest, ChainStates) {
    std::string exists;  // OrnEhExistMARLOException at each step
    std::thread([&] {
        exists += std::to_string(OrnEhExistMARLOException());  // registers the thread
        new TestException("a", 1, 0, 1);
        exists += std::to_string(OrnEhExistMARLOException());
        OrnEhBasis::Release();  // the released exception stays alive as current
        exists += std::to_string(OrnEhExistMARLOException());
        EXPECT_EQ(OrnEhGetExceptions(), nullptr);  // and is no chain to hand out
        OrnEhBasis* older = new TestException("b", 2, 0, 1);
        OrnEhBasis* newer = new TestException("c", 3, 0, 1);
        OrnEhSetExceptions(newer);  // handing a thread its own chain changes nothing
        EXPECT_EQ(zkqtest::ChainNumbers(), "2 3 ");
        OrnEhBasis* chain = OrnEhGetExceptions();
        exists += std::to_string(OrnEhExistMARLOException());
        delete chain;
        delete older;  // a chain taken out leaves its older exceptions to its owner
        zkqtest::ClearChain();
    }).join();
    EXPECT_EQ(exists, "0100");
}

TEST_F(ThreadExportsTest, InitTwice) {
    ExMultiThreadAdminInfo* first = nullptr;
    ExMultiThreadAdminInfo* second = nullptr;
    bool translator = false;
    std::thread worker([&] {
        OrnEhInitThreadExHandling();
        first = GetAdmin()->FindRecord();
        orneh::platform::SetSeTranslator(nullptr);
        OrnEhInitThreadExHandling();
        second = GetAdmin()->FindRecord();
        translator = orneh::platform::GetSeTranslator() != nullptr;
    });
    worker.join();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(translator);
}

TEST_F(ThreadExportsTest, EndThreadRelease) {
    int before = TestException::destroyed.load();
    new TestException("a", 1, 0, 1);
    new TestException("b", 2, 0, 1);
    OrnEhEndThreadExHandling();
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    EXPECT_EQ(TestException::destroyed.load() - before, 1);
    EXPECT_NE(GetAdmin()->FindRecord(), nullptr);  // the thread stays registered
}

// Terminate functions run newest first; a removal takes one registration.
std::string g_calls;
void F() { g_calls += "f"; }
void G() { g_calls += "g"; }

}  // namespace

namespace orneh {
namespace runtime {
void CallTerminateFunctions();
}
}  // namespace orneh

namespace {

TEST_F(ThreadExportsTest, TerminateFunctionOrder) {
    auto run = [] { g_calls.clear(); orneh::runtime::CallTerminateFunctions(); return g_calls; };
    for (auto* f : {&F, &F, &G}) OrnEhSetTerminateFunction(f);
    EXPECT_EQ(run(), "gff");
    OrnEhDeleteTerminateFunction(&F);
    EXPECT_EQ(run(), "gf");
    for (auto* f : {&F, &G, &G}) OrnEhDeleteTerminateFunction(f);  // the second G is not there any more
    EXPECT_EQ(run(), "");
}

}  // namespace
