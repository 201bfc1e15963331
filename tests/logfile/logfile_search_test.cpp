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
using logtest::Stars;
using zkqtest::FileExists;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

std::string FullPath(const OrnEhLogFile& log) {
    char out[512] = "(none)";
    log.GetFullPath(out, sizeof out);
    return out;
}

// The separator line and the two empty lines that close a standard record.
std::string StandardEnd() { return Stars() + "\r\n\r\n\r\n"; }

class StandardFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (logtest::SystemStandardFileExists()) {
            GTEST_SKIP() << "/tmp/ZKFEHLER.LOG exists on this machine and takes part in the search";
        }
    }
    TempDir tmp, temp, tmpdir, cwdDir;
};

}  // namespace

TEST_F(StandardFileTest, WithoutZkfehlerItWritesFehlerInTheCurrentDirectory) {
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str());
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    EXPECT_EQ(FullPath(log), "(none)") << "the search found nothing";
    EXPECT_EQ(log.GetStyle(), OrnEhLogLimited);
    ASSERT_EQ(log.Open(), 1);
    log << "record\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), "record\r\n" + StandardEnd());
    EXPECT_FALSE(FileExists(tmp.file("ZKFEHLER.LOG"))) << "the library never creates ZKFEHLER.LOG";
}

TEST_F(StandardFileTest, TmpComesBeforeTempAndTmpdir) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    WriteFile(temp.file("ZKFEHLER.LOG"), "");
    WriteFile(tmpdir.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str());
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    EXPECT_EQ(FullPath(log), tmp.file("ZKFEHLER.LOG"));
    ASSERT_EQ(log.Open(), 1);
    log << "r\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), "r\r\n" + StandardEnd());
    EXPECT_EQ(ReadFile(temp.file("ZKFEHLER.LOG")), "");
    EXPECT_FALSE(FileExists(cwdDir.file("FEHLER.LOG")));
}

TEST_F(StandardFileTest, EachVariableIsTriedInTurn) {
    WriteFile(tmpdir.file("ZKFEHLER.LOG"), "");
    {
        ScopedTempVariables vars(tmp.path().c_str(), nullptr, tmpdir.path().c_str());
        OrnEhLogFile log;
        EXPECT_EQ(FullPath(log), tmpdir.file("ZKFEHLER.LOG"));
    }
    WriteFile(temp.file("ZKFEHLER.LOG"), "");
    {
        ScopedTempVariables vars(nullptr, temp.path().c_str(), tmpdir.path().c_str());
        OrnEhLogFile log;
        EXPECT_EQ(FullPath(log), temp.file("ZKFEHLER.LOG"));
    }
}

TEST_F(StandardFileTest, TrailingSlashIsNotDoubled) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    std::string withSlash = tmp.path() + "/";
    ScopedTempVariables vars(withSlash.c_str(), nullptr, nullptr);
    OrnEhLogFile log;
    EXPECT_EQ(FullPath(log), tmp.file("ZKFEHLER.LOG"));
}

TEST_F(StandardFileTest, EmptyVariableMeansTheCurrentDirectory) {
    WriteFile(cwdDir.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars("", nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    char out[64] = {};
    log.GetFullPath(out, sizeof out);  // a relative name without a dot is copied as it is
    EXPECT_STREQ(out, "ZKFEHLER.LOG");
}

TEST_F(StandardFileTest, PathsLongerThan260BytesAreRejected) {
    // TMP/ZKFEHLER.LOG takes 261 bytes with its zero; TEMP/ZKFEHLER.LOG 260.
    std::string longDir = tmp.path() + "/";
    std::string shortDir = temp.path() + "/";
    longDir += std::string(247 - longDir.size(), 'd');
    shortDir += std::string(246 - shortDir.size(), 'd');
    ASSERT_EQ(::mkdir(longDir.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(shortDir.c_str(), 0777), 0);
    WriteFile(longDir + "/ZKFEHLER.LOG", "");
    WriteFile(shortDir + "/ZKFEHLER.LOG", "");
    ASSERT_EQ(longDir.size() + 1 + 12 + 1, 261u);
    ASSERT_EQ(shortDir.size() + 1 + 12 + 1, 260u);
    ScopedTempVariables vars(longDir.c_str(), shortDir.c_str(), nullptr);
    OrnEhLogFile log;
    EXPECT_EQ(FullPath(log), shortDir + "/ZKFEHLER.LOG");
}

TEST_F(StandardFileTest, CandidateHeldByAnotherProcessCountsAsAbsent) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    WriteFile(temp.file("ZKFEHLER.LOG"), "");
    logtest::ForeignHolder holder(tmp.file("ZKFEHLER.LOG"));
    ASSERT_TRUE(holder.holds());
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), nullptr);
    auto start = std::chrono::steady_clock::now();
    OrnEhLogFile log;
    EXPECT_GE(logtest::MillisecondsSince(start), 1000) << "ten attempts, 100 ms each";
    EXPECT_EQ(FullPath(log), temp.file("ZKFEHLER.LOG"));
}

