// Allocation failure at every allocation of the log file's operations: no
// crash, no leak, and a result the object could also give without memory.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/alloc.h"
#include "platform/file_registry.h"
#include "support/test_util.h"

namespace at = orneh::platform::alloctest;
using logtest::Record;
using zkqtest::ForEachAllocationFailure;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

const char kSep[] = "----";

}  // namespace

TEST(LogAlloc, PublicObjectOpenCutWriteClose) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    const std::string path = dir.file("a.log");
    const std::string first = Record(std::string(70000, 'f') + "\r\n", kSep);
    const std::string rest = Record("second\r\n", kSep);
    const std::string original = first + rest;
    const std::string whole = rest + Record("new\r\n", kSep);
    const std::string withoutSeparator = original + "new\r\n\r\n";  // no separator: no cut either
    const long baseline = at::Outstanding();

    auto op = [&] {
        WriteFile(path, original);
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 100, kSep, 10, 1);
        if (log.Open()) {
            log << "new\r\n";
            log.Close();
        }
    };
    int allocations = ForEachAllocationFailure(op, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << "leak when allocation " << failedAt << " failed";
        std::string content = ReadFile(path);
        EXPECT_TRUE(content == original || content == whole || content == withoutSeparator)
            << "allocation " << failedAt << " failed: " << content.substr(0, 40);
    });
    EXPECT_GE(allocations, 5) << "state, name, separator, writer table entry, move chunk";
    EXPECT_EQ(ReadFile(path), whole);
    EXPECT_EQ(at::Outstanding(), baseline);
    EXPECT_EQ(orneh::platform::HeldFileCount(), 0u);
}

TEST(LogAlloc, ReportsOpenWithPreferredName) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    const std::string path = dir.file("pref.log");
    const long baseline = at::Outstanding();
    auto op = [&] {
        WriteFile(path, "");
        OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, kSep, 10, 1);
        if (log.Open(path.c_str(), OrnEhLogLimited, 1000)) {
            log << "r\r\n";
            log.Close();
        }
    };
    ForEachAllocationFailure(op, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << failedAt;
        std::string content = ReadFile(path);
        EXPECT_TRUE(content.empty() || content == Record("r\r\n", kSep) || content == "r\r\n\r\n")
            << failedAt << ": " << content;
    });
    EXPECT_EQ(ReadFile(path), Record("r\r\n", kSep));
}

TEST(LogAlloc, StandardFileWithSearch) {
    if (logtest::SystemStandardFileExists()) GTEST_SKIP() << "/tmp/ZKFEHLER.LOG takes part in the search";
    zkqtest::AllocFailureReset reset;
    TempDir tmp, cwdDir;
    logtest::ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    const std::string found = tmp.file("ZKFEHLER.LOG");
    const std::string fallback = cwdDir.file("FEHLER.LOG");
    const std::string end = "\r\n\r\n\r\n";
    const std::string whole = "r\r\n" + logtest::Stars() + end;
    const long baseline = at::Outstanding();
    auto op = [&] {
        WriteFile(found, "");
        ::unlink(fallback.c_str());
        OrnEhLogFile log;
        if (log.Open()) {
            log << "r\r\n";
            log.Close();
        }
    };
    int allocations = ForEachAllocationFailure(op, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << failedAt;
        std::string written = ReadFile(found) + ReadFile(fallback);
        EXPECT_TRUE(written.empty() || written == whole || written == "r\r\n" + end)
            << failedAt << ": " << written;
    });
    EXPECT_GE(allocations, 4);
    EXPECT_EQ(ReadFile(found), whole);
}

TEST(LogAlloc, MemoryModeDropsOnlyWhatCannotBeStored) {
    zkqtest::AllocFailureReset reset;
    std::vector<std::string> pieces;
    for (int i = 0; i < 8; ++i) pieces.push_back("<" + std::to_string(i) + std::string(700, 'm') + ">");
    const long baseline = at::Outstanding();
    std::string result;
    bool switchedOn = false;
    auto op = [&] {
        OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, kSep, 10, 1);
        switchedOn = log.SetMemoryMode(1) == 1;
        for (const auto& piece : pieces) log << piece.c_str();
        const char* text = log.GetMemoryText();
        result = text ? text : "(null)";
        log.SetMemoryMode(0);
    };
    int allocations = ForEachAllocationFailure(op, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << failedAt;
        // No state, or no memory text: nothing is collected.
        if (result == "(null)") return;
        EXPECT_TRUE(switchedOn) << failedAt;
        // Either everything arrived, or exactly one piece was dropped.
        bool ok = false;
        for (std::size_t skip = 0; skip <= pieces.size() && !ok; ++skip) {
            std::string expected;
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                if (i != skip) expected += pieces[i];
            }
            ok = result == expected;
        }
        EXPECT_TRUE(ok) << failedAt;
    });
    EXPECT_GE(allocations, 3) << "state, separator, memory text, its growth";
}
