// The platform file layer: opening for appending, the probe, the plain file
// operations, and the in-process writer table (writers of one process queue
// for a file instead of meeting the flock; a forked child starts with an
// empty table), and the module loader's check of the file it loads.
// Reading, seeking and the fallback when the table has no room are exercised
// through the log file's cut and allocation tests.
#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/test_util.h"
#include "platform/file.h"
#include "platform/module_loader.h"
#include "support/child_process.h"

namespace pf = orneh::platform;
using zkqtest::ForeignHolder;
using zkqtest::ReadFile;

TEST(File, Lifecycle) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log");
    const mode_t old = ::umask(027);
    pf::File file;
    const pf::OpenStatus status = file.OpenForAppend(path.c_str(), 0);
    ::umask(old);
    ASSERT_EQ(status, pf::OpenStatus::kOpened);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the owner's alone, whatever the umask allows";
    // A size beyond 4 GiB (sparse: no disk space), then a failed write that
    // reports EIO and leaves the file open for the next.
    const std::uint64_t big = (1ull << 32) + 7;
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Truncate(big) && file.Size(&size));
    EXPECT_EQ(size, big);
    ASSERT_TRUE(file.Truncate(0));
    pf::filetest::FailNthWrite(2);
    EXPECT_TRUE(file.WriteAll("on", 2) && !file.WriteAll("x", 1) && errno == EIO && file.WriteAll("e", 1));
    pf::filetest::FailNthSync(1);
    EXPECT_FALSE(file.Close()) << "a failed sync is reported";
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(!file.WriteAll("x", 1) && !file.Size(&size) && file.ReadAt(0, &size, 1) == -1) << "closed";
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    ASSERT_TRUE(file.WriteAll("two", 3));
    int flags = -1;  // of the descriptor that is open on path
    for (int fd = 3; fd < 1024 && flags < 0; ++fd) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
        if (n > 0 && path == std::string(target, static_cast<std::size_t>(n))) flags = ::fcntl(fd, F_GETFD);
    }
    EXPECT_TRUE(flags >= 0 && (flags & FD_CLOEXEC));
    pf::File moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(ForeignHolder(path).holds()) << "the moved-to object keeps the lock";
    EXPECT_TRUE(moved.Close());
    EXPECT_TRUE(ForeignHolder(path).holds()) << "Close lets the lock go";
    EXPECT_EQ(ReadFile(path), "onetwo");
}

TEST(File, HolderKinds) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("ZKFEHLER.LOG");
    pf::File file;
    {
        ForeignHolder holder(path);
        ASSERT_TRUE(holder.holds());
        errno = 0;
        EXPECT_EQ(file.OpenForAppend(path.c_str(), 1000), pf::OpenStatus::kHeldElsewhere);
        EXPECT_EQ(errno, EWOULDBLOCK);
        EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kHeldElsewhere);
    }
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kOpened) << "held in this process: available";
    file.Close();
    // A FIFO in place of the file: rejected, without blocking for a reader.
    const std::string fifo = dir.file("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const zkqtest::ChildResult child = zkqtest::RunInChild([&] {
        const bool rejected = pf::File::ProbeExisting(fifo.c_str()) == pf::OpenStatus::kFailed &&
                              pf::File().OpenForAppend(fifo.c_str(), 0) == pf::OpenStatus::kFailed;
        ::_exit(rejected ? 0 : 1);
    }, 30);
    EXPECT_TRUE(child.ExitedWith(0)) << "blocked on, or accepted, a FIFO: " << child;
}

TEST(FileRegistry, ArrivalOrder) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log");
    ASSERT_EQ(::symlink(path.c_str(), dir.file("link.log").c_str()), 0);
    pf::File holder, impatient, other;
    ASSERT_EQ(holder.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    ASSERT_TRUE(holder.WriteAll(">", 1));
    // Under another name it is the same file; the wait is bounded.
    const zkqtest::Stopwatch watch;
    EXPECT_EQ(impatient.OpenForAppend(dir.file("link.log").c_str(), 120), pf::OpenStatus::kHeldHere);
    EXPECT_GE(watch.Ms(), 120);
    EXPECT_EQ(other.OpenForAppend(dir.file("b.log").c_str(), 0), pf::OpenStatus::kOpened) << "other files are free";
    std::vector<std::thread> threads;
    std::atomic<int> opened{0};
    for (char name : {'a', 'b', 'c', 'd'}) {
        std::atomic<pid_t> tid{0};
        threads.emplace_back([&, name] {
            tid = static_cast<pid_t>(::syscall(SYS_gettid));
            pf::File file;
            if (file.OpenForAppend(path.c_str(), 60000) == pf::OpenStatus::kOpened) ++opened, file.WriteAll(&name, 1);
        });
        // One after another: the next starts once this one sleeps in the queue.
        EXPECT_TRUE(zkqtest::WaitUntil([&] {
            const std::string stat = ReadFile("/proc/self/task/" + std::to_string(tid.load()) + "/stat");
            return tid.load() != 0 && stat.find(") S ") != std::string::npos;
        }, 30000)) << name;
    }
    EXPECT_EQ(opened.load(), 0) << "nobody gets in while the holder has the file";
    holder.Close();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(ReadFile(path), ">abcd");
    other.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}

TEST(FileRegistry, ForkedChild) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log");
    pf::File held;
    ASSERT_EQ(held.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    std::atomic<bool> stop{false};
    std::thread churn([&] {  // takes and gives back the table's mutex while we fork
        while (!stop) pf::File().OpenForAppend(dir.file("b.log").c_str(), 1000);
    });
    for (int round = 0; round < 20 && !HasFailure(); ++round) {
        const zkqtest::ChildResult child = zkqtest::RunInChild([&] {  // a deadlock ends at the deadline
            pf::File file;
            // The parent's writer is not in the child's table; the inherited
            // lock still belongs to the shared open file description.
            const bool ok = pf::HeldFileCount() == 0 &&
                            file.OpenForAppend(path.c_str(), 0) == pf::OpenStatus::kHeldElsewhere &&
                            file.OpenForAppend(dir.file("c.log").c_str(), 0) == pf::OpenStatus::kOpened;
            file.Close();
            ::_exit(ok ? 0 : 1);
        }, 30);
        EXPECT_TRUE(child.ExitedWith(0)) << "round " << round << ": " << child;
    }
    stop = true;
    churn.join();
    held.Close();
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}

// A dialog module is loaded from the file that passed the check, even when
// its name is pointed at another (untrusted) file in between.
TEST(ModuleLoader, LoadsTheFileItChecked) {
    static zkqtest::TempDir dir;
    zkqtest::WriteFile(dir.file("marker.so"), ReadFile(ZKQ_MARKER_MODULE_1));
    zkqtest::WriteFile(dir.file("swapped.so"), ReadFile(ZKQ_MARKER_MODULE_2));
    ASSERT_EQ(::chmod(dir.file("marker.so").c_str(), 0644) | ::chmod(dir.file("swapped.so").c_str(), 0666), 0);
    pf::moduletest::SetBetweenCheckAndLoad([](const char* path) { ::rename(dir.file("swapped.so").c_str(), path); });
    std::string why;
    void* marker = pf::LoadModuleSymbol("marker.so", "ZKQ_Marker", dir.path().c_str(), why);
    pf::moduletest::SetBetweenCheckAndLoad(nullptr);
    ASSERT_NE(marker, nullptr) << why;
    EXPECT_EQ(reinterpret_cast<int (*)()>(marker)(), 1);
    EXPECT_FALSE(zkqtest::FileExists(dir.file("swapped.so")));  // the swap did happen
}
