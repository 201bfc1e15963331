// Allocation failure at every allocation of the log file's operations: no
// crash, no leak, and a result the object could also give without memory.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/alloc.h"
#include "platform/file_registry.h"
#include "support/test_util.h"

namespace at = orneh::platform::alloctest;
using logtest::Record;
using zkqtest::ReadFile;
using zkqtest::WriteFile;

namespace {

// Runs op with each of its allocations failing in turn; every outcome must be
// in allowed, with nothing left allocated. The last, undisturbed run must
// give full.
void EveryAllocationFails(const std::function<std::string()>& op, const std::set<std::string>& allowed,
                          const std::string& full, int minimumAllocations) {
    zkqtest::AllocFailureReset reset;
    const long baseline = at::Outstanding();
    std::string outcome;
    int allocations = zkqtest::ForEachAllocationFailure([&] { outcome = op(); }, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << "leak when allocation " << failedAt << " failed";
        EXPECT_TRUE(allowed.count(outcome)) << "allocation " << failedAt << ": " << outcome.substr(0, 60);
    });
    EXPECT_GE(allocations, minimumAllocations);
    EXPECT_EQ(outcome, full);
    EXPECT_EQ(orneh::platform::HeldFileCount(), 0u);
}

}  // namespace

TEST(LogAlloc, PublicObjectWithCutAndReportsOpen) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log");
    const std::string original = Record(std::string(70000, 'f') + "\r\n", "--") + Record("second\r\n", "--");
    const std::string full = Record("second\r\n", "--") + Record("new\r\n", "--");
    // Without the separator nothing is cut and Close writes CR LF only.
    const std::set<std::string> allowed = {original, full, original + "new\r\n\r\n"};
    // State, name, separator, writer table entry, move chunk.
    EveryAllocationFails(
        [&] {
            WriteFile(path, original);
            OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 100, "--", 10, 1);
            if (log.Open()) {
                log << "new\r\n";
                log.Close();
            }
            return ReadFile(path);
        },
        allowed, full, 5);
    EveryAllocationFails(
        [&] {
            WriteFile(path, original);
            OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
            if (log.Open(path.c_str(), OrnEhLogLimited, 100)) {
                log << "new\r\n";
                log.Close();
            }
            return ReadFile(path);
        },
        allowed, full, 4);
}

TEST(LogAlloc, StandardFileWithSearch) {
    if (logtest::SystemStandardFileExists()) GTEST_SKIP() << "/tmp/ZKFEHLER.LOG takes part in the search";
    zkqtest::TempDir tmp, cwdDir;
    logtest::ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    const std::string found = tmp.file("ZKFEHLER.LOG");
    const std::string fallback = cwdDir.file("FEHLER.LOG");
    const std::string full = "r\r\n" + logtest::StandardEnd();
    // State, search result, separator, table entries of the probe and the open.
    EveryAllocationFails(
        [&] {
            WriteFile(found, "");
            ::unlink(fallback.c_str());
            OrnEhLogFile log;
            if (log.Open()) {
                log << "r\r\n";
                log.Close();
            }
            return ReadFile(found) + ReadFile(fallback);
        },
        {"", full, "r\r\n\r\n\r\n\r\n"}, full, 5);
}

TEST(LogAlloc, MemoryModeDropsOnlyWhatCannotBeStored) {
    std::string pieces[4];
    std::string full;
    for (int i = 0; i < 4; ++i) full += pieces[i] = "<" + std::to_string(i) + std::string(900, 'm') + ">";
    std::set<std::string> allowed = {"(none)", full};  // "(none)": no state, or no memory text
    for (int skip = 0; skip < 4; ++skip) {
        std::string text;
        for (int i = 0; i < 4; ++i) text += i == skip ? "" : pieces[i];
        allowed.insert(text);
    }
    // State, separator, memory text, two growths.
    EveryAllocationFails(
        [&] {
            OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
            log.SetMemoryMode(1);
            for (const auto& piece : pieces) log << piece.c_str();
            const char* text = log.GetMemoryText();
            std::string result = text ? text : "(none)";
            log.SetMemoryMode(0);
            return result;
        },
        allowed, full, 5);
}
