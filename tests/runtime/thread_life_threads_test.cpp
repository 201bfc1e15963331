// Threads as Linux programs have them: thousands that come and go while the
// kernel hands their ids out again, fork() while other threads work, an
// exception carried from one thread to another by std::exception_ptr, and
// threads cancelled or ended by pthread_exit while they are inside the
// library.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <functional>
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

// Names the cases of a parameterised test from a table indexed by its enum.
template <class E, std::size_t N>
std::function<std::string(const ::testing::TestParamInfo<E>&)> NamedBy(const char* const (&names)[N]) {
    return [&names](const ::testing::TestParamInfo<E>& info) { return std::string(names[static_cast<int>(info.param)]); };
}

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
    int hung = 0, failed = 0;
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
        if (child.timedOut) {
            ++hung;
        } else if (!child.exited || child.exitCode != 0) {
            ++failed;
        }
    }
    stop.store(true);
    for (std::thread& t : busy) t.join();
    ASSERT_EQ(hung, 0);
    ASSERT_EQ(failed, 0);
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

class CarriedExceptionTest : public ::testing::TestWithParam<Thrower> {};

TEST_P(CarriedExceptionTest, ArrivesWithItsCauses) {
    zkqtest::TempDir dir;
    zkqtest::ScopedStandardLog log(dir.path(), "carried.log");
    zkqtest::ClearChain();
    const int before = TestException::destroyed.load();
    std::promise<void> thrown, taken;
    std::future<void> result = thrown.get_future();
    std::future<void> goOn = taken.get_future();
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
        if (GetParam() != Thrower::kRuns) return;
        goOn.wait();
        // The worker goes on; its chain no longer holds what it handed away.
        new TestException("worker's next", 3, 0, 1);
        OrnEhBasis::Release();
        zkqtest::ClearChain();
    });
    if (GetParam() != Thrower::kRuns) worker.join();
    if (GetParam() == Thrower::kEndedRecordReused) {
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
    EXPECT_EQ(TestException::destroyed.load() - before, GetParam() == Thrower::kEndedRecordReused ? 1 : 0);
    OrnEhBasis::Log(nullptr, caught, 0);  // brings it into this thread's chain, as a report does
    taken.set_value();
    if (worker.joinable()) worker.join();
    // It came with its cause, and nothing of the worker's is linked to it.
    EXPECT_EQ(OrnEhBasis::GetLast(), caught);
    EXPECT_EQ(caught->GetNext(), nullptr);
    EXPECT_EQ(caught->GetPrev(), cause);
    EXPECT_EQ(cause->GetPrev(), nullptr);
    EXPECT_EQ(caught->GetErrorNo(), 2u);
    EXPECT_TRUE(zkqtest::Contains(zkqtest::ReadFile(log.path()),
                                  {"Fehlerursache: in worker\r\n", "Fehlerursache: cause in worker\r\n"}));
    zkqtest::ClearChain();
}

const char* const kThrowerNames[] = {"Runs", "Ended", "EndedRecordReused"};
INSTANTIATE_TEST_SUITE_P(Thrower, CarriedExceptionTest,
                         ::testing::Values(Thrower::kRuns, Thrower::kEnded, Thrower::kEndedRecordReused),
                         NamedBy<Thrower>(kThrowerNames));

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

// --- Threads that are cancelled, or end themselves, inside the library ------

// A thread that makes one call into the library, then reaches a
// cancellation point of its own.
struct Caller {
    std::function<void()> call;
    std::atomic<long> tid{0};
    std::atomic<bool> returned{false};

    static void* Run(void* self) {
        auto* caller = static_cast<Caller*>(self);
        caller->tid.store(static_cast<long>(orneh::platform::CurrentThreadId()));
        caller->call();
        caller->returned.store(true);
        pthread_testcancel();
        return nullptr;
    }
};

int EntriesTorn(const std::string& text) {
    return static_cast<int>(Count(text, "Fehler: ")) - static_cast<int>(Count(text, std::string(68, '*')));
}

// Where a thread waits inside the library when it is cancelled.
enum class Waits { kForAThreadsFile, kForAProcesssFile, kInTheDialog, kAnywhere };

class CancelTest : public ::testing::TestWithParam<Waits> {};

