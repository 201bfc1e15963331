#include "OrnEhParam.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/alloc.h"
#include "platform/format_message.h"
#include "support/test_util.h"

namespace {

namespace at = orneh::platform::alloctest;

// Slot texts as strings; "<null>" for an empty slot.
std::string Slot(const OrnEhParam& list, unsigned short index) {
    const char* text = list.GetParam(index);
    return text ? std::string(text) : std::string("<null>");
}

TEST(OrnEhParamTest, ValuesFillSlotsInOrder) {
    OrnEhParam list(3);
    list.SetParam("first");
    list.SetParam(static_cast<unsigned short>(7));
    EXPECT_EQ(3, list.GetParamAnz());
    EXPECT_EQ("first", Slot(list, 0));
    EXPECT_EQ("7", Slot(list, 1));
    EXPECT_EQ("<null>", Slot(list, 2));
    EXPECT_EQ("<null>", Slot(list, 3));
    EXPECT_EQ("<null>", Slot(list, 65535));
    unsigned short slots = 0;
    char** values = list.GetParamArray(&slots);
    ASSERT_NE(nullptr, values);
    EXPECT_EQ(3, slots);
    EXPECT_STREQ("first", values[0]);
    EXPECT_EQ(nullptr, values[2]);
}

TEST(OrnEhParamTest, FullListDropsFurtherValues) {
    OrnEhParam list(3);
    list.SetParam("a");
    list.SetParam("b");
    list.SetParam("c");
    long before = at::Outstanding();
    list.SetParam("d");
    list.SetParam(1L);
    EXPECT_EQ(before, at::Outstanding());
    EXPECT_EQ("a", Slot(list, 0));
    EXPECT_EQ("b", Slot(list, 1));
    EXPECT_EQ("c", Slot(list, 2));
    EXPECT_EQ("<null>", Slot(list, 3));
}

TEST(OrnEhParamTest, ZeroSlotsAcceptNothing) {
    OrnEhParam list(0);
    list.SetParam("x");
    list.SetParam('c');
    EXPECT_EQ(0, list.GetParamAnz());
    EXPECT_EQ(nullptr, list.GetParam(0));
    unsigned short slots = 99;
    list.GetParamArray(&slots);
    EXPECT_EQ(0, slots);
}

TEST(OrnEhParamTest, NullTextIsNotStored) {
    OrnEhParam list(2);
    list.SetParam(static_cast<const char*>(nullptr));
    list.SetParam("");
    list.SetParam("after");
    EXPECT_EQ("", Slot(list, 0));
    EXPECT_EQ("after", Slot(list, 1));
}

TEST(OrnEhParamTest, TextIsCopied) {
    char text[] = "original";
    OrnEhParam list(1);
    list.SetParam(text);
    text[0] = 'X';
    EXPECT_EQ("original", Slot(list, 0));
    EXPECT_NE(static_cast<const char*>(text), list.GetParam(0));
}

TEST(OrnEhParamTest, NumbersBecomeText) {
    OrnEhParam list(9);
    list.SetParam(static_cast<unsigned short>(65535));
    list.SetParam(static_cast<short>(-1));
    list.SetParam(4294967295UL);
    list.SetParam(-7L);
    list.SetParam('x');
    list.SetParam(static_cast<short>(-32768));
    list.SetParam(0UL);
    list.SetParam(-9223372036854775807L - 1);
    list.SetParam(18446744073709551615UL);
    EXPECT_EQ("65535", Slot(list, 0));
    EXPECT_EQ("-1", Slot(list, 1));
    EXPECT_EQ("4294967295", Slot(list, 2));
    EXPECT_EQ("-7", Slot(list, 3));
    EXPECT_EQ("x", Slot(list, 4));
    EXPECT_EQ("-32768", Slot(list, 5));
    EXPECT_EQ("0", Slot(list, 6));
    EXPECT_EQ("-9223372036854775808", Slot(list, 7));
    EXPECT_EQ("18446744073709551615", Slot(list, 8));
}

TEST(OrnEhParamTest, DoublesUseWidthAndPrecision) {
    OrnEhParam list(5);
    list.SetParam(3.14159, 6, 2);
    list.SetParam(3.14159, 8, 2);
    list.SetParam(-0.5, 0, 3);
    list.SetParam(1234567.0, 1, 3);
    list.SetParam(2.5, 0, 0);
    EXPECT_EQ("   3.1", Slot(list, 0));
    EXPECT_EQ("     3.1", Slot(list, 1));
    EXPECT_EQ("-0.5", Slot(list, 2));
    EXPECT_EQ("1.23e+06", Slot(list, 3));
    EXPECT_EQ("2", Slot(list, 4));
}

TEST(OrnEhParamTest, OverlongDoubleIsCutAt99Characters) {
    OrnEhParam list(3);
    list.SetParam(1.5, 200, 2);
    list.SetParam(1e-300, 0, 65535);
    list.SetParam(1.5, 65535, 65535);
    ASSERT_NE(nullptr, list.GetParam(0));
    EXPECT_EQ(std::string(99, ' '), Slot(list, 0));
    EXPECT_EQ(99u, Slot(list, 1).size());
    EXPECT_EQ("1.000000000000000", Slot(list, 1).substr(0, 17));
    EXPECT_EQ(99u, Slot(list, 2).size());
}

TEST(OrnEhParamTest, CopyIsDeepAndIndependent) {
    long before = at::Outstanding();
    {
        auto* original = new OrnEhParam(3);
        ASSERT_NE(nullptr, original);
        original->SetParam("one");
        OrnEhParam copy(*original);
        OrnEhParam copyOfCopy(copy);
        EXPECT_EQ("one", Slot(copyOfCopy, 0));
        EXPECT_EQ(3, copy.GetParamAnz());
        EXPECT_EQ("one", Slot(copy, 0));
        EXPECT_NE(original->GetParam(0), copy.GetParam(0));
        EXPECT_EQ(nullptr, copy.GetParam(1));
        EXPECT_EQ(nullptr, copy.GetParam(2));

        // Both go on independently; the copy outlives the original.
        original->SetParam("original");
        copy.SetParam("copy");
        EXPECT_EQ("original", Slot(*original, 1));
        delete original;
        EXPECT_EQ("one", Slot(copy, 0));
        EXPECT_EQ("copy", Slot(copy, 1));
        copy.SetParam("third");
        copy.SetParam("dropped");
        EXPECT_EQ("third", Slot(copy, 2));
    }
    EXPECT_EQ(before, at::Outstanding());
}

TEST(OrnEhParamTest, ClassAllocationUsesTheSeam) {
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    at::FailNth(1);
    OrnEhParam* failed = new OrnEhParam(2);
    EXPECT_EQ(nullptr, failed);
    at::Reset();

    OrnEhParam* list = new OrnEhParam(2);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(before + 3, at::Outstanding());  // object, list, slot array
    delete list;

    char file[] = "param_test.cpp";
    OrnEhParam* placed = new (file, __LINE__) OrnEhParam(1);
    ASSERT_NE(nullptr, placed);
    placed->SetParam("x");
    delete placed;
    OrnEhParam::operator delete(nullptr);
    OrnEhParam::operator delete(OrnEhParam::operator new(8, file, 1), file, 1);
    EXPECT_EQ(before, at::Outstanding());
}

// --- Allocation failure ----------------------------------------------------

TEST(OrnEhParamAllocationTest, Construction) {
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    int run = 0;  // equals the failing allocation's number in failing runs
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            ++run;
            OrnEhParam list(3);
            list.SetParam("a");
            unsigned short slots = 7;
            char** values = list.GetParamArray(&slots);
            if (run == 1) {  // no list
                EXPECT_EQ(0, list.GetParamAnz());
                EXPECT_EQ(nullptr, values);
                EXPECT_EQ(0, slots);
            } else if (run == 2) {  // no slot array
                EXPECT_EQ(3, list.GetParamAnz());
                EXPECT_EQ(nullptr, values);
                EXPECT_EQ(0, slots);
            } else if (run == 3) {  // the value's copy
                EXPECT_EQ(3, slots);
                EXPECT_EQ(nullptr, list.GetParam(0));
            } else {
                EXPECT_EQ("a", Slot(list, 0));
            }
            EXPECT_EQ(nullptr, list.GetParam(1));
        },
        [&](int failedAt) { EXPECT_EQ(before, at::Outstanding()) << failedAt; });
    EXPECT_EQ(3, allocations);  // list, slot array, one text
}

