// Threads as Linux programs have them: thousands that come and go while the
// kernel hands their ids out again, fork() while other threads work, an
// exception carried from one thread to another by std::exception_ptr, and
// threads cancelled or ended by pthread_exit while they are inside the
// library.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <ctime>
#include <future>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "OrnEh.h"
#include "OrnLangIds.h"
#include "compat/OrnEhWnd.h"
#include "platform/stacktrace.h"
#include "platform/system.h"
#include "runtime/admin.h"
#include "support/child_process.h"
#include "support/scripted_dialog.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::TestException;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

TEST(ThreadLifeTest, EndedThreadsSuccessor) {
    zkqtest::ScopedStandardLog quiet(zkqtest::WorkDir(), "quiet.log", OrnEhLogOff, 0);
    // Short threads that release their two exceptions and end, without
    // ending their handling, until the kernel gives an id a second time.
#if defined(ZKQ_SANITIZER_tsan)
    const int kMaxThreads = 3000;  // the sanitizer keeps state per thread ever made
#else
    const int kMaxThreads = 40000;
#endif
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    const int before = TestException::destroyed.load();
    std::set<std::uint32_t> ids;
    bool idRepeated = false;
    int threads = 0, inherited = 0;
    for (; threads < kMaxThreads && !idRepeated && std::chrono::steady_clock::now() < deadline; ++threads) {
        std::uint32_t id = 0;
        bool clean = false;
        std::thread([&] {
            id = orneh::platform::CurrentThreadId();
            clean = OrnEhExistMARLOException() == 0 && OrnEhBasis::GetLast() == nullptr;
            new TestException("released", 1, 0, 1);
            new TestException("released", 2, 0, 1);
            OrnEhBasis::Release();  // the newest waits for the thread's next append, or its end
        }).join();
        if (!clean) ++inherited;
        idRepeated = !ids.insert(id).second;
    }
    EXPECT_EQ(inherited, 0) << "of " << threads << " threads; an id came back: " << idRepeated;
    // Each chain went with its thread, and the records were reused: the
    // table never grew.
    EXPECT_EQ(TestException::destroyed.load() - before, 2 * threads);
    EXPECT_EQ(zkqtest::RecordTableCapacity(), 50u);
}

TEST(ThreadLifeTest, ForkAmongBusyThreads) {
    zkqtest::TempDir dir;
    zkqtest::ScopedStandardLog log(dir.path(), "fork.log");
    zkqtest::ClearChain();
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; ++i) {
        busy.emplace_back([&] {
            // Chains in use, and threads registering and ending.
            while (!stop.load()) {
                new TestException("busy", 1, 0, 1);
                OrnEhBasis::Release();
                std::thread([] { new TestException("short", 2, 0, 1); }).join();
            }
        });
    }
    busy.emplace_back([&] {
        // The C library's time-zone lock, taken over and over.
        while (!stop.load()) {
            std::time_t now = std::time(nullptr);
            struct tm parts;
            localtime_r(&now, &parts);
        }
    });
    OrnEhBasis* mine = new TestException("forking thread", 7, 0, 1);
    const int kChildren = 200;
    int hung = 0, failed = 0;  // failed: hung or ended otherwise than by exit 0
    std::string firstFailure;
    for (int i = 0; i < kChildren && hung < 3; ++i) {
        zkqtest::ChildResult child = zkqtest::RunInChild(
            [&] {
                bool visible = OrnEhBasis::GetLast() == mine && OrnEhExistMARLOException() == 1;
                new TestException("in child", 8, 0, 1);
                OrnEhBasis::Log(nullptr, nullptr, 0);  // the date needs local time
                OrnEhBasis::Release();
                ::_exit(visible ? 0 : 3);
            },
            10);
        if (!child.ExitedWith(0) && failed++ == 0) firstFailure = ::testing::PrintToString(child);
        if (child.timedOut) ++hung;
    }
    stop.store(true);
    for (std::thread& t : busy) t.join();
    ASSERT_EQ(failed, 0) << "first: " << firstFailure;
    // Every child reported its chain, the forking thread's exception in it.
    std::string text = zkqtest::ReadFile(log.path());
    EXPECT_EQ(Count(text, "Fehlerursache: in child"), static_cast<std::size_t>(kChildren));
    EXPECT_EQ(Count(text, "Fehlerursache: forking thread"), static_cast<std::size_t>(kChildren));
    zkqtest::ClearChain();
}

// An exception carried to another thread by std::exception_ptr keeps its
// causes, whether the thread that threw it still runs, has ended, or its
// record has gone to a thread that throws on its own.
enum class Thrower { kRuns, kEnded, kEndedRecordReused };
const char* const kThrowerNames[] = {"Runs", "Ended", "EndedRecordReused"};

