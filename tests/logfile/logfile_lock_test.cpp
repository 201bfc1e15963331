// One writer at a time: the retries while another process holds the file.
#include <chrono>
#include <string>
#include <sys/wait.h>
#include <thread>
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

namespace {

// A child process that opens the log file, writes a record's text and keeps
// the file open until told to close it.
class HoldingChild {
public:
    explicit HoldingChild(const std::string& path) {
        int toChild[2];
        int toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
            char ready = log.Open() ? 'y' : 'n';
            log << "child\r\n";
            ssize_t ignored = ::write(toParent[1], &ready, 1);
            char go = 0;
            ignored = ::read(toChild[0], &go, 1);
            (void)ignored;
            log.Close();
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        m_toChild = toChild[1];
        char ready = 0;
        m_ready = ::read(toParent[0], &ready, 1) == 1 && ready == 'y';
        ::close(toParent[0]);
    }
    ~HoldingChild() { Release(); }

    bool ready() const { return m_ready; }

    // Lets the child close the file and waits for it to end.
    bool Release() {
        if (m_pid <= 0) return false;
        char go = 'g';
        ssize_t ignored = ::write(m_toChild, &go, 1);
        (void)ignored;
        ::close(m_toChild);
        int status = 0;
        bool ok = ::waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0;
        m_pid = -1;
        return ok;
    }

private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    bool m_ready = false;
};

}  // namespace

TEST(LogLock, FileHeldByAnotherProcessIsRetriedThenGivenUp) {
    TempDir dir;
    std::string path = dir.file("shared.log");
    HoldingChild child(path);
    ASSERT_TRUE(child.ready());

    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 60, 4);
    auto start = Clock::now();
    EXPECT_EQ(log.Open(), 0);
    EXPECT_GE(MillisecondsSince(start), 4 * 60) << "four attempts, each followed by its wait";
    log << "dropped";
    log.Close();

    ASSERT_TRUE(child.Release());
    ASSERT_EQ(log.Open(), 1);
    log << "parent\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(path), Record("child\r\n", "#") + Record("parent\r\n", "#"))
        << "the failed open wrote nothing";
}

TEST(LogLock, ParentGetsTheFileOnceTheOtherProcessLetsGo) {
    TempDir dir;
    std::string path = dir.file("shared.log");
    HoldingChild child(path);
    ASSERT_TRUE(child.ready());

    std::thread releaser([&child] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        child.Release();
    });
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 50, 100);
    EXPECT_EQ(log.Open(), 1);
    log << "parent\r\n";
    log.Close();
    releaser.join();
    EXPECT_EQ(ReadFile(path), Record("child\r\n", "#") + Record("parent\r\n", "#"));
}

TEST(LogLock, ZeroOrOneAttemptMeansOneAttemptAndOneWait) {
    TempDir dir;
    std::string path = dir.file("held.log");
    logtest::ForeignHolder holder(path);
    ASSERT_TRUE(holder.holds());
    for (unsigned long attempts : {0UL, 1UL}) {
        OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 300, attempts);
        auto start = Clock::now();
        EXPECT_EQ(log.Open(), 0);
        long elapsed = MillisecondsSince(start);
        EXPECT_GE(elapsed, 300) << attempts << " attempts";
        EXPECT_LT(elapsed, 600) << attempts << " attempts: a second wait was made";
    }
}

TEST(LogLock, AttemptsBeyondTheCounterStillEnd) {
    TempDir dir;
    std::string path = dir.file("held.log");
    logtest::ForeignHolder holder(path);
    ASSERT_TRUE(holder.holds());
    // With a 16-bit counter, 70000 attempts could never be reached.
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 0, 70000);
    EXPECT_EQ(log.Open(), 0);
}

TEST(LogLock, TwoObjectsOfOneThreadDoNotDeadlock) {
    TempDir dir;
    std::string path = dir.file("a.log");
    OrnEhLogFile first(path.c_str(), OrnEhLogUnlimited, 0, "#", 40, 3);
    OrnEhLogFile second(path.c_str(), OrnEhLogUnlimited, 0, "#", 40, 3);
    ASSERT_EQ(first.Open(), 1);
    auto start = Clock::now();
    EXPECT_EQ(second.Open(), 0);
    EXPECT_GE(MillisecondsSince(start), 3 * 40) << "waited as long as all attempts together";
    first.Close();
    EXPECT_EQ(second.Open(), 1);
    second.Close();
    EXPECT_EQ(ReadFile(path), "#\r\n#\r\n");
}

TEST(LogLock, DestroyingAnOpenObjectLetsTheNextWriterIn) {
    TempDir dir;
    std::string path = dir.file("a.log");
    {
        OrnEhLogFile abandoned(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
        ASSERT_EQ(abandoned.Open(), 1);
        abandoned << "unfinished";
    }
    OrnEhLogFile next(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    ASSERT_EQ(next.Open(), 1);
    next << "whole\r\n";
    next.Close();
    EXPECT_EQ(ReadFile(path), Record("whole\r\n", "#")) << "no half record, no separator from the destructor";
}