TEST(OrnEhParamAllocationTest, WithoutListOrWithoutSlotArray) {
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    {
        at::FailNth(1);
        OrnEhParam noList(3);
        at::Reset();
        noList.SetParam("a");
        EXPECT_EQ(0, noList.GetParamAnz());
        EXPECT_EQ(nullptr, noList.GetParam(0));
        OrnEhParam copy(noList);
        EXPECT_EQ(0, copy.GetParamAnz());

        at::FailNth(2);
        OrnEhParam noArray(3);
        at::Reset();
        noArray.SetParam("a");
        EXPECT_EQ(3, noArray.GetParamAnz());
        EXPECT_EQ(nullptr, noArray.GetParam(0));
        // A copy of it gets a slot array of its own and can take values.
        OrnEhParam arrayCopy(noArray);
        EXPECT_EQ(3, arrayCopy.GetParamAnz());
        arrayCopy.SetParam("b");
        EXPECT_EQ("b", Slot(arrayCopy, 0));
    }
    EXPECT_EQ(before, at::Outstanding());
}

TEST(OrnEhParamAllocationTest, SetParamKeepsTheCountOnFailure) {
    zkqtest::AllocFailureReset reset;
    OrnEhParam list(2);
    long before = at::Outstanding();
    at::FailNth(1);
    list.SetParam(42L);
    at::Reset();
    EXPECT_EQ(before, at::Outstanding());
    EXPECT_EQ(nullptr, list.GetParam(0));
    // The failed value left no gap: the next one takes slot 0.
    list.SetParam("next");
    EXPECT_EQ("next", Slot(list, 0));
    EXPECT_EQ(nullptr, list.GetParam(1));
}

