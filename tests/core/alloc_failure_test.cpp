// Memory running out at each allocation of construction, push and release:
// the operation ends with its neutral result and nothing leaks.
#include <gtest/gtest.h>

#include "platform/alloc.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::TestException;
namespace at = orneh::platform::alloctest;

namespace {

TEST(AllocFailureTest, ConstructPushAndReleaseAtEveryAllocation) {
    zkqtest::ClearChain();
    zkqtest::AllocFailureReset reset;
    long baseline = at::Outstanding();
    int failures = 0;
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            OrnEhParam params(2);
            params.SetParam("a.txt");
            auto* older = new TestException("older", 1, 0, 1);
            auto* e = new TestException("newer", params, 7, 1);
            // Whatever failed, the objects that exist are consistent.
            if (e && older && e->GetPrev() != nullptr) {
                EXPECT_EQ(e->GetPrev(), older);
            }
            if (e && e->GetErrorTextNo() != 0) {
                EXPECT_EQ(e->GetErrorTextNo(), 7u);
            }
            // An exception that could not be linked (it has no record) is
            // its owner's to delete.
            bool eLinked = e && OrnEhBasis::GetLast() == e;
            bool olderLinked = older && (OrnEhBasis::GetLast() == older || (e && e->GetPrev() == older));
            OrnEhBasis::Release();
            at::Reset();
            zkqtest::ClearChain();
            if (!eLinked) delete e;
            if (!olderLinked) delete older;
        },
        [&](int nth) {
            ++failures;
            EXPECT_EQ(at::Outstanding(), baseline) << "failing allocation " << nth;
        });
    EXPECT_GT(allocations, 5);
    EXPECT_EQ(failures, allocations);
    EXPECT_EQ(at::Outstanding(), baseline);
}

TEST(AllocFailureTest, ExceptionWithoutRecordIsEmptyAndNeutral) {
    zkqtest::ClearChain();
    zkqtest::AllocFailureReset reset;
    long baseline = at::Outstanding();
    at::FailAll();
    TestException* e = new TestException("x", 5, 6, 1);
    at::Reset();
    EXPECT_EQ(e, nullptr);  // the class operator new gives null

    // A record that cannot be had leaves an empty exception.
    at::FailNth(1);
    TestException empty("x", 5, 6, 1);
    at::Reset();
    EXPECT_EQ(empty.GetErrorNo(), 0u);
    EXPECT_EQ(empty.GetErrorTextNo(), 0u);
    empty.SetErrorNo(3);
    EXPECT_EQ(empty.GetErrorNo(), 0u);
    EXPECT_EQ(empty.GetNext(), nullptr);
    EXPECT_EQ(empty.GetPrev(), nullptr);
    EXPECT_EQ(empty.GetFirst(), &empty);
    EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);  // never linked
    EXPECT_EQ(at::Outstanding(), baseline);
}

}  // namespace
