// OrnEhParam: values as text, the fixed slots, copies, the log lines, and
// allocation failure at every step.
#include "OrnEhParam.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "OrnEhLogFile.h"
#include "base/alloc.h"
#include "support/test_util.h"

namespace {

namespace at = orneh::base::alloctest;

std::string Slot(const OrnEhParam& list, unsigned short index) {
    const char* text = list.GetParam(index);
    return text ? text : "<null>";
}

// What list.Log writes.
std::string LogText(const OrnEhParam& list) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    EXPECT_EQ(log.SetMemoryMode(1), 1);
    list.Log(log);
    const std::string text = log.GetMemoryText() ? log.GetMemoryText() : "";
    log.SetMemoryMode(0);
    return text;
}

// "<slots>:<text or - per slot> " and whether Log writes any line.
std::string Summary(OrnEhParam& list) {
    std::string out = std::to_string(list.GetParamAnz()) + ":";
    for (unsigned short i = 0; i < list.GetParamAnz(); ++i) out += (list.GetParam(i) ? Slot(list, i) : "-") + " ";
    return out + (LogText(list).empty() ? "silent" : "logs");
}

TEST(OrnEhParamTest, ValueText) {
    // The extremes of each type: its sign and the full width of its buffer.
    using Set = std::function<void(OrnEhParam&)>;
    const std::pair<Set, std::string> cases[] = {
        {[](OrnEhParam& l) { l.SetParam(static_cast<unsigned short>(65535)); }, "65535"},
        {[](OrnEhParam& l) { l.SetParam(static_cast<short>(-32768)); }, "-32768"},
        {[](OrnEhParam& l) { l.SetParam(18446744073709551615UL); }, "18446744073709551615"},
        {[](OrnEhParam& l) { l.SetParam(-9223372036854775807L - 1); }, "-9223372036854775808"},
        {[](OrnEhParam& l) { l.SetParam('x'); }, "x"},
        {[](OrnEhParam& l) { l.SetParam(3.14159, 6, 2); }, "   3.1"},
        {[](OrnEhParam& l) { l.SetParam(1234567.0, 1, 3); }, "1.23e+06"},
        // The printed number is cut at 99 characters.
        {[](OrnEhParam& l) { l.SetParam(1.5, 200, 2); }, std::string(99, ' ')},
        {[](OrnEhParam& l) { l.SetParam(1.5, 65535, 65535); }, std::string(99, ' ')},
        {[](OrnEhParam& l) { l.SetParam(""); }, ""},
    };
    for (const auto& [set, text] : cases) {
        OrnEhParam list(1);
        set(list);
        EXPECT_EQ(text, Slot(list, 0)) << text;
    }
}

TEST(OrnEhParamTest, FixedSlots) {
    char text[] = "a.txt";
    OrnEhParam list(3);
    list.SetParam(text);
    list.SetParam(static_cast<const char*>(nullptr));  // not stored
    list.SetParam(12L);
    text[0] = 'X';  // the list holds its own copy
    EXPECT_EQ("3:a.txt 12 - logs", Summary(list));
    EXPECT_EQ("<null>|<null>", Slot(list, 3) + "|" + Slot(list, 65535));
    EXPECT_EQ("Parameter: a.txt\r\nParameter: 12\r\nParameter: \r\n", LogText(list));
    list.SetParam("c");
    const long before = at::Outstanding();
    list.SetParam("d");  // full: dropped without allocating
    list.SetParam(1L);
    EXPECT_EQ(before, at::Outstanding());
    EXPECT_EQ("3:a.txt 12 c logs", Summary(list));
    OrnEhParam none(0);
    none.SetParam("x");
    EXPECT_EQ("0:silent", Summary(none));
}

TEST(OrnEhParamTest, DeepCopy) {
    const long before = at::Outstanding();
    {
        zkqtest::AllocFailureReset reset;
        at::FailNth(1);
        EXPECT_EQ(nullptr, new OrnEhParam(2));  // the class allocates through the seam
    }
    {
        char file[] = "param_test.cpp";
        OrnEhParam* original = new (file, __LINE__) OrnEhParam(3);
        ASSERT_NE(nullptr, original);
        original->SetParam("one");
        OrnEhParam copy(*original);
        EXPECT_NE(original->GetParam(0), copy.GetParam(0));
        original->SetParam("original");
        delete original;
        copy.SetParam("copy");
        OrnEhParam copyOfCopy(copy);
        EXPECT_EQ("3:one copy - logs", Summary(copyOfCopy));
    }
    EXPECT_EQ(before, at::Outstanding());  // every text freed exactly once
}

// Summaries of the list that make leaves with its 1st, 2nd ... allocation
// failing, and last without any failure (with a copy's summary where it
// differs); nothing may leak.
std::vector<std::string> Sweep(const std::function<void(std::optional<OrnEhParam>&)>& make) {
    std::optional<OrnEhParam> list;
    std::vector<std::string> seen;
    auto record = [&] {
        OrnEhParam copy(*list);
        const std::string own = Summary(*list), copied = Summary(copy);
        seen.push_back(own == copied ? own : own + " copy " + copied);
        list.reset();
    };
    zkqtest::ForEachAllocationFailure([&] { make(list); }, [&](int) { record(); });
    record();
    return seen;
}

TEST(OrnEhParamAllocationTest, AllocationFailure) {
    // Short texts go into the list's own block; a long one gets a block of
    // its own, and a copy takes every text into its one block.
    const std::string longText(60, 'x');
    EXPECT_EQ(Sweep([&](auto& l) { l.emplace(3); l->SetParam("a"); l->SetParam(longText.c_str()); l->SetParam("b"); }),
              (std::vector<std::string>{"0:silent", "3:a b - logs", "3:a " + longText + " b logs"}));
    OrnEhParam source(4);
    for (const char* text : {"a", longText.c_str(), "c"}) source.SetParam(text);
    EXPECT_EQ(Sweep([&](auto& l) { l.emplace(source); l->SetParam("z"); }),
              (std::vector<std::string>{"0:silent", "4:a " + longText + " c z logs"}));
}

}  // namespace
