// The insert formatter against the reference outputs of FormatMessage, our
// choices where the reference reads past its arguments, and memory failure.
#include "compat/format_message.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_util.h"
#include "base/alloc.h"

namespace {

namespace pf = orneh::compat;

const char* const kWords[] = {"ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN", "EIGHT", "NINE", "TEN", "ELEVEN", "TWELVE"};

// The formatted text, or "!" and the failure code.
std::string Format(const char* text, const char* const* args = kWords, std::size_t count = 12, const char* null = "(null)") {
    unsigned long error = 0;
    char* result = pf::FormatInserts(text, args, count, null, &error);
    const std::string out = result ? std::string(result) : "!" + std::to_string(error);
    orneh::base::Free(result);
    return out;
}

TEST(FormatInsertsTest, Inserts) {
    const std::pair<const char*, const char*> withWords[] = {
        {"Datei %1 fehlt", "Datei ONE fehlt"}, {"%1 and %2", "ONE and TWO"}, {"%2 %1 %1", "TWO ONE ONE"},
        {"%1%2", "ONETWO"}, {"%9", "NINE"}, {"%10", "TEN"}, {"%12", "TWELVE"}, {"%100", "TEN0"}, {"%123", "TWELVE3"},
        {"%1%%%2", "ONE%TWO"}, {"100%% sure", "100% sure"}, {"%%1", "%1"}, {"a%nb", "a\r\nb"}, {"%r%b", "\rb"},
        {"tab%tend", "tab\tend"}, {"dot%.", "dot."}, {"bang%!", "bang!"}, {"sp% x", "sp x"}, {"%A", "A"},
        {"x%0y", "x"}, {"%1%0%2", "ONE"}, {"%0", "!235"}, {"%0%1", "!235"}, {"", "!235"},  // %0 ends the message
        {"line1\r\nline2", "line1\r\nline2"}, {"lf\nonly", "lf\r\nonly"}, {"cr\ronly", "cr\r\nonly"},
        {"\r\r\n", "\r\n\r\n"}, {"end\r", "end\r\n"}, {"\n\r", "\r\n\r\n"}, {"  spaces  %n  ", "  spaces  \r\n  "},
        {"trailing %", "!87"}, {"%", "!87"},
        // !fmt! is a printf string conversion for that insert.
        {"%1!s! and %2!5s!", "ONE and   TWO"}, {"%1!-5s!|", "ONE  |"}, {"%1!.2s!|", "ON|"}, {"[%1!.0s!]", "[]"},
        {"[%1!.s!]", "[]"}, {"[%1!6.2s!]", "[    ON]"}, {"[%1!-6.2s!]", "[ON    ]"}, {"[%1!2s!]", "[ONE]"},
        {"[%1!05s!]", "[00ONE]"}, {"[%1!-05s!]", "[ONE  ]"}, {"[%1!+ #5s!]", "[  ONE]"}, {"[%1!hs!]", "[ONE]"},
        {"[%1!s, done!]", "[ONE, done]"}, {"%10!3s!", "TEN"},
    };
    for (const auto& [text, expected] : withWords) EXPECT_EQ(Format(text), expected) << text;
    // Anything but a plain string conversion would read a text as a number, or
    // read on without bound: it fails the formatting.
    for (const char* text : {"%1!d!", "%1!u!", "%1!x!", "%1!p!", "%1!c!", "%1!f!", "%1!n!", "%1!S!", "%1!ls!", "%1!ws!",
                             "%1!hhs!", "%1!*s!", "%1!.*s!", "%1!-*s!", "%1!5", "%1!s", "%1!", "%1!!", "%1!s%s!", "%1!s%!",
                             "%1!65536s!", "%1!.65536s!", "%1!99999999999999999999s!"}) {
        EXPECT_EQ(Format(text), "!87") << text;
    }
    EXPECT_EQ(Format("%1!65535s!"), std::string(65532, ' ') + "ONE") << "the widest width";
    // Inserts beyond the arguments fail and read nothing; so do inserts without
    // an argument array, while a text without inserts formats. A null argument
    // inserts the text given for it.
    const char* const two[] = {"a", "b"};
    const char* const withNull[] = {"a", nullptr, "c"};
    char unterminated[3] = {'x', 'y', 'z'};  // precision bounds what is read
    const char* const raw[] = {unterminated, "a\nb\rc%1%n", "x!y"};
    EXPECT_EQ(Format("%1%2", two, 2) + Format("%1%3", two, 2) + Format("%99", two, 2) + Format("%1", two, 0), "ab!87!87!87");
    EXPECT_EQ(Format("100%% a%nb", nullptr, 0) + Format("plain", nullptr, 0), "100% a\r\nbplain");
    EXPECT_EQ(Format("Datei %1 fehlt", nullptr, 0) + Format(nullptr) + Format("%1", nullptr, 5), "!87!87!87");
    EXPECT_EQ(Format("%1-%2-%3", withNull, 3) + Format("%1-%2-%3", withNull, 3, nullptr), "a-(null)-ca-(null)-c");
    EXPECT_EQ(Format("%1-%2-%3", withNull, 3, "") + Format("[%2!3s!]", withNull, 3, "") + Format("%2", withNull, 3, ""),
              "a--c[   ]!235");
    EXPECT_EQ(Format("%1!.3s!", raw, 3) + Format("[%2][%3]", raw, 3), "xyz[a\nb\rc%1%n][x!y]") << "arguments copied as they are";
    EXPECT_EQ(pf::FormatInserts("%1", nullptr, 0, "", nullptr), nullptr) << "no error pointer needed";
}

TEST(FormatInsertsTest, AllocationFailure) {
    zkqtest::EveryAllocationFails([] { return Format("%1 and %2!5s!%n"); }, {"!8"}, "ONE and   TWO\r\n", 1);
}

}  // namespace
