// The in-process writer table: writers of one process queue for a file
// instead of meeting the flock; allocation failure falls back to plain flock;
// a forked child starts with a usable, empty table.
#include <atomic>
#include <chrono>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/alloc.h"
#include "platform/file.h"
#include "support/test_util.h"

namespace pf = orneh::platform;
using Clock = std::chrono::steady_clock;
using zkqtest::TempDir;

namespace {

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

TEST(FileRegistry, SecondWriterOfThisProcessWaitsItsTurnThenGivesUp) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::HeldFileCount(), 1u);

    pf::File waiter;
    auto start = Clock::now();
    EXPECT_EQ(waiter.OpenForAppend(path.c_str(), 120), pf::OpenStatus::kHeldHere);
    EXPECT_GE(ElapsedMs(start), 120);
    EXPECT_FALSE(waiter.IsOpen());

    pf::File impatient;
    EXPECT_EQ(impatient.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kHeldHere);

    holder.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
    EXPECT_EQ(waiter.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
}

TEST(FileRegistry, ReleaseHandsTheFileToTheWaitingThread) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    ASSERT_TRUE(holder.WriteAll("first;", 6));

    std::atomic<int> result{-1};
    std::thread second([&] {
        pf::File file;
        pf::OpenStatus status = file.OpenForAppend(path.c_str(), 10000);
        if (status == pf::OpenStatus::kOpened) file.WriteAll("second;", 7);
        result = static_cast<int>(status);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result.load(), -1) << "the second writer must wait while the first holds the file";
    holder.Close();
    second.join();
    EXPECT_EQ(result.load(), static_cast<int>(pf::OpenStatus::kOpened));
    EXPECT_EQ(zkqtest::ReadFile(path), "first;second;");
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}

TEST(FileRegistry, WaitersAreServedInArrivalOrder) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);

    std::vector<std::thread> threads;
    for (char name : {'a', 'b', 'c', 'd'}) {
        threads.emplace_back([&path, name] {
            pf::File file;
            if (file.OpenForAppend(path.c_str(), 10000) == pf::OpenStatus::kOpened) {
                file.WriteAll(&name, 1);
            }
        });
        // Let each thread queue up before the next one arrives.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    holder.Close();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(zkqtest::ReadFile(path), "abcd");
}

TEST(FileRegistry, DifferentFilesDoNotWaitForEachOther) {
    TempDir dir;
    pf::File a;
    pf::File b;
    ASSERT_EQ(a.OpenForAppend(dir.file("a.log").c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(b.OpenForAppend(dir.file("b.log").c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::HeldFileCount(), 2u);
}

TEST(FileRegistry, SameFileUnderAnotherNameIsTheSameEntry) {
    TempDir dir;
    std::string path = dir.file("a.log");
    ASSERT_EQ(::symlink(path.c_str(), dir.file("link.log").c_str()), 0);
    pf::File a;
    ASSERT_EQ(a.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    pf::File b;
    EXPECT_EQ(b.OpenForAppend(dir.file("link.log").c_str(), 0), pf::OpenStatus::kHeldHere);
}

TEST(FileRegistry, WithoutATableEntryPlainFlockDecides) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    std::string path = dir.file("a.log");
    long before = pf::alloctest::Outstanding();
    pf::alloctest::FailAll();
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::HeldFileCount(), 0u);
    // Nothing tells the second writer that the holder is ours: it meets the lock.
    pf::File second;
    EXPECT_EQ(second.OpenForAppend(path.c_str(), 1000), pf::OpenStatus::kHeldElsewhere);
    pf::alloctest::Reset();
    holder.Close();
    EXPECT_EQ(second.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    second.Close();
    EXPECT_EQ(pf::alloctest::Outstanding(), before);
}

TEST(FileRegistry, ForkedChildStartsWithAnEmptyUsableTable) {
    TempDir dir;
    std::string path = dir.file("a.log");
    std::string other = dir.file("b.log");
    pf::File held;
    ASSERT_EQ(held.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);

    // A thread keeps taking and giving back the table's mutex while we fork.
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            pf::File file;
            file.OpenForAppend(other.c_str(), 1000);
        }
    });
    for (int round = 0; round < 20; ++round) {
        pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            ::alarm(10);  // a deadlock ends as SIGALRM
            bool ok = pf::HeldFileCount() == 0;
            pf::File file;
            // The parent's writer is gone here; the inherited lock still
            // belongs to the shared open file description, so flock decides.
            ok = ok && file.OpenForAppend(path.c_str(), 0) == pf::OpenStatus::kHeldElsewhere;
            ok = ok && file.OpenForAppend(dir.file("c.log").c_str(), 0) == pf::OpenStatus::kOpened;
            file.Close();
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "child hung or crashed in round " << round;
        EXPECT_EQ(WEXITSTATUS(status), 0) << "round " << round;
    }
    stop = true;
    churn.join();
    held.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}
