// Files planted by another user at the names the standard log file searches,
// in a sticky world-writable directory used as TMP and as the current
// directory: passed over without being followed, written, created through or
// waited for, and the record still lands. Runs as root; uid 65534 plants.
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "logfile/logfile_helpers.h"
#include "support/child_process.h"

using logtest::StandardEnd;
using zkqtest::FileExists;
using zkqtest::ReadFile;
using zkqtest::WriteFile;

namespace {

constexpr uid_t kOtherUser = 65534;

class PlantedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
        if (FileExists("/tmp/ZKFEHLER.LOG")) GTEST_SKIP() << "/tmp/ZKFEHLER.LOG takes part in the search";
        ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
        WriteFile(victim, "secret\n");
        ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    }

    // Runs plant as the other user in a child process.
    static void AsOtherUser(const std::function<void()>& plant) {
        const zkqtest::ChildResult child = zkqtest::RunInChild([&] {
            if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(2);
            plant();
        });
        ASSERT_TRUE(child.ExitedWith(0)) << "planting failed: " << child;
    }

    // One report into the standard log file.
    static int LogOnce() {
        OrnEhLogFile log;
        const int opened = log.Open();
        log << "r\r\n", log.Close();
        return opened;
    }

    zkqtest::TempDir shared, home;  // home: root's own directory, mode 0700
    const std::string victim = home.file("victim"), zk = shared.file("ZKFEHLER.LOG");
    zkqtest::ScopedEnv tmp{"TMP", shared.path().c_str()}, temp{"TEMP", nullptr}, tmpdir{"TMPDIR", nullptr};
};

}  // namespace

TEST_F(PlantedFiles, PassedOver) {
    zkqtest::ScopedCwd cwd(home.path());
    const std::string fallback = home.file("FEHLER.LOG");
    const std::function<void()> plants[] = {
        [&] { ::symlink(victim.c_str(), zk.c_str()); },
        [&] { WriteFile(zk, ""), ::chmod(zk.c_str(), 0666); },
        [&] { ::mkfifo(zk.c_str(), 0666); },
    };
    for (const auto& plant : plants) {
        AsOtherUser(plant);
        EXPECT_EQ(LogOnce(), 1);
        ::unlink(zk.c_str());
    }
    // A hard link to root's file (possible where the kernel does not protect
    // hard links): root's file, but not its only name.
    ASSERT_EQ(::link(victim.c_str(), zk.c_str()), 0);
    EXPECT_EQ(LogOnce(), 1);
    ::unlink(zk.c_str());
    EXPECT_EQ(ReadFile(victim), "secret\n");
    struct stat info;
    ASSERT_EQ(::stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(fallback), std::string("r\r\n") + StandardEnd() + "r\r\n" + StandardEnd() + "r\r\n" + StandardEnd() + "r\r\n" + StandardEnd());
}

// The other user's own file, held with the writer lock: it is not even
// waited for (ten attempts of 100 ms otherwise).
TEST_F(PlantedFiles, ForeignLockedFile) {
    zkqtest::ScopedCwd cwd(home.path());
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready) | ::pipe(done), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(2);
        const int fd = ::open(zk.c_str(), O_RDWR | O_CREAT, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "r", 1) != 1) ::_exit(1);
        char byte;
        ::_exit(::read(done[0], &byte, 1) >= 0 ? 0 : 1);  // holds until the test is done
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    const zkqtest::Stopwatch watch;
    EXPECT_EQ(LogOnce(), 1);
    const long spent = watch.Ms();
    ASSERT_EQ(::write(done[1], "d", 1), 1);
    ::waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
    EXPECT_LT(spent, 700);  // waiting would take 900 ms
    EXPECT_EQ(ReadFile(zk), "");
    EXPECT_EQ(ReadFile(home.file("FEHLER.LOG")), "r\r\n" + StandardEnd());
}

TEST_F(PlantedFiles, CallersOwnFile) {
    zkqtest::ScopedCwd cwd(home.path());
    WriteFile(zk, "");
    ASSERT_EQ(::chmod(zk.c_str(), 0644), 0);
    EXPECT_EQ(LogOnce(), 1);
    EXPECT_EQ(ReadFile(zk), "r\r\n" + StandardEnd());
    EXPECT_FALSE(FileExists(home.file("FEHLER.LOG")));
}

// FEHLER.LOG in a shared current directory: created for the caller alone; a
// dangling symlink planted there is not created through.
TEST_F(PlantedFiles, SharedCurrentDirectory) {
    zkqtest::ScopedCwd cwd(shared.path());
    const std::string fallback = shared.file("FEHLER.LOG"), target = home.file("created");
    EXPECT_EQ(LogOnce(), 1);
    struct stat info;
    ASSERT_EQ(::lstat(fallback.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_uid == 0 && (info.st_mode & 0777) == 0600);
    ::unlink(fallback.c_str());
    AsOtherUser([&] { ::symlink(target.c_str(), fallback.c_str()); });
    EXPECT_EQ(LogOnce(), 0);
    EXPECT_FALSE(FileExists(target));
}

TEST_F(PlantedFiles, ConfiguredSymlink) {
    const std::string link = shared.file("app.log"), real = home.file("app.log");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    OrnEhLogFile log(link.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    EXPECT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(real), "#\r\n");
}
