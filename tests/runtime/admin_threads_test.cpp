// Many threads registering and working on their chains at once, the table
// growing under them and unable to grow, chains handed between threads, and
// exceptions of one class removed from every thread.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OrnEh.h"
#include "OrnEhDeleteAtTerminate.h"
#include "base/alloc.h"
#include "runtime/admin_state.h"
#include "support/child_process.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

using zkqtest::Barrier;
using zkqtest::DerivedTestException;
using zkqtest::TestException;

namespace {

TEST(AdminThreadsTest, ConcurrentRegistration) {
    // The held exceptions deleted below would each write a report entry.
    zkqtest::ScopedStandardLog quiet(zkqtest::WorkDir(), "quiet.log", OrnEhLogOff, 0);
    const int kThreads = 120;
    Barrier allRegistered(kThreads + 1), done(kThreads + 1);
    std::vector<ExMultiThreadAdminInfo*> records(kThreads, nullptr);
    std::atomic<int> wrongChains{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            auto* a = new TestException("a", static_cast<unsigned long>(i), 0, 1);
            auto* b = new DerivedTestException("b", 1);
            records[i] = GetAdmin()->FindRecord();
            allRegistered.Wait();
            for (int round = 0; round < 20; ++round) {
                auto* c = new TestException("c", 1000, 0, 1);
                if (c->GetPrev() != b || b->GetPrev() != a || c->GetFirst() != a ||
                    OrnEhBasis::GetLast() != c ||
                    c->GetPrev(RUNTIME_CLASS(DerivedTestException)) != b) {
                    wrongChains.fetch_add(1);
                }
                delete c;  // held: logs the chain, releases the older ones
                a = new TestException("a", static_cast<unsigned long>(i), 0, 1);
                b = new DerivedTestException("b", 1);
            }
            zkqtest::ClearChain();
            done.Wait();
        });
    }
    allRegistered.Wait();
    // Every thread alive at once has a record of its own, and the table grew
    // past the 120 threads by its fixed steps.
    std::set<ExMultiThreadAdminInfo*> distinct(records.begin(), records.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
    EXPECT_EQ(distinct.count(nullptr), 0u);
    EXPECT_GE(zkqtest::RecordTableCapacity(), 150u);
    EXPECT_EQ(zkqtest::RecordTableCapacity() % 50, 0u);
    done.Wait();
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrongChains.load(), 0);
}

TEST(AdminThreadsTest, ChainHandedToAnotherThread) {
    zkqtest::ClearChain();
    OrnEhBasis* handed = nullptr;
    std::thread([&] {
        for (unsigned long n : {1ul, 2ul, 3ul}) new TestException("handed", n, 0, 1);
        handed = OrnEhGetExceptions();
        EXPECT_EQ(OrnEhBasis::GetLast(), nullptr);
    }).join();
    ASSERT_NE(handed, nullptr);

    for (unsigned long n : {4ul, 5ul}) new TestException("own", n, 0, 1);
    OrnEhSetExceptions(handed);
    EXPECT_EQ(zkqtest::ChainNumbers(), "4 5 1 2 3 ");  // appended behind its own

    int before = TestException::destroyed.load();
    OrnEhBasis::Release();
    EXPECT_EQ(TestException::destroyed.load() - before, 4);  // the newest waits
    zkqtest::ClearChain();
}

TEST(AdminThreadsTest, DeleteAtTerminate) {
    const int kThreads = 2;
    Barrier built(kThreads + 1), removed(kThreads + 1);
    std::atomic<int> intact{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            auto* a = new TestException("a", 1, 0, 1);
            new DerivedTestException("b", 1);
            auto* c = new TestException("c", 3, 0, 1);
            built.Wait();
            removed.Wait();
            if (OrnEhBasis::GetLast() == c && c->GetPrev() == a && a->GetNext() == c &&
                !c->GetFirst(RUNTIME_CLASS(DerivedTestException))) {
                intact.fetch_add(1);
            }
            zkqtest::ClearChain();
        });
    }
    built.Wait();
    OrnEhDeleteAtTerminate{RUNTIME_CLASS(DerivedTestException)};  // removes them as it goes, at once
    removed.Wait();
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(intact.load(), kThreads);
}

// A thread the library cannot register gets the neutral result of every
// call, and what it reports still goes (in a new process: the table starts
// at 50 records, in one block). First a free record's container and reserve
// cannot be made; then the table is full and cannot grow (more records need
// a new block, for which there is no memory).
TEST(AdminThreadsTest, ThreadsThatCannotBeRegistered) {
    namespace at = orneh::base::alloctest;
    if (zkqtest::InChildRole("cannot-register")) {
        at::FailSize(sizeof(ExRecordChunk));
        const int kHelpers = ExRecordChunk::kRecords - 1;  // with this thread, every record of the block
        Barrier done(kHelpers + 1);
        std::atomic<int> registered{0};
        std::vector<std::thread> helpers;
        auto addHelpers = [&](int count) {
            for (int i = 0; i < count; ++i) {
                helpers.emplace_back([&] {
                    OrnEhInitThreadExHandling();
                    registered.fetch_add(1);
                    done.Wait();
                });
            }
            zkqtest::WaitUntil([&] { return registered.load() == static_cast<int>(helpers.size()); }, 60000);
        };
        bool neutral = true;
        auto unregistered = [&] {
            std::thread([&] {
                const int destroyed = TestException::destroyed.load();
                auto* e = new TestException("unregistered", 1, 0, 1);  // null while nothing can be had
                neutral = neutral && OrnEhExistMARLOException() == 0 && OrnEhMarloNewHandler() == 0 &&
                          OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr) == IDOK &&
                          TestException::destroyed.load() == destroyed + (e ? 1 : 0);  // it went with its report
            }).join();
        };
        addHelpers(kHelpers - 1);
        at::FailAll();
        unregistered();
        at::Reset();
        at::FailSize(sizeof(ExRecordChunk));
        addHelpers(1);
        unregistered();
        done.Wait();
        for (std::thread& t : helpers) t.join();
        std::_Exit(neutral && zkqtest::RecordTableCapacity() == ExRecordChunk::kRecords ? 0 : 3);
    }
    const zkqtest::ChildResult child = zkqtest::RunTestInNewProcess("cannot-register");
    EXPECT_TRUE(child.ExitedWith(0)) << child;
}

}  // namespace
