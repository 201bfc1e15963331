// String resources: bundles, code page 1252 conversion, missing strings
// and truncation into small buffers.
#include <gtest/gtest.h>

#include <string>

#include "resource_test_support.h"

namespace {

using restest::ModuleGuard;

std::string Load(HINSTANCE module, unsigned id) {
    char buffer[256];
    long length = OrnResLoadString(module, id, buffer, sizeof buffer);
    if (length < 0) return "<missing>";
    EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(buffer));
    return buffer;
}

class ResourceStrings : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_module = OrnResLoadModule(restest::ModulePath(GetParam()).c_str());
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override { OrnResFreeModule(m_module); }
    HINSTANCE m_module = nullptr;
};

TEST_P(ResourceStrings, LoadsStringsOfEveryBundle) {
    EXPECT_EQ(Load(m_module, 1), "Hello");
    EXPECT_EQ(Load(m_module, 4), "A somewhat longer string for the truncation tests.");
    EXPECT_EQ(Load(m_module, 17), "seventeen");    // bundle 2
    EXPECT_EQ(Load(m_module, 4660), "far away");   // bundle 292, slot 4
}

TEST_P(ResourceStrings, ConvertsToCodePage1252) {
    // ü ß € Š Ÿ: the last three lie in 1252's 0x80-0x9F range.
    EXPECT_EQ(Load(m_module, 2), "Gr\xFC\xDF" "e \x80 \x8A\x9F");
    // CJK, a surrogate pair, a lone surrogate: one '?' each; € again.
    EXPECT_EQ(Load(m_module, 3), "wide ?|?|?|\x80");
}

TEST_P(ResourceStrings, MissingStringsAreMinusOne) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(OrnResLoadString(m_module, 0, buffer, sizeof buffer), -1);   // empty slot of an existing bundle
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(OrnResLoadString(m_module, 16, buffer, sizeof buffer), -1);  // slot 0 of bundle 2
    EXPECT_EQ(OrnResLoadString(m_module, 5, buffer, sizeof buffer), -1);
    EXPECT_EQ(OrnResLoadString(m_module, 40, buffer, sizeof buffer), -1);  // no bundle at all
    EXPECT_EQ(OrnResLoadString(m_module, 0x10001, buffer, sizeof buffer), -1);  // would wrap onto 1
}

TEST_P(ResourceStrings, TruncatesIntoSmallBuffersAndReportsTheFullLength) {
    const long full = 50;
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(OrnResLoadString(m_module, 4, buffer, 10), full);
    EXPECT_STREQ(buffer, "A somewha");
    EXPECT_EQ(buffer[10], 'x');  // nothing written behind the given size

    EXPECT_EQ(OrnResLoadString(m_module, 4, buffer, 1), full);
    EXPECT_STREQ(buffer, "");
    // Size 0 (or no buffer) only asks for the length.
    buffer[0] = 'y';
    EXPECT_EQ(OrnResLoadString(m_module, 4, buffer, 0), full);
    EXPECT_EQ(buffer[0], 'y');
    EXPECT_EQ(OrnResLoadString(m_module, 4, nullptr, 100), full);
    // A buffer of exactly length + 1 takes the whole string.
    char exact[6];
    EXPECT_EQ(OrnResLoadString(m_module, 1, exact, sizeof exact), 5);
    EXPECT_STREQ(exact, "Hello");
}

INSTANTIATE_TEST_SUITE_P(ResAndDll, ResourceStrings, ::testing::Values("sample.res", "sample.dll"));

TEST(ResourceStringBundles, CutOffBundleGivesMissingNotGarbage) {
    // A bundle whose second string claims more units than the entry holds.
    std::string bundle;
    restest::Put16(bundle, 2);
    bundle += restest::Wide("ok");
    restest::Put16(bundle, 40);
    bundle += restest::Wide("short");
    restest::ResBuilder res;
    res.Add(ORN_RT_STRING, 1, bundle);
    ModuleGuard module(restest::FromBytes(res.bytes()));
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(Load(module.get(), 0), "ok");
    EXPECT_EQ(Load(module.get(), 1), "<missing>");
    EXPECT_EQ(Load(module.get(), 2), "<missing>");
}

}  // namespace
