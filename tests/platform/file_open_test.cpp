// The platform file layer: opening for appending, the probe, the writer lock
// against other open file descriptions, and the plain file operations.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/test_util.h"

namespace pf = orneh::platform;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

// Holds a file the way another process does: its own open file description
// with the exclusive lock, unknown to the in-process table.
class ForeignHolder {
public:
    explicit ForeignHolder(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CREAT, 0666)) {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ForeignHolder() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool holds() const { return m_fd >= 0; }

private:
    int m_fd;
};

}  // namespace

TEST(FileOpen, CreatesMissingFileWithUmaskedMode) {
    TempDir dir;
    std::string path = dir.file("new.log");
    mode_t old = ::umask(027);
    pf::File file;
    pf::OpenStatus status = file.OpenForAppend(path.c_str(), 0);
    ::umask(old);
    ASSERT_EQ(status, pf::OpenStatus::kOpened);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(FileOpen, AppendsBehindExistingContent) {
    TempDir dir;
    std::string path = dir.file("a.log");
    WriteFile(path, "old\r\n");
    {
        pf::File file;
        ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
        ASSERT_TRUE(file.WriteAll("new", 3));
    }
    EXPECT_EQ(ReadFile(path), "old\r\nnew");
}

TEST(FileOpen, DescriptorIsCloseOnExec) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File file;
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    bool found = false;
    for (int fd = 3; fd < 1024 && !found; ++fd) {
        char link[64];
        char target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (path == target) {
            found = true;
            EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        }
    }
    EXPECT_TRUE(found);
}

TEST(FileOpen, ForeignHolderIsASharingViolationDistinctFromErrors) {
    TempDir dir;
    std::string path = dir.file("held.log");
    ForeignHolder holder(path);
    ASSERT_TRUE(holder.holds());

    pf::File file;
    errno = 0;
    EXPECT_EQ(file.OpenForAppend(path.c_str(), 1000), pf::OpenStatus::kHeldElsewhere);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(pf::HeldFileCount(), 0u);

    pf::File missingDir;
    EXPECT_EQ(missingDir.OpenForAppend(dir.file("no/such/dir.log").c_str(), 0), pf::OpenStatus::kFailed);
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileOpen, RejectsDirectoriesAndFifosWithoutBlocking) {
    TempDir dir;
    pf::File file;
    EXPECT_EQ(file.OpenForAppend(dir.path().c_str(), 0), pf::OpenStatus::kFailed);

    std::string fifo = dir.file("ZKFEHLER.LOG");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    // A probe of a FIFO without a reader must not hang.
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::alarm(5);
        pf::OpenStatus probe = pf::File::ProbeExisting(fifo.c_str());
        pf::File append;
        pf::OpenStatus open = append.OpenForAppend(fifo.c_str(), 0);
        ::_exit(probe == pf::OpenStatus::kFailed && open == pf::OpenStatus::kFailed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the probe blocked on a FIFO";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FileOpen, CloseReleasesTheLockForTheNextWriter) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File first;
    ASSERT_EQ(first.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    ForeignHolder holder(path);
    EXPECT_TRUE(holder.holds());
}

TEST(FileOpen, MovedFileKeepsTheLock) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File first;
    ASSERT_EQ(first.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    pf::File second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    ASSERT_TRUE(second.IsOpen());
    EXPECT_FALSE(ForeignHolder(path).holds());
    pf::File third;
    third = std::move(second);
    EXPECT_TRUE(third.WriteAll("x", 1));
    third.Close();
    EXPECT_TRUE(ForeignHolder(path).holds());
    EXPECT_EQ(ReadFile(path), "x");
}

TEST(FileProbe, AcceptsOnlyExistingWritableFiles) {
    TempDir dir;
    std::string path = dir.file("ZKFEHLER.LOG");
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kFailed);
    EXPECT_FALSE(zkqtest::FileExists(path)) << "the probe must never create the file";

    WriteFile(path, "x");
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kOpened);
    EXPECT_EQ(ReadFile(path), "x");
    EXPECT_EQ(pf::HeldFileCount(), 0u);
}

