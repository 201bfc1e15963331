#include "OrnEh.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/alloc.h"
#include "support/test_util.h"

namespace {

namespace at = orneh::platform::alloctest;

TEST(OrnEhCopyStringTest, CopiesBytesAndTerminator) {
    long before = at::Outstanding();
    const char source[] = "Datei \xDC" "ber %1\r\n";
    char* copy = OrnEhCopyString(source);
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(source, copy);
    EXPECT_EQ(0, std::memcmp(source, copy, sizeof source));
    EXPECT_EQ(before + 1, at::Outstanding());
    OrnEhDeleteString(copy);
    EXPECT_EQ(before, at::Outstanding());
}

TEST(OrnEhCopyStringTest, EmptyTextGivesANewBlock) {
    const char empty[] = "";
    char* copy = OrnEhCopyString(empty);
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(empty, copy);
    EXPECT_EQ('\0', copy[0]);
    OrnEhDeleteString(copy);
}

TEST(OrnEhCopyStringTest, NullGivesNullAndAllocatesNothing) {
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    at::FailAll();
    EXPECT_EQ(nullptr, OrnEhCopyString(nullptr));
    EXPECT_FALSE(at::Fired());
    at::Reset();
    EXPECT_EQ(before, at::Outstanding());
    OrnEhDeleteString(nullptr);
    EXPECT_EQ(before, at::Outstanding());
}

TEST(OrnEhCopyStringTest, FailedAllocationGivesNull) {
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    char* copy = nullptr;
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] { copy = OrnEhCopyString("text"); },
        [&](int) {
            EXPECT_EQ(nullptr, copy);
            EXPECT_EQ(before, at::Outstanding());
        });
    EXPECT_EQ(1, allocations);
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ("text", copy);
    OrnEhDeleteString(copy);
}

}  // namespace
