// Threads as Linux programs have them: thousands that come and go while the
// kernel hands their ids out again, fork() while other threads work, and an
// exception carried from one thread to another by std::exception_ptr.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

#include "OrnEh.h"
#include "platform/system.h"
#include "support/child_process.h"
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
    // Short threads that end holding two exceptions, without ending their
    // handling, until the kernel gives an id a second time.
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
            new TestException("left behind", 1, 0, 1);
            new TestException("left behind", 2, 0, 1);
        }).join();
        if (!clean) ++inherited;
        idRepeated = !ids.insert(id).second;
    }
    EXPECT_EQ(inherited, 0) << "of " << threads << " threads; an id came back: " << idRepeated;
    // Each chain went with its thread (the newest exception when the record's
    // next thread appended), and the records were reused: the table never grew.
    EXPECT_GE(TestException::destroyed.load() - before, 2 * threads - 1);
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

TEST(ThreadLifeTest, ExceptionCarriedByAFuture) {
    zkqtest::ScopedStandardLog quiet(zkqtest::WorkDir(), "quiet.log", OrnEhLogOff, 0);
    zkqtest::ClearChain();
    std::promise<void> thrown, taken;
    std::future<void> result = thrown.get_future();
    std::future<void> goOn = taken.get_future();
    OrnEhBasis* cause = nullptr;
    std::thread worker([&] {
        try {
            cause = new TestException("cause in worker", 1, 0, 1);
            throw static_cast<OrnEhBasis*>(new TestException("in worker", 2, 0, 1));
        } catch (...) {
            thrown.set_exception(std::current_exception());
        }
        goOn.wait();
        // The worker goes on; its chain no longer holds what it handed away.
        new TestException("worker's next", 3, 0, 1);
        OrnEhBasis::Release();
        new TestException("worker's third", 4, 0, 1);
        OrnEhBasis::Release();
        zkqtest::ClearChain();
    });
    OrnEhBasis* caught = nullptr;
    try {
        result.get();
    } catch (OrnEhBasis* e) {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    OrnEhBasis::Log(nullptr, caught, 0);  // brings it into this thread's chain, as a report does
    taken.set_value();
    worker.join();
    // It came with its cause, and nothing of the worker's is linked to it.
    EXPECT_EQ(OrnEhBasis::GetLast(), caught);
    EXPECT_EQ(caught->GetNext(), nullptr);
    EXPECT_EQ(caught->GetPrev(), cause);
    EXPECT_EQ(cause->GetPrev(), nullptr);
    EXPECT_EQ(caught->GetErrorNo(), 2u);
    zkqtest::ClearChain();
}

}  // namespace
