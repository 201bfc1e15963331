// The settings from the environment: read once, defaults for unset
// variables, an empty value kept apart from an unset one, the setter that
// tests use in place of the environment, and no other thread reading it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "base/settings.h"
#include "support/test_exceptions.h"
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

TEST(SettingsTest, LongValuesKeptWhole) {
    // Values beyond the library's own room for them still arrive whole, and
    // a text handed out before stays readable after it was replaced.
    zkqtest::ScopedEnv first("ORNEH_DIALOG_ANSWER", "retry");
    const char* before = GetSetting(Setting::kDialogAnswer);
    for (char letter : {'a', 'b', 'c'}) {
        const std::string value(3000, letter);
        zkqtest::ScopedEnv answer("ORNEH_DIALOG_ANSWER", value.c_str());
        EXPECT_EQ(GetSetting(Setting::kDialogAnswer), value);
    }
    EXPECT_STREQ(before, "retry");
}

// No thread but the one that loaded the library reads the environment:
// not a thread new to the library (its standard log file), not its report
// (the dialog's choice and answer, the texts of the language library).
std::atomic<long> g_countingFor{0};
std::atomic<int> g_readsOnOtherThreads{0};

}  // namespace

extern "C" __attribute__((visibility("default"))) char* getenv(const char* name) noexcept {
    using Real = char* (*)(const char*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getenv"));
    const long counting = g_countingFor.load();
    if (counting != 0 && counting != ::syscall(SYS_gettid)) g_readsOnOtherThreads.fetch_add(1);
    return real(name);
}

namespace {

TEST(SettingsTest, NoThreadReadsTheEnvironment) {
    zkqtest::ScopedEnv headless("ORNEH_DIALOG", "headless");
    g_countingFor.store(::syscall(SYS_gettid));
    ::testing::internal::CaptureStderr();
    std::thread([] {
        new zkqtest::TestException("reported", 1, 0, 1);
        OrnEhBasis::Report(static_cast<HWND>(nullptr), nullptr, 0, nullptr);
    }).join();
    ::testing::internal::GetCapturedStderr();
    g_countingFor.store(0);
    EXPECT_EQ(g_readsOnOtherThreads.load(), 0);
}

TEST(SettingsTest, OtherVariablesIgnored) {
    orneh::base::SetSettingForTesting("ORNEH_NO_SUCH_SETTING", "1");
    orneh::base::SetSettingForTesting("orneh_dialog", "gui");  // names are exact
    EXPECT_STRNE(GetSetting(Setting::kDialog), "gui");
}

}  // namespace