class CarriedExceptionTest : public ::testing::TestWithParam<int> {};

TEST_P(CarriedExceptionTest, ArrivesWithItsCauses) {
    const Thrower thrower = static_cast<Thrower>(GetParam());
    zkqtest::TempDir dir;
    zkqtest::ScopedStandardLog log(dir.path(), "carried.log");
    zkqtest::ClearChain();
    const int before = TestException::destroyed.load();
    std::promise<void> thrown, taken;
    std::future<void> result = thrown.get_future(), goOn = taken.get_future();
    OrnEhBasis* cause = nullptr;
    ExMultiThreadAdminInfo* throwersRecord = nullptr;
    std::thread worker([&] {
        try {
            cause = new TestException("cause in worker", 1, 0, 1);
            throwersRecord = GetAdmin()->FindRecord();
            throw static_cast<OrnEhBasis*>(new TestException("in worker", 2, 0, 1));
        } catch (...) {
            thrown.set_exception(std::current_exception());
        }
        if (thrower != Thrower::kRuns) return;
        goOn.wait();
        // The worker goes on; its chain no longer holds what it handed away.
        new TestException("worker's next", 3, 0, 1);
        OrnEhBasis::Release();
        zkqtest::ClearChain();
    });
    if (thrower != Thrower::kRuns) worker.join();
    if (thrower == Thrower::kEndedRecordReused) {
        std::thread([&] {
            try {
                throw static_cast<OrnEhBasis*>(new TestException("another thread's", 4, 0, 1));
            } catch (OrnEhBasis* e) {
                EXPECT_EQ(GetAdmin()->FindRecord(), throwersRecord);
                OrnEhBasis::Release();
            }
        }).join();
    }
    OrnEhBasis* caught = nullptr;
    try {
        result.get();
    } catch (OrnEhBasis* e) {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    // Nothing of it went before it arrived (the other thread's own did).
    EXPECT_EQ(TestException::destroyed.load() - before, thrower == Thrower::kEndedRecordReused ? 1 : 0);
    OrnEhBasis::Log(nullptr, caught, 0);  // brings it into this thread's chain, as a report does
    taken.set_value();
    if (worker.joinable()) worker.join();
    // It came with its cause, and nothing of the worker's is linked to it.
    EXPECT_EQ(OrnEhBasis::GetLast(), caught);
    EXPECT_EQ(caught->GetPrev(), cause);
    EXPECT_EQ(zkqtest::ChainNumbers(), "1 2 ");
    EXPECT_TRUE(zkqtest::Contains(zkqtest::ReadFile(log.path()),
                                  {"Fehlerursache: in worker\r\n", "Fehlerursache: cause in worker\r\n"}));
    zkqtest::ClearChain();
}

INSTANTIATE_TEST_SUITE_P(Thrower, CarriedExceptionTest, ::testing::Range(0, 3),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(kThrowerNames[info.param]); });

