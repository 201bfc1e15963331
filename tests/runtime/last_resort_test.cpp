// What escapes the application, and signals that are no fault, seen from the
// outside: each case runs in a child process under a deadline, and the parent
// checks how the child ended and what its log file holds.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "OrnEh.h"
#include "OrnEhMemory.h"
#include "OrnEhSEH.h"
#include "platform/fault_translator.h"
#include "platform/signals.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::ChildResult;
using zkqtest::RunInChild;

namespace {

volatile int g_sink;
__attribute__((noipa, no_sanitize("undefined"))) void ReadAt(volatile int* p) { g_sink = *p; }
__attribute__((noipa)) void FaultWhereNothingMayThrow() noexcept { ReadAt(nullptr); }

std::string g_marker;
void AppendMarker(const std::string& text) {
    int fd = ::open(g_marker.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}
void WriteMarker() { AppendMarker("terminate function\n"); }

// Child exit codes.
const int kCaught = 42;
const int kNothingHappened = 44;
const int kEarlierHandlerRan = 45;

class LastResortTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_marker = dir.file("marker");
        log = dir.file("last.log");
    }
    // In the child: the library initialised with a log of the test's own and
    // a terminate function that leaves a marker.
    void Initialize() {
        struct rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        OrnEhInitialize("LastResort", OrnEhLogUnlimited, "last.log", nullptr, dir.path().c_str(), 0);
        OrnEhSetTerminateFunction(&WriteMarker);
    }
    std::string Log() const { return zkqtest::ReadFile(log); }

    zkqtest::TempDir dir;
    std::string log;
};

TEST_F(LastResortTest, OleDebugPassThrough) {
    ChildResult result = RunInChild([this] {
        zkqtest::ScopedEnv oleDebug("OLE_DEBUG", "1");
        Initialize();
        std::thread([] { ReadAt(nullptr); }).join();
    });
#if defined(ZKQ_SANITIZER_asan)
    // The sanitizer's own fault report ends the process instead.
    EXPECT_TRUE(result.signaled || (result.exited && result.exitCode != 0));
#else
    EXPECT_TRUE(result.signaled && result.signal == SIGSEGV);
#endif
    EXPECT_EQ(Log().find("Unhandled BS-Exception"), std::string::npos);
    EXPECT_FALSE(zkqtest::FileExists(g_marker));
}

TEST_F(LastResortTest, UncaughtThrow) {
    ChildResult result = RunInChild([this] {
        Initialize();
        // In a thread of its own: the test framework would catch it here.
        std::thread([] { throw new zkqtest::TestException("nobody catches this", 9, 0, 1); }).join();
    });
    EXPECT_TRUE(result.signaled && result.signal == SIGABRT);
    // The chain of the uncaught exception is in the log as well.
    EXPECT_TRUE(zkqtest::Contains(Log(), {"Programm mit exit (-1) abgebrochen, da throw ohne vorheriges try\r\n",
                                          "Aufgetreten in Hauptthread: ", "Fehlerursache: nobody catches this"}));
    EXPECT_EQ(zkqtest::ReadFile(g_marker), "terminate function\n");
}

