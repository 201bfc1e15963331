// The calling thread's chain: linking, walking, releasing with the deferred
// deletion of the exception appended last, and deleting by class.
#include <gtest/gtest.h>

#include <thread>

#include "OrnEhMemory.h"
#include "runtime/admin.h"
#include "support/test_exceptions.h"

using zkqtest::DerivedTestException;
using zkqtest::TestException;

namespace {

class ChainTest : public ::testing::Test {
protected:
    void SetUp() override { zkqtest::ClearChain(); }
    void TearDown() override { zkqtest::ClearChain(); }
};

TEST_F(ChainTest, PushedExceptionsAreLinkedOldestFirst) {
    auto* e1 = new TestException("one", 1, 0, 1);
    auto* e2 = new TestException("two", 2, 0, 1);
    auto* e3 = new TestException("three", 3, 0, 1);
    EXPECT_EQ(OrnEhBasis::GetLast(), e3);
    EXPECT_EQ(e3->GetPrev(), e2);
    EXPECT_EQ(e1->GetNext(), e2);
    EXPECT_EQ(e3->GetFirst(), e1);
    EXPECT_EQ(e2->GetFirst(), e1);
    EXPECT_EQ(e1->GetPrev(), nullptr);
    EXPECT_EQ(e3->GetNext(), nullptr);
}

TEST_F(ChainTest, NotPushedExceptionLeavesTheChainAlone) {
    auto* held = new TestException("held", 1, 0, 1);
    TestException loose("loose", 2, 0, 0);
    EXPECT_EQ(OrnEhBasis::GetLast(), held);
    EXPECT_EQ(loose.GetPrev(), nullptr);
    EXPECT_EQ(loose.GetFirst(), &loose);
}

TEST_F(ChainTest, ReleaseDefersTheDeletionOfTheLastAppended) {
    int before = TestException::destroyed.load();
    new TestException("one", 1, 0, 1);
    new TestException("two", 2, 0, 1);
    auto* e3 = new TestException("three", 3, 0, 1);
    OrnEhBasis::Release();
    EXPECT_EQ(TestException::destroyed.load() - before, 2);
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    // e3 lives on, unlinked, until the next exception is appended.
    EXPECT_EQ(e3->GetPrev(), nullptr);
    EXPECT_EQ(e3->GetNext(), nullptr);
    EXPECT_EQ(e3->GetErrorNo(), 3u);

    auto* e4 = new TestException("four", 4, 0, 1);
    EXPECT_EQ(TestException::destroyed.load() - before, 3);
    EXPECT_EQ(OrnEhBasis::GetLast(), e4);
    EXPECT_EQ(e4->GetPrev(), nullptr);
}

TEST_F(ChainTest, OwnerDeletingTheReleasedExceptionMakesTheContainerForgetIt) {
    auto* e1 = new TestException("one", 1, 0, 1);
    OrnEhBasis::Release();
    int before = TestException::destroyed.load();
    delete e1;
    EXPECT_EQ(TestException::destroyed.load() - before, 1);
    new TestException("two", 2, 0, 1);
    EXPECT_EQ(TestException::destroyed.load() - before, 1);  // nothing deleted twice
}

TEST_F(ChainTest, ClassFilteredWalks) {
    auto* a = new TestException("a", 1, 0, 1);
    auto* b = new DerivedTestException("b", 1);
    auto* c = new TestException("c", 3, 0, 1);
    auto* d = new DerivedTestException("d", 1);
    CRuntimeClass* derived = RUNTIME_CLASS(DerivedTestException);
    CRuntimeClass* base = RUNTIME_CLASS(TestException);

    EXPECT_EQ(d->GetFirst(derived), b);
    EXPECT_EQ(a->GetFirst(base), a);  // the oldest itself is a candidate
    EXPECT_EQ(a->GetLast(derived), d);
    EXPECT_EQ(a->GetNext(derived), b);
    EXPECT_EQ(b->GetNext(derived), d);  // the object itself is never a candidate
    EXPECT_EQ(d->GetPrev(derived), b);
    EXPECT_EQ(b->GetPrev(derived), nullptr);
    EXPECT_EQ(c->GetNext(RUNTIME_CLASS(OrnEhMemory)), nullptr);
}

TEST_F(ChainTest, GetLastByClassSearchesTheCallingThreadsChain) {
    auto* mine = new TestException("mine", 1, 0, 1);
    OrnEhBasis* foundInOther = reinterpret_cast<OrnEhBasis*>(1);
    OrnEhBasis* othersOwn = nullptr;
    std::thread other([&] {
        othersOwn = new TestException("theirs", 2, 0, 1);
        foundInOther = mine->GetLast(RUNTIME_CLASS(TestException));
        zkqtest::ClearChain();
    });
    other.join();
    EXPECT_EQ(foundInOther, othersOwn);
    EXPECT_EQ(mine->GetLast(RUNTIME_CLASS(TestException)), mine);
}

TEST_F(ChainTest, DeleteOfClassKeepsTheOthersLinked) {
    auto* a = new TestException("a", 1, 0, 1);
    new DerivedTestException("b", 1);
    auto* c = new TestException("c", 3, 0, 1);
    GetCurrentContainer()->DeleteOfClass(RUNTIME_CLASS(DerivedTestException));
    EXPECT_EQ(OrnEhBasis::GetLast(), c);
    EXPECT_EQ(c->GetPrev(), a);
    EXPECT_EQ(a->GetNext(), c);
}

TEST_F(ChainTest, DeletingAHeldExceptionReleasesTheOlderOnes) {
    int before = TestException::destroyed.load();
    new TestException("one", 1, 0, 1);
    new TestException("two", 2, 0, 1);
    auto* e3 = new TestException("three", 3, 0, 1);
    delete e3;  // never released
    EXPECT_EQ(TestException::destroyed.load() - before, 3);
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
}

TEST_F(ChainTest, DeletingAHeldMiddleExceptionKeepsTheNewerOnes) {
    int before = TestException::destroyed.load();
    new TestException("one", 1, 0, 1);
    auto* e2 = new TestException("two", 2, 0, 1);
    auto* e3 = new TestException("three", 3, 0, 1);
    delete e2;
    EXPECT_EQ(TestException::destroyed.load() - before, 2);  // e2 and the older e1
    EXPECT_EQ(OrnEhBasis::GetLast(), e3);
    EXPECT_EQ(e3->GetPrev(), nullptr);
    EXPECT_EQ(e3->GetFirst(), e3);
}

TEST_F(ChainTest, PrevExceptionIsLinkedBeforeTheNewOne) {
    TestException* cause = new TestException("cause", 1, 0, 0);  // not in the chain
    auto* outer = new TestException("outer", 2, 0, 1, cause);
    EXPECT_EQ(outer->GetPrev(), cause);
    EXPECT_EQ(OrnEhBasis::GetLast(), outer);

    // One that is in the chain already keeps its place.
    auto* again = new TestException("again", 3, 0, 1, cause);
    EXPECT_EQ(again->GetPrev(), outer);
    EXPECT_EQ(outer->GetPrev(), cause);
}

TEST_F(ChainTest, ReserveExceptionSurvivesReleaseAndIsArmedAgain) {
    ExMultiThreadAdmin* admin = GetAdmin();
    admin->PrepareMemoryException(100);
    OrnEhBasis* reserve = OrnEhBasis::GetLast();
    ASSERT_NE(reserve, nullptr);
    EXPECT_TRUE(reserve->IsKindOf(RUNTIME_CLASS(OrnEhMemory)));
    OrnEhBasis::Release();
    admin->PrepareMemoryException(200);
    EXPECT_EQ(OrnEhBasis::GetLast(), reserve);
    // Arming it twice in a row does not link it to itself.
    admin->PrepareMemoryException(300);
    EXPECT_EQ(OrnEhBasis::GetLast(), reserve);
    EXPECT_EQ(reserve->GetPrev(), nullptr);
    // Delete() on the reserve leaves it alive.
    reserve->Delete();
    EXPECT_EQ(OrnEhBasis::GetLast(), reserve);
}

}  // namespace