// A thread of the process deletes an exception of the forking thread's chain
// and, in the destructor of an older one that goes with it, waits until the
// forking thread has forked: the child must find its chain free to use.
TEST(ThreadLifeTest, ForkWhileAnotherThreadReleasesTheForkersChain) {
    zkqtest::ScopedStandardLog quiet(zkqtest::WorkDir(), "quiet.log", OrnEhLogOff, 0);
    zkqtest::ClearChain();
    static std::atomic<int> phase{0};
    struct WaitsForTheFork : TestException {
        WaitsForTheFork() : TestException("cause", 1, 0, 1) {}
        ~WaitsForTheFork() override {
            CheckBeforeDelete();
            phase.store(1);
            while (phase.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    phase.store(0);
    new WaitsForTheFork();
    OrnEhBasis* victim = new TestException("victim", 2, 0, 1);
    std::thread holder([victim] { delete victim; });  // held: its older exception is released
    ASSERT_TRUE(zkqtest::WaitUntil([] { return phase.load() == 1; }, 20000));
    const zkqtest::ChildResult child = zkqtest::RunInChild(
        [] {
            new TestException("in child", 3, 0, 1);
            OrnEhBasis::Release();
        },
        10);
    phase.store(2);
    holder.join();
    EXPECT_TRUE(child.ExitedWith(0)) << child;
    zkqtest::ClearChain();
}

// --- A thread interrupted inside the library ------------------------------

// Cancelled while it waits inside the library (for a file another thread or
// process holds, for the user of a modal dialog, anywhere with call stacks
// on); ended by pthread_exit in an application hook the library calls; hit
// by a signal whose handler does not restart system calls while the
// headless dialog's write waits for a full stderr.
enum class Interrupt {
    kCancelForAThreadsFile, kCancelForAProcesssFile, kCancelInTheDialog, kSignalWhileWriting, kCancelAnywhere,
    kExitInLog, kExitInReport, kExitInHandOver, kExitInDestructor
};
const char* const kInterruptNames[] = {"CancelForAThreadsFile", "CancelForAProcesssFile", "CancelInTheDialog",
                                       "SignalWhileWriting", "CancelAnywhere", "ExitInLog", "ExitInReport",
                                       "ExitInHandOver", "ExitInDestructor"};
const long kWaitsIn[] = {SYS_futex, SYS_clock_nanosleep, SYS_read, SYS_write};

std::atomic<bool> g_release{false}, g_holding{false}, g_returned{false};
std::atomic<long> g_tid{0};
int g_pipe[2];

void LogOne(unsigned long errorNo) {
    new TestException("logged", errorNo, 0, 1);
    OrnEhBasis::Log("log", nullptr, 0);
}

struct ExitingWindow : CWnd {
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        if (message == WM_EH_HANDOVER) pthread_exit(reinterpret_cast<void*>(42));
        return 0;
    }
};

// The interrupted thread: one call into the library, then a cancellation
// point of its own.
void* CallInto(void* what) {
    g_tid.store(static_cast<long>(orneh::platform::CurrentThreadId()));
    const HWND none = nullptr;
    switch (*static_cast<const Interrupt*>(what)) {
        case Interrupt::kCancelInTheDialog: OrnEhBasis::Report(none, new TestException("shown", 1, 0, 1), 0, nullptr); break;
        case Interrupt::kSignalWhileWriting: OrnEhBasis::Report(none, "written", "Titel", MB_OK, nullptr, 0, 0); break;
        case Interrupt::kCancelAnywhere:
            for (;;) {
                LogOne(1);
                OrnEhBasis::Release();
                pthread_testcancel();
            }
        case Interrupt::kExitInLog:
        case Interrupt::kExitInReport:
            try {  // in a catch block, as applications report
                throw static_cast<OrnEhBasis*>(new TestException("caught", 42, 0, 1));
            } catch (OrnEhBasis* e) {
                if (*static_cast<const Interrupt*>(what) == Interrupt::kExitInLog) OrnEhBasis::Log(nullptr, e, 0);
                OrnEhBasis::Report(none, e, 0, nullptr);
            }
            break;
        case Interrupt::kExitInHandOver: OrnEhBasis::Report(none, "hand it over", "C", MB_ICONERROR, nullptr, 0, 0); break;
        case Interrupt::kExitInDestructor:
            new TestException("deleted unreported", 42, 0, 1);
            delete OrnEhBasis::GetLast();
            break;
        default: LogOne(1);
    }
    g_returned.store(true);
    pthread_testcancel();
    return nullptr;
}

class InterruptTest : public ::testing::TestWithParam<int> {};

// The thread ends, after the call it was in when cancelled (its entry whole,
// its locks let go), or goes on after the signal (the dialog's text whole);
// the process goes on. An unwind from a hook in an exception's destructor
// cannot go on in C++: std::terminate ends the process. Exit codes: 2 the
// thread never waited where expected, 3 it did not end as it should, or an
// entry or the text is torn or missing.
TEST_P(InterruptTest, EndsTheThreadOnly) {
    static Interrupt what;
    what = static_cast<Interrupt>(GetParam());
    const bool cancel = what <= Interrupt::kCancelAnywhere && what != Interrupt::kSignalWhileWriting;
    // In a process of its own: a forked child of this one would find the
    // locks the fork held as ThreadSanitizer last saw them.
    auto interrupted = [&]() -> int {
        zkqtest::TempDir dir;
        zkqtest::ScopedStandardLog log(dir.path(), "interrupted.log");
        using Event = orneh::dialog::Event;
        zkqtest::ScopedEnv headless("ORNEH_DIALOG", "headless");
        std::unique_ptr<zkqtest::ScriptedDialog> dialog;
        if (what != Interrupt::kSignalWhileWriting) dialog.reset(new zkqtest::ScriptedDialog);
        if (::pipe(g_pipe) != 0) return 9;
        std::size_t filled = 0;  // stderr: a pipe that is full
        if (what == Interrupt::kSignalWhileWriting) {
            const char filler[4096] = {};
            ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
            for (ssize_t n; (n = ::write(g_pipe[1], filler, sizeof filler)) > 0;) filled += static_cast<std::size_t>(n);
            ::fcntl(g_pipe[1], F_SETFL, 0);
            ::dup2(g_pipe[1], 2);
            struct sigaction action {};
            action.sa_handler = [](int) { g_holding.store(true); };
            ::sigaction(SIGUSR1, &action, nullptr);
        }
        if (what == Interrupt::kCancelInTheDialog) {
            dialog->Script({[](const orneh::dialog::WindowModel&) {
                char c;
                (void)!::read(g_pipe[0], &c, 1);  // the user takes their time
                return Event{Event::kOk, IDOK, ""};
            }});
        }
        if (what == Interrupt::kExitInHandOver) {
            dialog->Script({zkqtest::ScriptedDialog::Do(Event::kClick, IDC_EH_DETAILS_TOGGLE),
                            zkqtest::ScriptedDialog::Do(Event::kClick, IDC_EH_HANDOVER)});
        }
        ExitingWindow window;
        OrnEhSetMainWnd(&window);
        TestException::onLog = [](const TestException& e) {
            if (e.GetErrorNo() == 42) pthread_exit(reinterpret_cast<void*>(42));
            if (e.GetErrorNo() != 100) return;
            g_holding.store(true);
            while (!g_release.load()) ::usleep(1000);
        };
        std::thread holder;
        std::unique_ptr<zkqtest::ForeignHolder> foreign;
        if (what == Interrupt::kCancelForAThreadsFile) {
            holder = std::thread([] { LogOne(100); });
            zkqtest::WaitUntil([] { return g_holding.load(); }, 20000);
        }
        if (what == Interrupt::kCancelForAProcesssFile) foreign.reset(new zkqtest::ForeignHolder(log.path()));
        if (what == Interrupt::kCancelAnywhere) orneh::platform::SetStackTraceMode(orneh::platform::StackTraceMode::kAll);
        std::mt19937 random(static_cast<unsigned>(::getpid()));
        void* result = nullptr;
        std::string written;
        for (int round = 0; round < (what == Interrupt::kCancelAnywhere ? 10 : 1); ++round) {
            pthread_t thread;
            g_tid.store(0);
            pthread_create(&thread, nullptr, &CallInto, &what);
            if (what < Interrupt::kCancelAnywhere &&
                (!zkqtest::WaitUntil([] { return g_tid.load() != 0; }, 20000) ||
                 !zkqtest::WaitUntilBlockedIn(g_tid.load(), kWaitsIn[static_cast<int>(what)]))) {
                return 2;
            }
            if (what == Interrupt::kCancelAnywhere) ::usleep(1000 + random() % 20000);
            if (cancel) pthread_cancel(thread);
            if (what == Interrupt::kSignalWhileWriting) {
                g_holding.store(false);
                pthread_kill(thread, SIGUSR1);
                zkqtest::WaitUntil([] { return g_holding.load(); }, 20000);
            }
            // Whatever it waits for lets go.
            g_release.store(true);
            foreign.reset();
            ::fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
            if (what == Interrupt::kCancelInTheDialog) (void)!::write(g_pipe[1], "x", 1);
            for (bool more = what == Interrupt::kSignalWhileWriting; more;) {
                more = !g_returned.load();
                char buffer[4096];
                for (ssize_t n; (n = ::read(g_pipe[0], buffer, sizeof buffer)) > 0;) written.append(buffer, n);
                ::usleep(1000);
            }
            pthread_join(thread, &result);
        }
        if (holder.joinable()) holder.join();
        new TestException("after it", 5, 0, 1);
        OrnEhBasis::Log("main", nullptr, 0);
        OrnEhBasis::Release();
        const std::string text = zkqtest::ReadFile(log.path());
        const bool whole = Count(text, "Fehlerursache: after it") == 1 &&
                           Count(text, "Fehler: ") == Count(text, std::string(68, '*'));
        bool ended = result == reinterpret_cast<void*>(42);
        if (cancel) ended = result == PTHREAD_CANCELED && (what == Interrupt::kCancelAnywhere || g_returned);
        if (what == Interrupt::kSignalWhileWriting) {
            ended = !result && written.size() > filled + 20 && written.rfind("=== Titel ===\n", filled) == filled &&
                    written.compare(written.size() - 5, 5, "\n===\n") == 0;
        }
        return ended && whole ? 0 : 3;
    };
    if (zkqtest::InChildRole("interrupted")) std::exit(interrupted());
    const zkqtest::ChildResult child = zkqtest::RunTestInNewProcess("interrupted");
    EXPECT_TRUE(what == Interrupt::kExitInDestructor ? child.KilledBy(SIGABRT) : child.ExitedWith(0)) << child;
}

INSTANTIATE_TEST_SUITE_P(Interrupt, InterruptTest, ::testing::Range(0, static_cast<int>(std::size(kInterruptNames))),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(kInterruptNames[info.param]); });

}  // namespace
