#ifndef ZKQ_TESTS_SUPPORT_TEST_UTIL_INL_H
#define ZKQ_TESTS_SUPPORT_TEST_UTIL_INL_H

#include "base/alloc.h"

namespace zkqtest {

template <typename Op, typename Check>
int ForEachAllocationFailure(Op op, Check check) {
    namespace at = orneh::base::alloctest;
    AllocFailureReset reset;
    const long baseline = at::Outstanding();
    for (int nth = 1; nth < 100000; ++nth) {
        at::FailNth(static_cast<unsigned long>(nth));
        op();
        bool fired = at::Fired();
        at::Reset();
        if (!fired) return nth - 1;
        check(nth);
        EXPECT_EQ(at::Outstanding(), baseline) << "a leak when allocation " << nth << " failed";
    }
    return -1;
}

}  // namespace zkqtest

#endif