TEST(OrnEhParamAllocationTest, CopyKeepsAGaplessPrefix) {
    zkqtest::AllocFailureReset reset;
    OrnEhParam source(4);
    source.SetParam("a");
    source.SetParam("b");
    source.SetParam("c");
    long before = at::Outstanding();
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            OrnEhParam copy(source);
            unsigned short slots = 0;
            char** values = copy.GetParamArray(&slots);
            if (!values) return;
            EXPECT_EQ(4, slots);
            // Every value up to the first missing one, then nothing.
            unsigned short stored = 0;
            while (stored < slots && values[stored]) ++stored;
            for (unsigned short i = stored; i < slots; ++i) EXPECT_EQ(nullptr, values[i]);
            for (unsigned short i = 0; i < stored; ++i) EXPECT_EQ(Slot(source, i), Slot(copy, i));
            // Later values go in directly behind the prefix (unless this
            // value's copy is the one that fails).
            bool failedBefore = at::Fired();
            copy.SetParam("z");
            if (stored < slots) {
                if (failedBefore || !at::Fired()) {
                    EXPECT_EQ("z", Slot(copy, stored));
                } else {
                    EXPECT_EQ(nullptr, copy.GetParam(stored));
                }
            }
        },
        [&](int failedAt) { EXPECT_EQ(before, at::Outstanding()) << failedAt; });
    EXPECT_EQ(6, allocations);  // list, slot array, three texts, "z"
    EXPECT_EQ(before, at::Outstanding());
}

// --- The slot array as insert arguments -------------------------------------

TEST(OrnEhParamTest, SlotsFillTheInsertsOfAText) {
    OrnEhParam list(3);
    list.SetParam("a.txt");
    list.SetParam(12L);
    unsigned short slots = 0;
    char** values = list.GetParamArray(&slots);
    unsigned long error = 0;
    char* text = orneh::platform::FormatInserts("Datei %1 fehlt (%2)[%3]", values, slots, "",
                                                &error);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("Datei a.txt fehlt (12)[]", text);
    orneh::platform::Free(text);

    EXPECT_EQ(nullptr,
              orneh::platform::FormatInserts("%4", values, slots, "", &error));
    EXPECT_EQ(orneh::platform::kFormatInvalidInsert, error);
}

}  // namespace
