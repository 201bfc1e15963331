// OrnEhCopyString and OrnEhDeleteString: a copy of its own through the
// allocation seam, null for null or a failed allocation.
#include "OrnEh.h"

#include <gtest/gtest.h>

#include "base/alloc.h"
#include "support/test_util.h"

namespace {

namespace at = orneh::base::alloctest;

TEST(OrnEhCopyStringTest, CopyOrNull) {
    const long before = at::Outstanding();
    for (const char* source : {"Datei \xDC" "ber %1\r\n", ""}) {
        char* copy = OrnEhCopyString(source);
        EXPECT_TRUE(copy && copy != source && std::string(copy) == source) << source;
        OrnEhDeleteString(copy);
    }
    EXPECT_EQ(before, at::Outstanding());
    char* copy = nullptr;
    EXPECT_EQ(1, zkqtest::ForEachAllocationFailure([&] { copy = OrnEhCopyString("text"); },
                                                   [&](int) { EXPECT_EQ(nullptr, copy); }));
    OrnEhDeleteString(copy);
    zkqtest::AllocFailureReset reset;
    at::FailAll();
    EXPECT_EQ(nullptr, OrnEhCopyString(nullptr));
    EXPECT_FALSE(at::Fired());  // null asks for no block
    at::Reset();
    OrnEhDeleteString(nullptr);
}

}  // namespace
