// OrnLanguageResManager: the calling thread's current module while it
// lives, the previous one again after it; other threads are not touched.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "OrnLangIds.h"
#include "OrnLanguageResManager.h"
#include "compat/OrnEhCString.h"

namespace {

std::string ModulePath(const char* language) {
    return std::string(ZKQ_LANG_SHARE_DIR) + "/ZKQTRNLANG101." + language + ".res";
}

TEST(LanguageResManager, SetsAndRestoresTheThreadsModule) {
    HINSTANCE de = OrnResLoadModule(ModulePath("de").c_str());
    HINSTANCE en = OrnResLoadModule(ModulePath("en").c_str());
    ASSERT_NE(de, nullptr);
    ASSERT_NE(en, nullptr);
    HINSTANCE before = OrnResGetThreadModule();
    ASSERT_EQ(before, nullptr);  // a thread starts without a module

    CString text("stale");
    EXPECT_FALSE(text.LoadString(IDS_EH_DEFAULT_CAPTION));
    EXPECT_STREQ(text, "");
    {
        OrnLanguageResManager outer(de);
        EXPECT_EQ(OrnResGetThreadModule(), de);
        ASSERT_TRUE(text.LoadString(IDS_EH_DEFAULT_CAPTION));
        EXPECT_STREQ(text, "Fehler");
        {
            OrnLanguageResManager inner(en);
            ASSERT_TRUE(text.LoadString(IDS_EH_DEFAULT_CAPTION));
            EXPECT_STREQ(text, "Error");

            HINSTANCE seenByOtherThread = de;
            std::thread([&] { seenByOtherThread = OrnResGetThreadModule(); }).join();
            EXPECT_EQ(seenByOtherThread, nullptr);
        }
        EXPECT_EQ(OrnResGetThreadModule(), de);
        ASSERT_TRUE(text.LoadString(IDS_EH_DEFAULT_CAPTION));
        EXPECT_STREQ(text, "Fehler");
        // A missing string empties the text and says so.
        EXPECT_FALSE(text.LoadString(9999));
        EXPECT_STREQ(text, "");
    }
    EXPECT_EQ(OrnResGetThreadModule(), before);
    OrnResFreeModule(de);
    OrnResFreeModule(en);
}

}  // namespace
