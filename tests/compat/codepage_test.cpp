// Texts of the C library come as UTF-8 and become code page 1252 inside the
// library; what 1252 lacks, and broken sequences, become '?'.
#include <gtest/gtest.h>

#include <string>

#include "compat/codepage.h"

namespace {

std::string To1252(const std::string& utf8) {
    std::string out(utf8.size() + 1, 'x');
    orneh::compat::Utf8ToCp1252(utf8.c_str(), &out[0]);
    return out.c_str();
}

}  // namespace

TEST(CodePage, Utf8To1252) {
    EXPECT_EQ(To1252("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 5 \xE2\x80\x9E" "a\xE2\x80\x9C"), "Gr\xFC\xDF" "e \x80 5 \x84" "a\x93");
    EXPECT_EQ(To1252("\xC5\x81\xC3\xB3" "d\xC5\xBA \xF0\x9F\x98\x80!"), "?\xF3" "d? ?!") << "outside 1252";
    EXPECT_EQ(To1252("a\xC3 \xFF\x80x \xE2\x82"), "a? ??x ?") << "broken sequences";
    std::string all;  // every 1252 character there and back
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(To1252(orneh::compat::Cp1252ToUtf8(all.c_str())), all);
}