TEST(FileProbe, ForeignHolderIsASharingViolation) {
    TempDir dir;
    std::string path = dir.file("ZKFEHLER.LOG");
    ForeignHolder holder(path);
    ASSERT_TRUE(holder.holds());
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kHeldElsewhere);
}

TEST(FileProbe, FileHeldByAWriterOfThisProcessCountsAsAvailable) {
    TempDir dir;
    std::string path = dir.file("ZKFEHLER.LOG");
    pf::File writer;
    ASSERT_EQ(writer.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    EXPECT_EQ(pf::File::ProbeExisting(path.c_str()), pf::OpenStatus::kOpened);
    EXPECT_TRUE(writer.IsOpen());
}

TEST(FileOps, ReadSeekTruncateAndSize) {
    TempDir dir;
    std::string path = dir.file("a.log");
    WriteFile(path, "0123456789");
    pf::File file;
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);

    std::uint64_t position = 99;
    ASSERT_TRUE(file.Seek(0, pf::SeekFrom::kCurrent, &position));
    EXPECT_EQ(position, 10u);
    ASSERT_TRUE(file.Seek(3, pf::SeekFrom::kBegin));
    char bytes[16] = {};
    EXPECT_EQ(file.Read(bytes, 4), 4);
    EXPECT_STREQ(bytes, "3456");
    ASSERT_TRUE(file.Seek(-2, pf::SeekFrom::kCurrent, &position));
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 5);  // short only at the end
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 0);

    ASSERT_TRUE(file.Truncate(4));
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 4u);
    ASSERT_TRUE(file.Seek(0, pf::SeekFrom::kEnd));
    ASSERT_TRUE(file.WriteAll("ab", 2));
    ASSERT_TRUE(file.Sync());
    file.Close();
    EXPECT_EQ(ReadFile(path), "0123ab");

    EXPECT_EQ(file.Read(bytes, 1), -1);
    EXPECT_FALSE(file.WriteAll("x", 1));
    EXPECT_FALSE(file.Size(&size));
}

TEST(FileOps, SizeIsNotCutTo32Bits) {
    TempDir dir;
    std::string path = dir.file("big.log");
    pf::File file;
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    const std::uint64_t big = (1ull << 32) + 7;  // sparse, costs no disk space
    ASSERT_TRUE(file.Truncate(big));
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, big);
    ASSERT_TRUE(file.Truncate(0));
}

TEST(FileOps, InjectedFailuresHitTheNthCall) {
    TempDir dir;
    std::string path = dir.file("a.log");
    pf::File file;
    ASSERT_EQ(file.OpenForAppend(path.c_str(), 0), pf::OpenStatus::kOpened);
    pf::filetest::FailNthWrite(2);
    EXPECT_TRUE(file.WriteAll("a", 1));
    EXPECT_FALSE(file.WriteAll("b", 1));
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(file.WriteAll("c", 1));
    pf::filetest::FailNthRead(1);
    ASSERT_TRUE(file.Seek(0, pf::SeekFrom::kBegin));
    char bytes[4];
    EXPECT_EQ(file.Read(bytes, 2), -1);
    EXPECT_EQ(file.Read(bytes, 2), 2);
    pf::filetest::Reset();
    file.Close();
    EXPECT_EQ(ReadFile(path), "ac");
}

TEST(CurrentDirectory, FitsOrLeavesTheBufferAlone) {
    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
    std::size_t length = std::strlen(real);

    std::string out(length + 1, 'x');
    ASSERT_TRUE(pf::CurrentDirectory(&out[0], out.size()));
    EXPECT_STREQ(out.c_str(), real);

    std::string small(length, 'x');
    EXPECT_FALSE(pf::CurrentDirectory(&small[0], small.size()));
    EXPECT_EQ(small, std::string(length, 'x'));
}
