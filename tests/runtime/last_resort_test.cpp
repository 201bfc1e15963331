// What escapes the application, seen from the outside: each case runs in a
// child process, and the parent checks how the child ended and what its log
// file holds.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "OrnEh.h"
#include "support/child_process.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::ChildResult;
using zkqtest::RunInChild;

namespace {

volatile int g_sink;
__attribute__((noipa, no_sanitize("undefined"))) void ReadAt(volatile int* p) { g_sink = *p; }
__attribute__((noipa)) void FaultWhereNothingMayThrow() noexcept { ReadAt(nullptr); }

std::string g_marker;
void WriteMarker() {
    int fd = ::open(g_marker.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        ssize_t ignored = ::write(fd, "terminate function\n", 19);
        (void)ignored;
        ::close(fd);
    }
}

class LastResortTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_marker = dir.file("marker");
        log = dir.file("last.log");
    }
    // In the child: the library initialised with a log of the test's own and
    // a terminate function that leaves a marker.
    void Initialize() {
        OrnEhInitialize("LastResort", OrnEhLogUnlimited, "last.log", nullptr, dir.path().c_str(), 0);
        OrnEhSetTerminateFunction(&WriteMarker);
    }
    std::string Log() const { return zkqtest::ReadFile(log); }

    zkqtest::TempDir dir;
    std::string log;
};

TEST_F(LastResortTest, FaultInAThreadWithoutTranslatorIsLoggedByTheFilter) {
    ChildResult result = RunInChild([this] {
        Initialize();
        std::thread([] { ReadAt(nullptr); }).join();  // a thread that never registered
    });
    EXPECT_TRUE(result.signaled);
    EXPECT_EQ(result.signal, SIGSEGV);
    std::string text = Log();
    EXPECT_NE(text.find("Programm mit exit (-1) abgebrochen, da Unhandled BS-Exception aufgetreten ist\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Aufgetreten in Thread: "), std::string::npos);
    EXPECT_NE(text.find("Hauptthread: "), std::string::npos);
    EXPECT_NE(text.find("Fehlerart: OrnEhSEH"), std::string::npos);
    EXPECT_NE(text.find("Exceptioncode: EXCEPTION_ACCESS_VIOLATION"), std::string::npos);
    EXPECT_NE(text.find("Eip: "), std::string::npos);
    EXPECT_EQ(zkqtest::ReadFile(g_marker), "terminate function\n");
}

TEST_F(LastResortTest, OleDebugLeavesFaultsToTheSystem) {
    ChildResult result = RunInChild([this] {
        ::setenv("OLE_DEBUG", "1", 1);
        Initialize();
        std::thread([] { ReadAt(nullptr); }).join();
    });
#if defined(ZKQ_SANITIZER_asan)
    // The sanitizer's own fault report ends the process instead.
    EXPECT_TRUE(result.signaled || (result.exited && result.exitCode != 0));
#else
    EXPECT_TRUE(result.signaled);
    EXPECT_EQ(result.signal, SIGSEGV);
#endif
    EXPECT_EQ(Log().find("Unhandled BS-Exception"), std::string::npos);
    EXPECT_FALSE(zkqtest::FileExists(g_marker));
}

TEST_F(LastResortTest, UncaughtThrowEndsWithTheTerminateTexts) {
    ChildResult result = RunInChild([this] {
        Initialize();
        // In a thread of its own: the test framework would catch it here.
        std::thread([] { throw new zkqtest::TestException("nobody catches this", 9, 0, 1); }).join();
    });
    EXPECT_TRUE(result.signaled);
    EXPECT_EQ(result.signal, SIGABRT);
    std::string text = Log();
    EXPECT_NE(text.find("Programm mit exit (-1) abgebrochen, da throw ohne vorheriges try\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Aufgetreten in Hauptthread: "), std::string::npos);
    // The chain of the uncaught exception is in the log as well.
    EXPECT_NE(text.find("Fehlerursache: nobody catches this"), std::string::npos);
    EXPECT_EQ(zkqtest::ReadFile(g_marker), "terminate function\n");
}

TEST_F(LastResortTest, TranslatedFaultThatReachesTerminateIsLoggedWithItsRegisters) {
    ChildResult result = RunInChild([this] {
        Initialize();  // the main thread has the translator now
        FaultWhereNothingMayThrow();
    });
    EXPECT_TRUE(result.signaled);
    EXPECT_EQ(result.signal, SIGABRT);
    std::string text = Log();
    EXPECT_NE(text.find("da throw ohne vorheriges try"), std::string::npos) << text;
    EXPECT_NE(text.find("Fehlerart: OrnEhSEH"), std::string::npos);
    EXPECT_NE(text.find("Exceptioncode: EXCEPTION_ACCESS_VIOLATION"), std::string::npos);
    EXPECT_NE(text.find("Eip: "), std::string::npos);
}

}  // namespace
