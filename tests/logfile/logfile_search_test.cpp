// The standard log file: the search for an existing ZKFEHLER.LOG through TMP,
// TEMP, TMPDIR and /tmp, the fallback FEHLER.LOG, and its closing lines.
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "support/test_util.h"

using logtest::ScopedTempVariables;
using logtest::StandardEnd;
using zkqtest::FileExists;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

std::string FoundName(const OrnEhLogFile& log) {
    char out[512] = "(none)";
    log.GetFullPath(out, sizeof out);
    return out;
}

class StandardFile : public ::testing::Test {
protected:
    void SetUp() override {
        if (logtest::SystemStandardFileExists()) GTEST_SKIP() << "/tmp/ZKFEHLER.LOG takes part in the search";
    }
    TempDir tmp, temp, tmpdir, cwdDir;
};

}  // namespace

TEST_F(StandardFile, WithoutZkfehlerItIsFehlerInTheCurrentDirectory) {
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str());
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    EXPECT_EQ(FoundName(log), "(none)");
    ASSERT_EQ(log.Open(), 1);
    log << "record\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), "record\r\n" + StandardEnd());
    EXPECT_FALSE(FileExists(tmp.file("ZKFEHLER.LOG"))) << "ZKFEHLER.LOG is never created";

    // A ZKFEHLER.LOG that appears later is found at the next open.
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), StandardEnd());
}

TEST_F(StandardFile, VariablesAreTriedInOrder) {
    for (TempDir* d : {&tmp, &temp, &tmpdir}) WriteFile(d->file("ZKFEHLER.LOG"), "");
    {
        ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str());
        EXPECT_EQ(FoundName(OrnEhLogFile()), tmp.file("ZKFEHLER.LOG"));
    }
    {
        ScopedTempVariables vars(cwdDir.path().c_str(), (temp.path() + "/").c_str(), tmpdir.path().c_str());
        EXPECT_EQ(FoundName(OrnEhLogFile()), temp.file("ZKFEHLER.LOG")) << "a trailing slash is not doubled";
    }
    {
        ScopedTempVariables vars(nullptr, nullptr, tmpdir.path().c_str());
        EXPECT_EQ(FoundName(OrnEhLogFile()), tmpdir.file("ZKFEHLER.LOG"));
    }
}

TEST_F(StandardFile, PathsOver260BytesAreRejected) {
    // TMP's candidate takes 261 bytes with its zero, TEMP's 260.
    const std::string longDir = tmp.path() + "/" + std::string(247 - tmp.path().size() - 1, 'd');
    const std::string shortDir = temp.path() + "/" + std::string(246 - temp.path().size() - 1, 'd');
    for (const std::string& d : {longDir, shortDir}) {
        ASSERT_EQ(::mkdir(d.c_str(), 0777), 0);
        WriteFile(d + "/ZKFEHLER.LOG", "");
    }
    ScopedTempVariables vars(longDir.c_str(), shortDir.c_str(), nullptr);
    EXPECT_EQ(FoundName(OrnEhLogFile()), shortDir + "/ZKFEHLER.LOG");
}

TEST_F(StandardFile, HeldCandidates) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    WriteFile(temp.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), nullptr);
    {
        // Held by a writer of this process: found at once.
        OrnEhLogFile writer(tmp.file("ZKFEHLER.LOG").c_str(), OrnEhLogUnlimited, 0, "#", 100, 10);
        ASSERT_EQ(writer.Open(), 1);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(FoundName(OrnEhLogFile()), tmp.file("ZKFEHLER.LOG"));
        EXPECT_LT(logtest::MillisecondsSince(start), 1000);
        writer.Close();
    }
    // Held by another process beyond ten attempts of 100 ms: counts as absent.
    logtest::ForeignHolder holder(tmp.file("ZKFEHLER.LOG"));
    ASSERT_TRUE(holder.holds());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FoundName(OrnEhLogFile()), temp.file("ZKFEHLER.LOG"));
    EXPECT_GE(logtest::MillisecondsSince(start), 1000);
}

TEST_F(StandardFile, NamesTriedByTheReportsOpen) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    // A searched name comes after the name the report asks for...
    const std::string preferred = cwdDir.file("app.log");
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(preferred), StandardEnd());
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), "");
    // ...a configured one before it; when neither opens, the search and
    // then FEHLER.LOG follow.
    log.SetFileName(cwdDir.file("missing/x.log").c_str());
    ASSERT_EQ(log.Open(cwdDir.file("missing/y.log").c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), StandardEnd());
    ::unlink(tmp.file("ZKFEHLER.LOG").c_str());
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), StandardEnd());
}

TEST_F(StandardFile, LimitedToOneMebibyte) {
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    const std::string first = "first\r\n" + StandardEnd();
    const std::string second = std::string(1048576 - first.size() - StandardEnd().size(), 'f') + StandardEnd();
    WriteFile(cwdDir.file("FEHLER.LOG"), first + second);
    OrnEhLogFile log;
    EXPECT_EQ(log.GetStyle(), OrnEhLogLimited);
    ASSERT_EQ(log.Open(), 1);  // exactly 1 MiB: kept
    log.Close();
    ASSERT_EQ(log.Open(), 1);  // the separator line ends the first record
    log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), "\r\n\r\n" + second + StandardEnd() + StandardEnd());
}

// /tmp, the last candidate, seen through a private /tmp of a child process
// so that the real one is neither read nor touched.
TEST(StandardFileFallback, TmpIsTheLastCandidate) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        auto finish = [&](char code) {
            ssize_t ignored = ::write(fds[1], &code, 1);
            (void)ignored;
            ::_exit(0);
        };
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/tmp", "tmpfs", 0, nullptr) != 0) {
            finish('s');
        }
        WriteFile("/tmp/ZKFEHLER.LOG", "");
        ::setenv("TMP", "/nonexistent-tmp", 1);
        ::unsetenv("TEMP");
        ::unsetenv("TMPDIR");
        OrnEhLogFile log;
        if (FoundName(log) != "/tmp/ZKFEHLER.LOG" || log.Open() != 1) finish('n');
        log << "x\r\n";
        log.Close();
        finish(ReadFile("/tmp/ZKFEHLER.LOG") == "x\r\n" + StandardEnd() ? 'y' : 'c');
    }
    ::close(fds[1]);
    char code = 0;
    ssize_t got = ::read(fds[0], &code, 1);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(got, 1);
    if (code == 's') GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(code, 'y');
}
