// What escapes the application, and signals that are no fault, seen from the
// outside: each case runs in a child process under a deadline, and the parent
// checks how the child ended and what its log file holds.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <ostream>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "OrnEh.h"
#include "OrnEhMemory.h"
#include "OrnEhSEH.h"
#include "base/alloc.h"
#include "platform/fault_translator.h"
#include "platform/file_registry.h"
#include "platform/signals.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::ChildResult;
using zkqtest::ReadAt;
using zkqtest::RunInChild;

namespace {

__attribute__((noipa)) void FaultWhereNothingMayThrow() noexcept { ReadAt(nullptr); }

std::string g_marker;
void AppendMarker(const std::string& text) {
    int fd = ::open(g_marker.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}
void WriteMarker() { AppendMarker("terminate function\n"); }

// A terminate function that needs more stack than a signal stack has.
void NeedsLargeStack() {
    volatile char big[128 * 1024];
    std::memset(const_cast<char*>(big), 1, sizeof big);
    AppendMarker(big[100] == 1 ? "large\n" : "?\n");
}

// Child exit codes.
const int kCaught = 42;
const int kNothingHappened = 44;
const int kEarlierHandlerRan = 45;

class LastResortTest : public ::testing::Test {
protected:
    void SetUp() override { g_marker = dir.file("marker"); }
    // In the child: the library initialised with a log of the test's own and
    // a terminate function that leaves a marker.
    void Initialize() {
        struct rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        OrnEhInitialize("LastResort", OrnEhLogUnlimited, "last.log", nullptr, dir.path().c_str(), 0);
        OrnEhSetTerminateFunction(&WriteMarker);
    }
    std::string Log() const { return zkqtest::ReadFile(dir.file("last.log")); }

    zkqtest::TempDir dir;
};

// --- Signals and the ways they arrive -----------------------------------------

struct SignalRow {
    const char* name;
    int signal;
    void (*fault)();
    const char* codeName;
};
const SignalRow kSignalRows[] = {
    {"Segv", SIGSEGV, [] { zkq_read(nullptr); }, "EXCEPTION_ACCESS_VIOLATION"},
    {"Bus", SIGBUS, &zkqtest::ReadBeyondMappedFile, "EXCEPTION_IN_PAGE_ERROR"},
    {"Fpe", SIGFPE, &zkqtest::DivideByZero, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {"Ill", SIGILL, &zkq_ud2, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {"Trap", SIGTRAP, &zkq_int3, "EXCEPTION_BREAKPOINT"},
};

enum class Arrival { kUnregisteredThread, kUnregisteredThreadOleDebug, kKillFromAnotherProcess, kRaise,
                     kRaiseWithEarlierHandler };
// A sent signal is told from a fault by its si_code (<= 0): kill's 0 and
// raise's negative one stand for every sender.
const char* const kArrivalNames[] = {"FaultInUnregisteredThread", "FaultInUnregisteredThreadOleDebug",
                                     "KillFromAnotherProcess", "Raise", "RaiseWithEarlierHandler"};
void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.name; }

std::atomic<bool> g_earlierHandlerRan{false};
void EarlierHandler(int) { g_earlierHandlerRan = true; }

// Brings row's signal to this process the way arrival says.
void Arrive(Arrival arrival, const SignalRow& row) {
    const int signal = row.signal;
    if (arrival == Arrival::kUnregisteredThread || arrival == Arrival::kUnregisteredThreadOleDebug) {
        std::thread(row.fault).join();
    } else if (arrival == Arrival::kKillFromAnotherProcess) {
        RunInChild([signal] { ::kill(::getppid(), signal); });
    } else {
        ::raise(signal);
    }
}

// The end the system gives a signal nobody handles. Under AddressSanitizer
// its own handler was there before ours for the faults it owns, and ends the
// process with its report instead.
bool EndedAsTheSystemEndsIt(const ChildResult& result, int signal) {
#if defined(ZKQ_SANITIZER_asan)
    if (signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE) return result.signaled || result.ExitedWith(1);
#endif
    return result.KilledBy(signal);
}

// A fault raised by the processor is a last resort in a thread the library
// never prepared (and passes through with OLE_DEBUG set); a signal that is
// sent is no fault. (A fault in a registered thread: FaultKindTest.)
class SignalByArrival : public LastResortTest,
                        public ::testing::WithParamInterface<std::tuple<SignalRow, int>> {};

TEST_P(SignalByArrival, Handling) {
    const SignalRow& row = std::get<0>(GetParam());
    const Arrival arrival = static_cast<Arrival>(std::get<1>(GetParam()));
    ChildResult result = RunInChild(
        [&] {
            zkqtest::ScopedEnv oleDebug("OLE_DEBUG", arrival == Arrival::kUnregisteredThreadOleDebug ? "1" : nullptr);
            if (arrival == Arrival::kRaiseWithEarlierHandler) ::signal(row.signal, &EarlierHandler);
            Initialize();
            Arrive(arrival, row);
            zkqtest::WaitUntil([] { return g_earlierHandlerRan.load(); }, 5000);  // a signal sent may come late
            ::_exit(g_earlierHandlerRan ? kEarlierHandlerRan : kNothingHappened);
        },
        60);
    const std::string text = Log();
    SCOPED_TRACE(text);
    ASSERT_FALSE(result.timedOut);
    switch (arrival) {
        case Arrival::kUnregisteredThread:
            EXPECT_TRUE(result.KilledBy(row.signal)) << result;
            EXPECT_TRUE(zkqtest::Contains(text, {std::string("Exceptioncode: ") + row.codeName,
                                                 "Programm mit exit (-1) abgebrochen, da Unhandled BS-Exception aufgetreten ist\r\n",
                                                 "Aufgetreten in Thread: ", "Hauptthread: ", "Fehlerart: OrnEhSEH", "Eip: "}));
            EXPECT_EQ(zkqtest::ReadFile(g_marker), "terminate function\n");
            break;
        case Arrival::kRaiseWithEarlierHandler:
            EXPECT_TRUE(result.ExitedWith(kEarlierHandlerRan)) << result;
            EXPECT_EQ(text, "");
            break;
        default:
            EXPECT_TRUE(EndedAsTheSystemEndsIt(result, row.signal)) << result;
            EXPECT_EQ(text, "");
            EXPECT_FALSE(zkqtest::FileExists(g_marker));
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalByArrival,
                         ::testing::Combine(::testing::ValuesIn(kSignalRows),
                                            ::testing::Range(0, static_cast<int>(std::size(kArrivalNames)))),
                         [](const ::testing::TestParamInfo<SignalByArrival::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + kArrivalNames[std::get<1>(info.param)];
                         });

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
        60);
    EXPECT_TRUE(result.ExitedWith(2)) << result;
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

class ExitingLogException : public zkqtest::TestException {
public:
    ExitingLogException() : TestException("exiting", 1, 0, 1) {}
    void Log(OrnEhLogFile&) const override { ::pthread_exit(nullptr); }
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
            zkqtest::WaitUntil([] { return false; }, 30000);
        },
        60);
    // A's bound ended the process by A's signal; B was not disturbed.
    EXPECT_TRUE(result.KilledBy(SIGSEGV)) << result;
    EXPECT_EQ(zkqtest::ReadFile(g_marker), "caught 3\n");
    EXPECT_NE(Log().find("Unhandled BS-Exception"), std::string::npos);
}

// --- The last resorts -------------------------------------------------------------

int g_counted = 0;
void Count() { ++g_counted; }
void WriteCount() { AppendMarker(std::to_string(g_counted) + "\n"); }
void SlowTerminateFunction() {
    ::usleep(1500 * 1000);
    AppendMarker("slow\n");
}

struct LastResortRow {
    const char* name;
    void (*escape)();  // what the application lets escape
    int signal;        // that ends the process
    std::vector<std::string> logged;
    bool stuck = false;  // its own steps cannot finish: terminate functions not checked
};
void PrintTo(const LastResortRow& row, std::ostream* out) { *out << row.name; }

// (A plain fault in a thread the library never prepared: Segv_FaultInUnregisteredThread above.)
const LastResortRow kLastResorts[] = {
    {"UncaughtThrow", [] { std::thread([] { throw new zkqtest::TestException("nobody catches this", 9, 0, 1); }).join(); },
     SIGABRT,  // in a thread of its own: the test framework would catch it here
     {"Programm mit exit (-1) abgebrochen, da throw ohne vorheriges try\r\n", "Aufgetreten in Hauptthread: ",
      "Fehlerursache: nobody catches this"}},
    {"TranslatedFaultWhereNothingMayThrow", &FaultWhereNothingMayThrow, SIGABRT,  // the main thread has the translator
     {"da throw ohne vorheriges try", "Fehlerart: OrnEhSEH", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}},
    // Alternate stacks of the application's, smaller than the handler needs
    // (the C SIGSTKSZ, the C++ one).
    {"FaultOnSmallAltStack", [] { std::thread([] { zkqtest::OwnAltStack(8192), zkq_read(nullptr); }).join(); }, SIGSEGV,
     {"Unhandled BS-Exception", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}},
    {"FaultOnCxxSmallAltStack", [] { std::thread([] { zkqtest::OwnAltStack(13504), zkq_read(nullptr); }).join(); }, SIGSEGV,
     {"Unhandled BS-Exception", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}},
#if !defined(ZKQ_SANITIZER_asan)
    // A thread the library never prepared, with a 64 KiB stack of its own.
    {"OverflowInUnregisteredThread", [] { std::thread([] { zkqtest::OwnAltStack(65536), zkqtest::Overflow(0); }).join(); },
     SIGSEGV, {"Unhandled BS-Exception", "Exceptioncode: EXCEPTION_STACK_OVERFLOW"}},
#endif
};

// Faults caught in the calling thread (its bound's timer is made at the
// first and kept).
void CatchFaults(int count) {
    for (int i = 0; i < count; ++i) {
        try {
            zkq_read(nullptr);
        } catch (OrnEhSEH*) {
            OrnEhBasis::Release();
        }
    }
}

// Runs body in a forked child and ends as it ended.
void InForkedChild(void (*body)()) {
    const ChildResult result = RunInChild(body);
    if (!result.signaled) ::_exit(result.exitCode);
    std::signal(result.signal, SIG_DFL);
    ::kill(::getpid(), result.signal);
}

void FaultBehindHeldAllocator() { orneh::base::alloctest::BlockAll(), zkq_read(nullptr); }

// Last resorts whose own steps cannot finish: the fault's plain record (or
// the terminate handler's texts) is on disk first, and the bound ends the
// process.
const LastResortRow kStuckLastResorts[] = {
    // Behind an allocator's lock that the faulting thread holds.
    {"AllocatorHeldInRegisteredThread", &FaultBehindHeldAllocator, SIGSEGV,
     {"Fehlerart: OrnEhSEH", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: ", "Aufrufstapel:"}, true},
    // The kept timer bounds every fault of its thread, and a forked child
    // bounds its own with a timer of its own.
    {"AllocatorHeldAtThirdFault", [] { CatchFaults(2), FaultBehindHeldAllocator(); }, SIGSEGV,
     {"Fehlerart: OrnEhSEH", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}, true},
    {"AllocatorHeldInForkedChild", [] { CatchFaults(1), InForkedChild(&FaultBehindHeldAllocator); }, SIGSEGV,
     {"Fehlerart: OrnEhSEH", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: "}, true},
    {"AllocatorHeldInUnregisteredThread", [] { std::thread(&FaultBehindHeldAllocator).join(); }, SIGSEGV,
     {"Unhandled BS-Exception", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Eip: ", "Aufrufstapel:"}, true},
    // A fault while the thread holds the log files' table: its last resort
    // opens the log without it.
    {"FileTableHeldByTheFaultingThread",
     [] {
         orneh::platform::registrytest::SetHeldHook([] { zkq_read(nullptr); });
         OrnEhBasis::Log(nullptr, nullptr, 1);
     },
     SIGABRT, {"da throw ohne vorheriges try", "Fehlerart: OrnEhSEH", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION"}, true},
    // The terminate handler's own step hangs.
    {"StuckTerminateHandler", [] { std::thread([] { throw new StuckLogException(); }).join(); }, SIGABRT,
     {"da throw ohne vorheriges try", "Aufgetreten in Hauptthread: "}, true},
    // Or ends its thread, an unwind that reaches std::terminate again: one
    // record, then the end, never the handler over again.
    {"ThreadEndsInTerminateHandler", [] { std::thread([] { throw new ExitingLogException(); }).join(); }, SIGABRT,
     {"da throw ohne vorheriges try", "Aufgetreten in Hauptthread: "}, true},
};

// Each last resort logs what escaped, runs the terminate functions newest
// first on a normal thread's stack (one that faults is passed over; they are
// not bounded) and ends the process by its signal. One whose own steps cannot
// finish writes its record first, and the bound ends the process.
class LastResortEnd : public LastResortTest, public ::testing::WithParamInterface<LastResortRow> {};

TEST_P(LastResortEnd, LogAndTerminateFunctions) {
    const LastResortRow& row = GetParam();
    ChildResult result = RunInChild(
        [&] {
            Initialize();  // its function runs last of all
            orneh::platform::faulttest::SetBoundSeconds(1);
            if (!row.stuck) {
                OrnEhSetTerminateFunction(&WriteCount);
                for (int i = 0; i < 296; ++i) OrnEhSetTerminateFunction(&Count);
                OrnEhSetTerminateFunction(&SlowTerminateFunction);  // longer than the bound
                OrnEhSetTerminateFunction(&NeedsLargeStack);
                OrnEhSetTerminateFunction([] { zkq_read(nullptr); });  // runs first
            }
            row.escape();
        },
        60);
    EXPECT_TRUE(result.KilledBy(row.signal)) << result;
    if (!row.stuck) {
        EXPECT_EQ(zkqtest::ReadFile(g_marker), "large\nslow\n296\nterminate function\n");
    }
    const std::string log = Log();
    for (const std::string& piece : row.logged) EXPECT_TRUE(zkqtest::Contains(log, {piece}));
    // Once: the terminate handler's texts and an entry at most.
    const auto count = [&log](const char* text) {
        int n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("throw ohne"), row.signal == SIGABRT ? 1 : 0) << log;
    EXPECT_LE(count("Fehler: "), 1) << log;
}

const auto kRowName = [](const ::testing::TestParamInfo<LastResortRow>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(LastResorts, LastResortEnd, ::testing::ValuesIn(kLastResorts), kRowName);
INSTANTIATE_TEST_SUITE_P(Stuck, LastResortEnd, ::testing::ValuesIn(kStuckLastResorts), kRowName);

// A fault inside the real allocator, with its lock held by the faulting
// thread (an interposed allocator's, and glibc's own arena lock), in a probe
// application: every run ends at once with the fault's record. The
// sanitizers own the allocator, so only the build without them has the
// probe.
TEST(AllocatorLockProbe, RecordEveryTime) {
#if !defined(ZKQ_ALLOC_LOCK_PROBE)
    GTEST_SKIP() << "no probe in a sanitizer build: the sanitizer owns the allocator";
#else
    for (const char* allocator : {"interposed", "arena"}) {
        for (const char* thread : {"registered", "unregistered"}) {
            for (int run = 0; run < 20; ++run) {
                zkqtest::TempDir dir;
                const ChildResult result = RunInChild([&] {
                    execl(ZKQ_ALLOC_LOCK_PROBE, ZKQ_ALLOC_LOCK_PROBE, allocator, thread, dir.path().c_str(), nullptr);
                    _exit(127);
                }, 30);
                const std::string log = zkqtest::ReadFile(dir.file("probe.log"));
                ASSERT_TRUE(result.KilledBy(SIGSEGV) && zkqtest::Contains(log, {"Exceptioncode: EXCEPTION_ACCESS_VIOLATION", "Aufrufstapel:"}))
                    << allocator << " " << thread << " run " << run << ": " << result << "\n" << log;
            }
        }
    }
#endif
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
        60);
    EXPECT_TRUE(result.ExitedWith(kCaught)) << result;
}

}  // namespace