TEST_F(LastResortTest, TranslatedFaultReachingTerminate) {
    ChildResult result = RunInChild([this] {
        Initialize();  // the main thread has the translator now
        FaultWhereNothingMayThrow();
    });
    EXPECT_TRUE(result.signaled && result.signal == SIGABRT);
    EXPECT_TRUE(zkqtest::Contains(Log(), {"da throw ohne vorheriges try", "Fehlerart: OrnEhSEH",
                                          "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}));
}

// --- Signals and the ways they arrive -----------------------------------------

struct SignalRow {
    int signal;
    void (*fault)();
    const char* codeName;
};

const SignalRow kSignalRows[] = {
    {SIGSEGV, [] { zkq_read(nullptr); }, "EXCEPTION_ACCESS_VIOLATION"},
    {SIGBUS, &zkqtest::ReadBeyondMappedFile, "EXCEPTION_IN_PAGE_ERROR"},
    {SIGFPE, &zkqtest::DivideByZero, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {SIGILL, &zkq_ud2, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {SIGTRAP, &zkq_int3, "EXCEPTION_BREAKPOINT"},
};

enum Arrival { kRegisteredThread, kUnregisteredThread, kKillFromAnotherProcess, kRaise, kSigqueue,
               kRaiseWithEarlierHandler };
const char* const kArrivalNames[] = {"fault in a registered thread", "fault in an unregistered thread",
                                     "kill() from another process", "raise()", "sigqueue()",
                                     "raise() with an earlier handler"};

std::atomic<bool> g_earlierHandlerRan{false};
void EarlierHandler(int) { g_earlierHandlerRan = true; }

// Sends signal to this process the way arrival says.
void Send(Arrival arrival, int signal) {
    if (arrival == kKillFromAnotherProcess) {
        pid_t sender = ::fork();
        if (sender == 0) {
            ::kill(::getppid(), signal);
            ::_exit(0);
        }
        ::waitpid(sender, nullptr, 0);
    } else if (arrival == kSigqueue) {
        ::sigqueue(::getpid(), signal, sigval{});
    } else {
        ::raise(signal);
    }
}

// The end the system gives a signal nobody handles. Under AddressSanitizer
// its own handler was there before ours for the faults it owns, and ends the
// process with its report instead.
bool EndedAsTheSystemEndsIt(const ChildResult& result, int signal) {
#if defined(ZKQ_SANITIZER_asan)
    if (signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE) {
        return result.signaled || (result.exited && result.exitCode == 1);
    }
#endif
    return result.signaled && result.signal == signal;
}

TEST_F(LastResortTest, SignalByArrival) {
    for (const SignalRow& row : kSignalRows) {
        for (int a = kRegisteredThread; a <= kRaiseWithEarlierHandler; ++a) {
            const Arrival arrival = static_cast<Arrival>(a);
            ::unlink(log.c_str());
            ::unlink(g_marker.c_str());
            ChildResult result = RunInChild(
                [&] {
                    if (arrival == kRaiseWithEarlierHandler) ::signal(row.signal, &EarlierHandler);
                    Initialize();
                    if (arrival == kUnregisteredThread) std::thread(row.fault).join();
                    try {
                        if (arrival == kRegisteredThread) {
                            row.fault();
                        } else {
                            Send(arrival, row.signal);
                            zkqtest::WaitUntil([] { return g_earlierHandlerRan.load(); }, 2000);  // a signal sent may come late
                        }
                    } catch (OrnEhSEH*) {
                        OrnEhBasis::Log(nullptr, nullptr, 1);
                        ::_exit(kCaught);
                    }
                    ::_exit(g_earlierHandlerRan ? kEarlierHandlerRan : kNothingHappened);
                },
                20);
            const std::string text = Log();
            const bool logged = text.find(std::string("Exceptioncode: ") + row.codeName) != std::string::npos;
            const bool unhandled = text.find("Unhandled BS-Exception") != std::string::npos;
            SCOPED_TRACE(std::string(strsignal(row.signal)) + ", " + kArrivalNames[a] + "\n" + text);
            ASSERT_FALSE(result.timedOut);
            switch (arrival) {
                case kRegisteredThread:
                    EXPECT_TRUE(result.exited && result.exitCode == kCaught);
                    EXPECT_TRUE(logged && !unhandled);
                    break;
                case kUnregisteredThread:
                    EXPECT_TRUE(result.signaled && result.signal == row.signal);
                    EXPECT_TRUE(logged && zkqtest::Contains(text, {"Programm mit exit (-1) abgebrochen, da Unhandled BS-Exception aufgetreten ist\r\n",
                                                                   "Aufgetreten in Thread: ", "Hauptthread: ", "Fehlerart: OrnEhSEH", "Eip: "}));
                    EXPECT_EQ(zkqtest::ReadFile(g_marker), "terminate function\n");
                    break;
                case kRaiseWithEarlierHandler:
                    EXPECT_TRUE(result.exited && result.exitCode == kEarlierHandlerRan);
                    EXPECT_EQ(text, "");
                    break;
                default:
                    EXPECT_TRUE(EndedAsTheSystemEndsIt(result, row.signal));
                    EXPECT_EQ(text, "");
                    EXPECT_FALSE(zkqtest::FileExists(g_marker));
                    break;
            }
        }
    }
}

// --- The handler's bound --------------------------------------------------------

std::atomic<int> g_alarms{0};
void OnAlarm(int) { ++g_alarms; }

TEST_F(LastResortTest, ApplicationAlarmAfterCaughtFault) {
    ChildResult result = RunInChild(
        [this] {
            Initialize();
            ::signal(SIGALRM, &OnAlarm);
            ::alarm(1);  // pending while the fault is handled
            try {
                zkq_read(nullptr);
            } catch (OrnEhSEH*) {
            }
            zkqtest::WaitUntil([] { return g_alarms == 1; }, 3000);
            ::alarm(1);  // set after the caught fault
            zkqtest::WaitUntil([] { return g_alarms == 2; }, 3000);
            ::_exit(g_alarms);
        },
        20);
    EXPECT_TRUE(result.exited && result.exitCode == 2)
        << result.exitCode << " " << result.signal << " " << result.timedOut;
}

// An exception whose record cannot be written: its Log waits for ever.
std::atomic<bool> g_stuck{false};
class StuckLogException : public zkqtest::TestException {
public:
    StuckLogException() : TestException("stuck", 1, 0, 1) {}
    void Log(OrnEhLogFile&) const override {
        g_stuck = true;
        for (;;) ::pause();
    }
};

TEST_F(LastResortTest, FaultWhileAnotherThreadIsStuckInTheHandler) {
    ChildResult result = RunInChild(
        [this] {
            Initialize();
            orneh::platform::faulttest::SetBoundSeconds(1);
            // A: its fault goes to the filter, which hangs writing the chain.
            std::thread stuck([] {
                OrnEhInitThreadExHandling();
                new StuckLogException();
                orneh::platform::SetSeTranslator(nullptr);
                zkq_read(nullptr);
            });
            stuck.detach();
            zkqtest::WaitUntil([] { return g_stuck.load(); }, 5000);
            // B: ordinary faults meanwhile, each caught.
            std::thread([] {
                OrnEhInitThreadExHandling();
                int caught = 0;
                for (int i = 0; i < 3; ++i) {
                    try {
                        zkq_read(nullptr);
                    } catch (OrnEhSEH*) {
                        ++caught;
                    }
                }
                AppendMarker("caught " + std::to_string(caught) + "\n");
            }).join();
            zkqtest::WaitUntil([] { return false; }, 15000);
        },
        20);
    ASSERT_FALSE(result.timedOut);
    // A's bound ended the process by A's signal; B was not disturbed.
    EXPECT_TRUE(result.signaled && result.signal == SIGSEGV);
    EXPECT_EQ(zkqtest::ReadFile(g_marker), "caught 3\n");
    EXPECT_NE(Log().find("Unhandled BS-Exception"), std::string::npos);
}

// --- Terminate functions -----------------------------------------------------------

int g_counted = 0;
void Count() { ++g_counted; }
void WriteCount() { AppendMarker(std::to_string(g_counted) + "\n"); }
void SlowTerminateFunction() {
    ::usleep(1500 * 1000);
    AppendMarker("slow\n");
}

TEST_F(LastResortTest, TerminateFunctionsAtTheLastResort) {
    // Both last resorts: the filter (a fault in an unregistered thread) and
    // the terminate handler (an exception nobody catches).
    const std::pair<void (*)(), int> cases[] = {
        {[] { zkq_read(nullptr); }, SIGSEGV},
        {[] { throw new zkqtest::TestException("nobody catches this", 9, 0, 1); }, SIGABRT}};
    for (const auto& c : cases) {
        ::unlink(g_marker.c_str());
        ChildResult result = RunInChild(
            [&] {
                Initialize();  // its function runs last of all
                orneh::platform::faulttest::SetBoundSeconds(1);
                OrnEhSetTerminateFunction(&WriteCount);
                for (int i = 0; i < 296; ++i) OrnEhSetTerminateFunction(&Count);
                OrnEhSetTerminateFunction(&SlowTerminateFunction);  // longer than the bound
                OrnEhSetTerminateFunction([] { zkq_read(nullptr); });  // runs first
                std::thread(c.first).join();
            },
            20);
        SCOPED_TRACE(strsignal(c.second));
        EXPECT_TRUE(result.signaled && result.signal == c.second);
        EXPECT_EQ(zkqtest::ReadFile(g_marker), "slow\n296\nterminate function\n");
    }
}

// --- The new handler ----------------------------------------------------------------

TEST_F(LastResortTest, NewHandlerHookInFreshThread) {
    ChildResult result = RunInChild(
        [this] {
            Initialize();
            // The hook as the README shows it.
            std::set_new_handler([] {
                if (!OrnEhMarloNewHandler()) throw std::bad_alloc();
            });
            std::thread([] {
                try {
#if defined(ZKQ_SANITIZER_asan)
                    std::get_new_handler()();  // the sanitizer's operator new calls no hook
#else
                    volatile std::size_t huge = static_cast<std::size_t>(1) << 60;
                    ::operator delete(::operator new(huge));
#endif
                } catch (OrnEhMemory*) {
                    ::_exit(kCaught);
                }
            }).join();
            ::_exit(kNothingHappened);
        },
        20);
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(result.exited && result.exitCode == kCaught) << result.exitCode;
}

}  // namespace
