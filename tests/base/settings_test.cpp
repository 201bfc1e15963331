// The settings from the environment: read once, defaults for unset
// variables, an empty value kept apart from an unset one, and the setter
// that tests use in place of the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/settings.h"
#include "support/test_util.h"

namespace {

using orneh::base::GetSetting;
using orneh::base::Setting;

std::string Shown(const char* value) { return value ? "\"" + std::string(value) + "\"" : "unset"; }

TEST(SettingsTest, ReadOnceWithDefaults) {
    zkqtest::ScopedEnv stack("ORNEH_STACKTRACE", nullptr);
    zkqtest::ScopedEnv ole("OLE_DEBUG", nullptr);
    zkqtest::ScopedEnv answer("ORNEH_DIALOG_ANSWER", "cancel");
    EXPECT_EQ(Shown(GetSetting(Setting::kStackTrace)), "\"faults\"");
    EXPECT_EQ(Shown(GetSetting(Setting::kOleDebug)), "unset");
    EXPECT_EQ(Shown(GetSetting(Setting::kDialogAnswer)), "\"cancel\"");
    // A change behind the library's back is not seen: nothing reads the
    // environment after load.
    ::setenv("ORNEH_STACKTRACE", "off", 1);
    ::unsetenv("ORNEH_DIALOG_ANSWER");
    EXPECT_EQ(Shown(GetSetting(Setting::kStackTrace)), "\"faults\"");
    EXPECT_EQ(Shown(GetSetting(Setting::kDialogAnswer)), "\"cancel\"");
    // Set but empty is a value of its own.
    zkqtest::ScopedEnv empty("OLE_DEBUG", "");
    EXPECT_EQ(Shown(GetSetting(Setting::kOleDebug)), "\"\"");
}

TEST(SettingsTest, OtherVariablesIgnored) {
    orneh::base::SetSettingForTesting("ORNEH_NO_SUCH_SETTING", "1");
    orneh::base::SetSettingForTesting("orneh_dialog", "gui");  // names are exact
    EXPECT_STRNE(GetSetting(Setting::kDialog), "gui");
}

}  // namespace
