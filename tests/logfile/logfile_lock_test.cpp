// One writer at a time: waits and retries while another writer holds the file.
#include <chrono>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "support/test_util.h"

using logtest::MillisecondsSince;
using logtest::Record;
using Clock = std::chrono::steady_clock;
using zkqtest::ReadFile;
using zkqtest::TempDir;

TEST(LogLock, AnotherProcessHoldingTheFile) {
    TempDir dir;
    const std::string path = dir.file("shared.log");
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Opens the file, writes, and holds it until told to close.
        OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
        char ready = log.Open() ? 'y' : 'n';
        log << "child\r\n";
        char go = 0;
        bool ok = ::write(toParent[1], &ready, 1) == 1 && ::read(toChild[0], &go, 1) == 1;
        log.Close();
        ::_exit(ok ? 0 : 1);
    }
    char ready = 0;
    ASSERT_EQ(::read(toParent[0], &ready, 1), 1);
    ASSERT_EQ(ready, 'y');

    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 60, 4);
    auto start = Clock::now();
    EXPECT_EQ(log.Open(), 0);
    EXPECT_GE(MillisecondsSince(start), 4 * 60) << "four attempts, each followed by its wait";
    log << "dropped";
    log.Close();

    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(log.Open(), 1);
    log << "parent\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(path), Record("child\r\n", "#") + Record("parent\r\n", "#"));
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
}

TEST(LogLock, AttemptCounts) {
    TempDir dir;
    const std::string path = dir.file("held.log");
    logtest::ForeignHolder holder(path);
    ASSERT_TRUE(holder.holds());
    for (unsigned long attempts : {0UL, 1UL}) {
        OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 300, attempts);
        auto start = Clock::now();
        EXPECT_EQ(log.Open(), 0);
        const long elapsed = MillisecondsSince(start);
        EXPECT_GE(elapsed, 300) << attempts << " attempts: one wait";
        EXPECT_LT(elapsed, 600) << attempts << " attempts: only one wait";
    }
    // The attempt counter is 16 bits wide: more attempts than it can count
    // must still come to an end.
    OrnEhLogFile many(path.c_str(), OrnEhLogUnlimited, 0, "#", 0, 70000);
    EXPECT_EQ(many.Open(), 0);
}

TEST(LogLock, WritersOfOneThreadAndAbandonedObjects) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    OrnEhLogFile first(path.c_str(), OrnEhLogUnlimited, 0, "#", 40, 3);
    OrnEhLogFile second(path.c_str(), OrnEhLogUnlimited, 0, "#", 40, 3);
    ASSERT_EQ(first.Open(), 1);
    auto start = Clock::now();
    EXPECT_EQ(second.Open(), 0);
    EXPECT_GE(MillisecondsSince(start), 3 * 40) << "waits as long as all attempts together";
    first.Close();
    {
        OrnEhLogFile abandoned(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
        ASSERT_EQ(abandoned.Open(), 1);
        abandoned << "unfinished";
    }
    ASSERT_EQ(second.Open(), 1) << "destroying an open object lets the next writer in";
    second.Close();
    EXPECT_EQ(ReadFile(path), "#\r\n#\r\n") << "no half record, no separator from the destructor";
}
