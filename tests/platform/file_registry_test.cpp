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
using zkqtest::TempDir;

TEST(FileRegistry, WritersOfThisProcessWaitTheirTurnInArrivalOrder) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    ASSERT_EQ(::symlink(path.c_str(), dir.file("link.log").c_str()), 0);
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    ASSERT_TRUE(holder.WriteAll(">", 1));

    // Under another name it is the same file; the wait is bounded.
    pf::File impatient;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(impatient.OpenForAppend(dir.file("link.log").c_str(), 120), pf::OpenStatus::kHeldHere);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120));
    pf::File other;
    EXPECT_EQ(other.OpenForAppend(dir.file("b.log").c_str(), 0), pf::OpenStatus::kOpened) << "other files are free";

    std::vector<std::thread> threads;
    std::atomic<int> opened{0};
    for (char name : {'a', 'b', 'c', 'd'}) {
        threads.emplace_back([&, name] {
            pf::File file;
            if (file.OpenForAppend(path.c_str(), 10000) != pf::OpenStatus::kOpened) return;
            ++opened;
            file.WriteAll(&name, 1);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(40));  // queue up one after another
    }
    EXPECT_EQ(opened.load(), 0) << "nobody gets in while the holder has the file";
    holder.Close();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(zkqtest::ReadFile(path), ">abcd");
    other.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}

TEST(FileRegistry, WithoutATableEntryPlainFlockDecides) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    const std::string path = dir.file("a.log");
    const long before = pf::alloctest::Outstanding();
    pf::alloctest::FailAll();
    pf::File holder;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::HeldFileCount(), 0u);
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
    const std::string path = dir.file("a.log");
    pf::File held;
    ASSERT_EQ(held.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    // A thread keeps taking and giving back the table's mutex while we fork.
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            pf::File file;
            file.OpenForAppend(dir.file("b.log").c_str(), 1000);
        }
    });
    for (int round = 0; round < 20; ++round) {
        pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            ::alarm(10);  // a deadlock ends as SIGALRM
            pf::File file;
            // The parent's writer is not in the child's table; the inherited
            // lock still belongs to the shared open file description.
            bool ok = pf::HeldFileCount() == 0 &&
                      file.OpenForAppend(path.c_str(), 0) == pf::OpenStatus::kHeldElsewhere &&
                      file.OpenForAppend(dir.file("c.log").c_str(), 0) == pf::OpenStatus::kOpened;
            file.Close();
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    stop = true;
    churn.join();
    held.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}
