// Faults in two threads at the same moment, where nothing catches them: each
// fault leaves its records, whole, and the process ends after both.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "OrnEh.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_util.h"

#if defined(ZKQ_SANITIZER_tsan)
// The fault handler's last resorts allocate on purpose (their plain record
// first goes without).
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() { return "report_signal_unsafe=0"; }
#endif

namespace {

// Two faulting instructions of their own, where nothing may throw.
__attribute__((noipa)) void FaultHere() noexcept { zkq_read(nullptr); }
__attribute__((noipa)) void FaultThere() noexcept { zkqtest::ReadAt(nullptr); }

class TwoFaults : public ::testing::TestWithParam<bool> {};

TEST_P(TwoFaults, EachRecordedWhole) {
    const bool registered = GetParam();  // translated and uncaught, or in the filter
    for (int round = 0; round < 10; ++round) {
        zkqtest::TempDir dir;
        const zkqtest::ChildResult result = zkqtest::RunInChild(
            [&] {
                struct rlimit noCore {0, 0};
                ::setrlimit(RLIMIT_CORE, &noCore);
                if (::chdir(dir.path().c_str()) != 0) ::_exit(9);  // where a fallback log would go
                OrnEhInitialize("TwoFaults", OrnEhLogUnlimited, "two.log", nullptr, dir.path().c_str(), 0);
                zkqtest::Barrier start(2);
                auto fault = [&](void (*at)()) {
                    if (registered) OrnEhInitThreadExHandling();
                    start.Wait();
                    at();
                };
                std::thread here(fault, &FaultHere), there(fault, &FaultThere);
                here.join();
                there.join();
            },
            60);
        const std::string log = zkqtest::ReadFile(dir.file("two.log"));
        ASSERT_TRUE(result.signaled) << result << "\n" << log;
        std::set<std::string> addresses;
        for (std::size_t at = log.find("Exceptionadresse: "); at != std::string::npos;
             at = log.find("Exceptionadresse: ", at + 1)) {
            addresses.insert(log.substr(at, log.find("\r\n", at) - at));
        }
        EXPECT_EQ(addresses.size(), 2u) << "round " << round << "\n" << log;
        // Every entry is whole: its separator comes before the next one.
        const std::string separator = "\r\n" + std::string(68, '*') + "\r\n";
        int entries = 0;
        for (std::size_t at = log.find("Fehler: "); at != std::string::npos; ++entries) {
            const std::size_t next = log.find("Fehler: ", at + 1);
            EXPECT_NE(log.substr(at, next - at).find(separator), std::string::npos) << log;
            at = next;
        }
        EXPECT_EQ(entries, 2) << log;
        // Both in the configured log: neither thread held it so long (naming
        // its stack) that the other went on to the fallback.
        EXPECT_FALSE(zkqtest::FileExists(dir.file("FEHLER.LOG"))) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(LastResorts, TwoFaults, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Registered" : "Unregistered");
                         });

}  // namespace