TEST_F(StandardFileTest, CandidateHeldByAWriterOfThisProcessIsFound) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    OrnEhLogFile writer(tmp.file("ZKFEHLER.LOG").c_str(), OrnEhLogUnlimited, 0, "#", 100, 10);
    ASSERT_EQ(writer.Open(), 1);
    auto start = std::chrono::steady_clock::now();
    OrnEhLogFile log;
    EXPECT_LT(logtest::MillisecondsSince(start), 1000);
    EXPECT_EQ(FullPath(log), tmp.file("ZKFEHLER.LOG"));
    writer.Close();
}

TEST_F(StandardFileTest, OpenSearchesAgainWhenTheNameFails) {
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;  // nothing found yet
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), StandardEnd());
    EXPECT_FALSE(FileExists(cwdDir.file("FEHLER.LOG")));
}

TEST_F(StandardFileTest, ConfiguredNameFallsBackToTheSearchAndFehler) {
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    OrnEhLogFile log;
    log.SetFileName(cwdDir.file("missing/app.log").c_str());
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), StandardEnd());
}

TEST_F(StandardFileTest, ReportsOpenPutsThePreferredNameBeforeASearchResult) {
    WriteFile(tmp.file("ZKFEHLER.LOG"), "");
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    OrnEhLogFile log;
    std::string preferred = cwdDir.file("app.log");
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(preferred), StandardEnd());
    EXPECT_EQ(ReadFile(tmp.file("ZKFEHLER.LOG")), "");

    // Once a name is configured it comes first again.
    std::string configured = cwdDir.file("configured.log");
    log.SetFileName(configured.c_str());
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(configured), StandardEnd());
}

TEST_F(StandardFileTest, StandardFileIsLimitedToOneMebibyte) {
    ScopedTempVariables vars(tmp.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    std::string first = "first\r\n" + StandardEnd();
    std::string filler(1048576 - first.size() - StandardEnd().size(), 'f');
    std::string second = filler + StandardEnd();
    WriteFile(cwdDir.file("FEHLER.LOG"), first + second);  // exactly 1 MiB
    OrnEhLogFile log;
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    ASSERT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), first + second + StandardEnd()) << "at the limit: kept";
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    // The separator line ends the first record; the empty lines begin the next.
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), "\r\n\r\n" + second + StandardEnd() + StandardEnd());
}

// The last candidate, /tmp, seen through a private /tmp of a child process so
// that the real one is neither read nor touched.
TEST(StandardFileFallback, TmpIsTheLastCandidate) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::close(pipeFds[0]);
        auto finish = [&](char code) {
            ssize_t ignored = ::write(pipeFds[1], &code, 1);
            (void)ignored;
            ::_exit(0);
        };
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/tmp", "tmpfs", 0, nullptr) != 0) {
            finish('s');
        }
        int fd = ::open("/tmp/ZKFEHLER.LOG", O_CREAT | O_WRONLY, 0666);
        if (fd < 0) finish('s');
        ::close(fd);
        ::setenv("TMP", "/nonexistent-tmp", 1);
        ::unsetenv("TEMP");
        ::unsetenv("TMPDIR");
        OrnEhLogFile log;
        char out[64] = {};
        log.GetFullPath(out, sizeof out);
        if (std::string(out) != "/tmp/ZKFEHLER.LOG") finish('n');
        if (log.Open() != 1) finish('o');
        log << "x\r\n";
        log.Close();
        std::string content = ReadFile("/tmp/ZKFEHLER.LOG");
        finish(content == "x\r\n" + StandardEnd() ? 'y' : 'c');
    }
    ::close(pipeFds[1]);
    char code = 0;
    ssize_t got = ::read(pipeFds[0], &code, 1);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(got, 1);
    if (code == 's') GTEST_SKIP() << "no private mount namespace available";
    EXPECT_EQ(code, 'y');
}
