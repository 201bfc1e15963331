// The platform file layer: opening for appending, the probe, and the plain
// file operations.
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "logfile/logfile_helpers.h"
#include "platform/file.h"
#include "support/test_util.h"

namespace pf = orneh::platform;
using logtest::ForeignHolder;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

TEST(FileOpen, CreatesWithUmaskAppendsAndClosesOnExec) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    const mode_t old = ::umask(027);
    pf::File file;
    const pf::OpenStatus status = file.OpenForAppend(path.c_str(), 0);
    ::umask(old);
    ASSERT_EQ(status, pf::OpenStatus::kOpened);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    ASSERT_TRUE(file.WriteAll("one", 3));
    file.Close();

    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    ASSERT_TRUE(file.WriteAll("two", 3));
    bool cloexecChecked = false;
    for (int fd = 3; fd < 1024 && !cloexecChecked; ++fd) {
        char link[64], target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n <= 0 || path != std::string(target, static_cast<std::size_t>(n))) continue;
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        cloexecChecked = true;
    }
    EXPECT_TRUE(cloexecChecked);
    pf::File moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(ForeignHolder(path).holds()) << "the moved-to object keeps the lock";
    moved.Close();
    EXPECT_TRUE(ForeignHolder(path).holds()) << "Close lets the lock go";
    EXPECT_EQ(ReadFile(path), "onetwo");
}

TEST(FileOpen, HeldElsewhereIsDistinctFromEveryOtherFailure) {
    TempDir dir;
    const std::string path = dir.file("ZKFEHLER.LOG");
    pf::File file;
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kFailed);
    EXPECT_FALSE(zkqtest::FileExists(path)) << "the probe never creates";
    {
        ForeignHolder holder(path);
        ASSERT_TRUE(holder.holds());
        errno = 0;
        EXPECT_EQ(file.OpenForAppend(path.c_str(), 1000), pf::OpenStatus::kHeldElsewhere);
        EXPECT_EQ(errno, EWOULDBLOCK);
        EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kHeldElsewhere);
        EXPECT_EQ(pf::HeldFileCount(), 0u);
    }
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kOpened);
    EXPECT_EQ(file.OpenForAppend(dir.file("no/dir.log").c_str(), 0), pf::OpenStatus::kFailed);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(file.OpenForAppend(dir.path().c_str(), 0), pf::OpenStatus::kFailed);

    // A FIFO in place of the file: rejected, without blocking for a reader.
    const std::string fifo = dir.file("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::alarm(5);
        pf::File append;
        bool ok = pf::File::ProbeExisting(fifo.c_str()) == pf::OpenStatus::kFailed &&
                  append.OpenForAppend(fifo.c_str(), 0) == pf::OpenStatus::kFailed;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "blocked on, or accepted, a FIFO";
}

TEST(FileOps, ReadSeekTruncateSizeAndInjectedFailures) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    WriteFile(path, "0123456789");
    pf::File file;
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    std::uint64_t position = 0;
    ASSERT_TRUE(file.Seek(0, pf::SeekFrom::kCurrent, &position));
    EXPECT_EQ(position, 10u) << "opened at the end";
    ASSERT_TRUE(file.Seek(3, pf::SeekFrom::kBegin));
    char bytes[16] = {};
    EXPECT_EQ(file.Read(bytes, 4), 4);
    EXPECT_STREQ(bytes, "3456");
    ASSERT_TRUE(file.Seek(-2, pf::SeekFrom::kCurrent, &position));
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 5);
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 0);

    // The size is full 64-bit (a sparse file costs no disk space).
    const std::uint64_t big = (1ull << 32) + 7;
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Truncate(big));
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, big);
    ASSERT_TRUE(file.Truncate(4));
    ASSERT_TRUE(file.Seek(0, pf::SeekFrom::kEnd));

    pf::filetest::FailNthWrite(2);
    EXPECT_TRUE(file.WriteAll("a", 1));
    EXPECT_FALSE(file.WriteAll("b", 1));
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(file.WriteAll("c", 1));
    pf::filetest::FailNthRead(1);
    EXPECT_EQ(file.Read(bytes, 1), -1);
    pf::filetest::Reset();
    ASSERT_TRUE(file.Sync());
    file.Close();
    EXPECT_EQ(ReadFile(path), "0123ac");
    EXPECT_EQ(file.Read(bytes, 1), -1);
    EXPECT_FALSE(file.WriteAll("x", 1));
    EXPECT_FALSE(file.Size(&size));
}

TEST(FileOps, CurrentDirectoryFitsOrLeavesTheBufferAlone) {
    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
    const std::size_t length = std::strlen(real);
    std::string out(length + 1, 'x');
    ASSERT_TRUE(pf::CurrentDirectory(&out[0], out.size()));
    EXPECT_STREQ(out.c_str(), real);
    std::string small(length, 'x');
    EXPECT_FALSE(pf::CurrentDirectory(&small[0], small.size()));
    EXPECT_EQ(small, std::string(length, 'x'));
}