// The cancelled thread finishes the call it is in (its entry whole, its
// locks let go) and ends at its next cancellation point; the process goes
// on. Child codes: 2 the thread never waited there, 3 it did not end
// cancelled after its call, 4 a torn or missing entry.
TEST_P(CancelTest, TakesEffectAfterTheCall) {
#if defined(ZKQ_SANITIZER_tsan)
    GTEST_SKIP() << "ThreadSanitizer does not follow a cancellation's unwind";
#endif
    zkqtest::TempDir dir;
    const zkqtest::ChildResult child = zkqtest::RunInChild(
        [&] {
            zkqtest::ScopedStandardLog log(dir.path(), "cancel.log");
            static std::atomic<bool> release{false};
            static std::atomic<bool> holding{false};
            TestException::onLog = [](const TestException& e) {
                if (e.GetErrorNo() != 100) return;
                holding.store(true);
                while (!release.load()) ::usleep(1000);
            };
            int pipeFds[2];
            if (::pipe(pipeFds) != 0) ::_exit(9);
            std::unique_ptr<zkqtest::ForeignHolder> foreign;
            std::unique_ptr<zkqtest::ScriptedDialog> dialog;
            std::thread holder;
            Caller caller;
            long waitsIn = 0;
            std::function<void()> letGo;
            switch (GetParam()) {
                case Waits::kForAThreadsFile:  // the in-process queue for the file
                    holder = std::thread([] { new TestException("holds the file", 100, 0, 1); OrnEhBasis::Log("held", nullptr, 0); });
                    zkqtest::WaitUntil([] { return holding.load(); }, 20000);
                    caller.call = [] { new TestException("waits", 1, 0, 1); OrnEhBasis::Log("waited", nullptr, 0); };
                    waitsIn = SYS_futex;
                    letGo = [&] { release.store(true); holder.join(); };
                    break;
                case Waits::kForAProcesssFile:  // the poll for another process's lock
                    foreign.reset(new zkqtest::ForeignHolder(log.path()));
                    caller.call = [] { new TestException("waits", 1, 0, 1); OrnEhBasis::Log("waited", nullptr, 0); };
                    waitsIn = SYS_clock_nanosleep;
                    letGo = [&] { foreign.reset(); };
                    break;
                case Waits::kInTheDialog:  // a modal dialog waiting for the user
                    dialog.reset(new zkqtest::ScriptedDialog);
                    dialog->Script({[&](const orneh::dialog::WindowModel&) {
                        char c;
                        (void)!::read(pipeFds[0], &c, 1);
                        return orneh::dialog::Event{orneh::dialog::Event::kOk, IDOK, ""};
                    }});
                    caller.call = [] { OrnEhBasis::Report(static_cast<HWND>(nullptr), new TestException("shown", 1, 0, 1), 0, nullptr); };
                    waitsIn = SYS_read;
                    letGo = [&] { (void)!::write(pipeFds[1], "x", 1); };
                    break;
                case Waits::kAnywhere: {  // every record with its call stack, cancelled at random
                    orneh::platform::SetStackTraceMode(orneh::platform::StackTraceMode::kAll);
                    std::mt19937 random(static_cast<unsigned>(::getpid()));
                    for (int round = 0; round < 10; ++round) {
                        pthread_t thread;
                        caller.call = [] {
                            for (;;) {
                                new TestException("cancelled somewhere", 1, 0, 1);
                                OrnEhBasis::Log("loop", nullptr, 0);
                                OrnEhBasis::Release();
                                pthread_testcancel();
                            }
                        };
                        pthread_create(&thread, nullptr, &Caller::Run, &caller);
                        ::usleep(1000 + random() % 20000);
                        pthread_cancel(thread);
                        void* result = nullptr;
                        pthread_join(thread, &result);
                        if (result != PTHREAD_CANCELED) ::_exit(3);
                    }
                    letGo = [] {};
                    break;
                }
            }
            if (GetParam() != Waits::kAnywhere) {
                pthread_t thread;
                pthread_create(&thread, nullptr, &Caller::Run, &caller);
                if (!zkqtest::WaitUntil([&] { return caller.tid.load() != 0; }, 20000) ||
                    !zkqtest::WaitUntilBlockedIn(caller.tid.load(), waitsIn)) {
                    ::_exit(2);
                }
                pthread_cancel(thread);
                letGo();
                void* result = nullptr;
                pthread_join(thread, &result);
                if (result != PTHREAD_CANCELED || !caller.returned.load()) ::_exit(3);
            }
            new TestException("after the cancel", 5, 0, 1);
            OrnEhBasis::Log("main", nullptr, 0);
            OrnEhBasis::Release();
            const std::string text = zkqtest::ReadFile(log.path());
            ::_exit(Count(text, "Fehlerursache: after the cancel") == 1 && EntriesTorn(text) == 0 ? 0 : 4);
        },
        60);
    EXPECT_TRUE(child.ExitedWith(0)) << child;
}

