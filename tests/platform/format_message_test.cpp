#include "platform/format_message.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/alloc.h"
#include "support/test_util.h"

namespace {

using orneh::platform::FormatInserts;
using orneh::platform::kFormatEmptyResult;
using orneh::platform::kFormatInvalidInsert;
using orneh::platform::kFormatNoMemory;

const char* const kWords[] = {"ONE", "TWO",   "THREE", "FOUR",   "FIVE",  "SIX",
                              "SEVEN", "EIGHT", "NINE", "TEN", "ELEVEN", "TWELVE"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

// The outcome of one formatting: the text, or the failure code.
struct Outcome {
    bool ok;
    std::string text;
    unsigned long error;
};

Outcome Format(const char* text, const char* const* args, std::size_t count,
            const char* nullArgument = "(null)") {
    unsigned long error = 0;
    char* result = FormatInserts(text, args, count, nullArgument, &error);
    if (!result) return {false, std::string(), error};
    std::string copy(result);
    orneh::platform::Free(result);
    return {true, copy, 0};
}

Outcome Words(const char* text) { return Format(text, kWords, kWordCount); }
Outcome NoArray(const char* text) { return Format(text, nullptr, 0); }

void ExpectText(const Outcome& outcome, const std::string& expected) {
    ASSERT_TRUE(outcome.ok) << "failed with " << outcome.error;
    EXPECT_EQ(expected, outcome.text);
    EXPECT_EQ(expected.size(), outcome.text.size());
}

void ExpectFailure(const Outcome& outcome, unsigned long error) {
    EXPECT_FALSE(outcome.ok) << "gave \"" << outcome.text << "\"";
    EXPECT_EQ(error, outcome.error);
}

TEST(FormatInsertsTest, NumberedInserts) {
    ExpectText(Words("Datei %1 fehlt"), "Datei ONE fehlt");
    ExpectText(Words("%1 and %2"), "ONE and TWO");
    ExpectText(Words("%2 %1 %1"), "TWO ONE ONE");
    ExpectText(Words("%1%2"), "ONETWO");
    ExpectText(Words("%9"), "NINE");
    ExpectText(Words("%10"), "TEN");
    ExpectText(Words("%12"), "TWELVE");
    // An insert number has at most two digits.
    ExpectText(Words("%100"), "TEN0");
    ExpectText(Words("%123"), "TWELVE3");
}

TEST(FormatInsertsTest, PercentEscapes) {
    ExpectText(Words("%1%%%2"), "ONE%TWO");
    ExpectText(Words("100%% sure"), "100% sure");
    ExpectText(Words("%%1"), "%1");
    ExpectText(Words("a%nb"), "a\r\nb");
    ExpectText(Words("%r%b"), "\rb");
    ExpectText(Words("tab%tend"), "tab\tend");
    ExpectText(Words("dot%."), "dot.");
    ExpectText(Words("bang%!"), "bang!");
    ExpectText(Words("sp% x"), "sp x");
    ExpectText(Words("%A"), "A");
}

TEST(FormatInsertsTest, PercentZeroEndsTheMessage) {
    ExpectText(Words("x%0y"), "x");
    ExpectText(Words("%1%0%2"), "ONE");
    ExpectFailure(Words("%0"), kFormatEmptyResult);
    ExpectFailure(Words("%0%1"), kFormatEmptyResult);
}

TEST(FormatInsertsTest, LineBreaks) {
    ExpectText(Words("line1\r\nline2"), "line1\r\nline2");
    ExpectText(Words("lf\nonly"), "lf\r\nonly");
    ExpectText(Words("cr\ronly"), "cr\r\nonly");
    ExpectText(Words("\r\r\n"), "\r\n\r\n");
    ExpectText(Words("end\r"), "end\r\n");
    ExpectText(Words("\n\r"), "\r\n\r\n");
    ExpectText(Words("  spaces  %n  "), "  spaces  \r\n  ");
}

TEST(FormatInsertsTest, InvalidTexts) {
    ExpectFailure(Words("trailing %"), kFormatInvalidInsert);
    ExpectFailure(Words("%"), kFormatInvalidInsert);
    ExpectFailure(Words(""), kFormatEmptyResult);
    ExpectFailure(Format(nullptr, kWords, kWordCount), kFormatInvalidInsert);
}

TEST(FormatInsertsTest, PrintfStringConversions) {
    ExpectText(Words("%1!s! and %2!5s!"), "ONE and   TWO");
    ExpectText(Words("%1!-5s!|"), "ONE  |");
    ExpectText(Words("%1!.2s!|"), "ON|");
    ExpectText(Words("[%1!.0s!]"), "[]");
    ExpectText(Words("[%1!.s!]"), "[]");
    ExpectText(Words("[%1!6.2s!]"), "[    ON]");
    ExpectText(Words("[%1!-6.2s!]"), "[ON    ]");
    ExpectText(Words("[%1!2s!]"), "[ONE]");
    ExpectText(Words("[%1!05s!]"), "[00ONE]");
    ExpectText(Words("[%1!-05s!]"), "[ONE  ]");
    ExpectText(Words("[%1!+ #5s!]"), "[  ONE]");
    ExpectText(Words("[%1!hs!]"), "[ONE]");
    ExpectText(Words("[%1!s, done!]"), "[ONE, done]");
    ExpectText(Words("%10!3s!"), "TEN");
}

TEST(FormatInsertsTest, UnsafeConversionsFail) {
    const char* const cases[] = {
        "%1!d!",   "%1!u!",  "%1!x!",  "%1!p!",  "%1!c!",  "%1!f!",  "%1!n!",
        "%1!S!",   "%1!ls!", "%1!ws!", "%1!hhs!", "%1!*s!", "%1!.*s!", "%1!-*s!",
        "%1!5",    "%1!s",   "%1!",    "%1!!",   "%1!s%s!", "%1!s%!",
        "%1!65536s!", "%1!.65536s!", "%1!99999999999999999999s!",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        ExpectFailure(Words(text), kFormatInvalidInsert);
    }
}

TEST(FormatInsertsTest, LargestWidthIsAccepted) {
    Outcome outcome = Words("%1!65535s!");
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(65535u, outcome.text.size());
    EXPECT_EQ("ONE", outcome.text.substr(65532));
    EXPECT_EQ(std::string(65532, ' '), outcome.text.substr(0, 65532));
}

TEST(FormatInsertsTest, InsertsBeyondTheArrayFail) {
    const char* const two[] = {"a", "b"};
    ExpectText(Format("%1%2", two, 2), "ab");
    ExpectFailure(Format("%1%3", two, 2), kFormatInvalidInsert);
    ExpectFailure(Format("%99", two, 2), kFormatInvalidInsert);
    ExpectFailure(Format("%1", two, 0), kFormatInvalidInsert);
}

TEST(FormatInsertsTest, WithoutArgumentArray) {
    ExpectText(NoArray("100%% a%nb"), "100% a\r\nb");
    ExpectText(NoArray("plain"), "plain");
    ExpectFailure(NoArray("Datei %1 fehlt"), kFormatInvalidInsert);
    // A count without an array still reads nothing.
    ExpectFailure(Format("%1", nullptr, 5), kFormatInvalidInsert);
}

TEST(FormatInsertsTest, NullArguments) {
    const char* const args[] = {"a", nullptr, "c"};
    ExpectText(Format("%1-%2-%3", args, 3), "a-(null)-c");
    ExpectText(Format("%1-%2-%3", args, 3, ""), "a--c");
    ExpectText(Format("%1-%2-%3", args, 3, nullptr), "a-(null)-c");
    ExpectText(Format("[%2!3s!]", args, 3, ""), "[   ]");
    // An empty insert alone is an empty result.
    ExpectFailure(Format("%2", args, 3, ""), kFormatEmptyResult);
}

TEST(FormatInsertsTest, ArgumentsAreCopiedVerbatim) {
    const char* const args[] = {"a\nb\rc%1%n", "x!y"};
    ExpectText(Format("[%1][%2]", args, 2), "[a\nb\rc%1%n][x!y]");
}

TEST(FormatInsertsTest, PrecisionReadsNoFurtherThanAsked) {
    // Precision bounds how much of an argument is read: no terminator is
    // needed behind those bytes.
    char unterminated[3] = {'x', 'y', 'z'};
    const char* const args[] = {unterminated};
    ExpectText(Format("%1!.3s!", args, 1), "xyz");
}

TEST(FormatInsertsTest, NoErrorPointerNeeded) {
    EXPECT_EQ(nullptr, FormatInserts("%1", nullptr, 0, "", nullptr));
    char* text = FormatInserts("ok", nullptr, 0, "", nullptr);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("ok", text);
    orneh::platform::Free(text);
}

TEST(FormatInsertsTest, AllocationFailure) {
    namespace at = orneh::platform::alloctest;
    zkqtest::AllocFailureReset reset;
    long before = at::Outstanding();
    unsigned long error = 0;
    char* result = nullptr;
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            error = 0;
            result = FormatInserts("%1 and %2!5s!%n", kWords, kWordCount, "", &error);
        },
        [&](int) {
            EXPECT_EQ(nullptr, result);
            EXPECT_EQ(kFormatNoMemory, error);
            EXPECT_EQ(before, at::Outstanding());
        });
    EXPECT_EQ(1, allocations);
    ASSERT_NE(nullptr, result);
    EXPECT_STREQ("ONE and   TWO\r\n", result);
    orneh::platform::Free(result);
    EXPECT_EQ(before, at::Outstanding());
}

}  // namespace