const char* const kWaitsNames[] = {"ForAThreadsFile", "ForAProcesssFile", "InTheDialog", "Anywhere"};
INSTANTIATE_TEST_SUITE_P(Waits, CancelTest,
                         ::testing::Values(Waits::kForAThreadsFile, Waits::kForAProcesssFile, Waits::kInTheDialog, Waits::kAnywhere),
                         NamedBy<Waits>(kWaitsNames));

// An application hook that the library calls ends its thread with
// pthread_exit: the thread ends, the process goes on. Where the hook runs
// in an exception's destructor, C++ cannot go on unwinding: the process
// ends through std::terminate, with its record.
enum class ExitsIn { kLog, kReport, kHandOver, kDestructor };

class ExitInHookTest : public ::testing::TestWithParam<ExitsIn> {};

struct ExitingWindow : CWnd {
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        if (message == WM_EH_HANDOVER) pthread_exit(reinterpret_cast<void*>(42));
        return 0;
    }
};

TEST_P(ExitInHookTest, EndsTheThreadOnly) {
    zkqtest::TempDir dir;
    static ExitsIn where;
    where = GetParam();
    const zkqtest::ChildResult child = zkqtest::RunInChild(
        [&] {
            zkqtest::ScopedStandardLog log(dir.path(), "exit.log");
            zkqtest::ScriptedDialog dialog;
            dialog.Script({zkqtest::ScriptedDialog::Do(orneh::dialog::Event::kClick, IDC_EH_DETAILS_TOGGLE),
                           zkqtest::ScriptedDialog::Do(orneh::dialog::Event::kClick, IDC_EH_HANDOVER)});
            ExitingWindow window;
            OrnEhSetMainWnd(&window);
            TestException::onLog = [](const TestException& e) {
                if (e.GetErrorNo() == 42) pthread_exit(reinterpret_cast<void*>(42));
            };
            pthread_t thread;
            pthread_create(&thread, nullptr, [](void*) -> void* {
                new TestException("ends its thread", 42, 0, 1);
                switch (where) {
                    case ExitsIn::kLog: OrnEhBasis::Log("log", nullptr, 0); break;
                    case ExitsIn::kReport: OrnEhBasis::Report(static_cast<HWND>(nullptr), nullptr, 0, nullptr); break;
                    case ExitsIn::kHandOver:
                        OrnEhBasis::Report(static_cast<HWND>(nullptr), "hand it over", "caption", MB_ICONERROR,
                                           nullptr, 0, 0);
                        break;
                    case ExitsIn::kDestructor: delete OrnEhBasis::GetLast(); break;
                }
                return nullptr;
            }, nullptr);
            void* result = nullptr;
            pthread_join(thread, &result);
            new TestException("after the exit", 5, 0, 1);
            OrnEhBasis::Log("main", nullptr, 0);
            OrnEhBasis::Release();
            const std::string text = zkqtest::ReadFile(log.path());
            const bool whole = Count(text, "Fehlerursache: after the exit") == 1 && EntriesTorn(text) == 0;
            ::_exit(result == reinterpret_cast<void*>(42) && whole ? 0 : 3);
        },
        60);
    if (where == ExitsIn::kDestructor) {
        EXPECT_TRUE(child.KilledBy(SIGABRT)) << child;
    } else {
        EXPECT_TRUE(child.ExitedWith(0)) << child;
    }
}

const char* const kExitsInNames[] = {"Log", "Report", "HandOver", "Destructor"};
INSTANTIATE_TEST_SUITE_P(ExitsIn, ExitInHookTest,
                         ::testing::Values(ExitsIn::kLog, ExitsIn::kReport, ExitsIn::kHandOver, ExitsIn::kDestructor),
                         NamedBy<ExitsIn>(kExitsInNames));

}  // namespace
