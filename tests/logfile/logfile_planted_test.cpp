// Files planted by another user at the names the standard log file searches,
// in a sticky world-writable directory used as TMP and as the current
// directory, and at a configured name in such a directory: passed over
// without being followed, written, cut, created through or waited for long,
// and the record still lands. Runs as root; uid 65534 plants.
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <thread>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "logfile/logfile_helpers.h"
#include "support/child_process.h"
#include "support/faulting.h"

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

    // Holds path's writer lock as the other user (who may only read it)
    // until the returned process is ended with Release.
    static pid_t HoldAsOtherUser(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) return -1;
        const pid_t holder = ::fork();
        if (holder == 0) {
            if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(2);
            const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT, 0644);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "r", 1) != 1) ::_exit(1);
            ::pause();
        }
        char byte = 0;
        const bool held = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]), ::close(ready[1]);
        return held ? holder : -1;
    }
    static void Release(pid_t holder) { ::kill(holder, SIGKILL), ::waitpid(holder, nullptr, 0); }

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

// What another user left at the searched name is passed over; the caller's
// own file there is taken.
TEST_F(PlantedFiles, SearchedName) {
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
    // The other user's own file, held with the writer lock: it is not even
    // waited for (ten attempts of 100 ms otherwise).
    const pid_t holder = HoldAsOtherUser(zk);
    ASSERT_GT(holder, 0);
    const zkqtest::Stopwatch watch;
    EXPECT_EQ(LogOnce(), 1);
    const long spent = watch.Ms();
    Release(holder);
    EXPECT_LT(spent, 700);  // waiting would take 900 ms
    EXPECT_EQ(ReadFile(zk), "");
    ::unlink(zk.c_str());
    // The caller's own file there is taken.
    WriteFile(zk, "");
    ASSERT_EQ(::chmod(zk.c_str(), 0644), 0);
    EXPECT_EQ(LogOnce(), 1);
    EXPECT_EQ(ReadFile(zk), "r\r\n" + StandardEnd());
    std::string five;
    for (int i = 0; i < 5; ++i) five += "r\r\n" + StandardEnd();
    EXPECT_EQ(ReadFile(fallback), five);
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

// A configured name in a directory others can write to (sticky or not: the
// kernel's protected_symlinks covers only the sticky one) is judged like the
// searched names: another user's symlink or file there is passed over for
// the next candidate, never followed, written or cut; a new file is the
// caller's alone. In a private directory the name is the caller's own: its
// symlink is followed.
TEST_F(PlantedFiles, ConfiguredNames) {
    zkqtest::ScopedCwd cwd(home.path());
    const std::string name = shared.file("app.log"), target(10000, 'v');
    WriteFile(victim, target);
    const auto logTo = [](const std::string& configured) {
        OrnEhLogFile log;
        log.SetFileName(configured.c_str()), log.SetStyle(OrnEhLogLimited), log.SetMaxSize(1000);
        log.Open(), log << "r\r\n", log.Close();
    };
    for (mode_t mode : {01777, 0777}) {
        ASSERT_EQ(::chmod(shared.path().c_str(), mode), 0);
        AsOtherUser([&] { ::symlink(victim.c_str(), name.c_str()); });
        logTo(name);
        ::unlink(name.c_str());
        AsOtherUser([&] { WriteFile(name, ""); });
        logTo(name);
        EXPECT_EQ(ReadFile(name), "") << mode;
        ::unlink(name.c_str());
        logTo(name);
        struct stat info;
        ASSERT_EQ(::lstat(name.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_uid == 0 && (info.st_mode & 0777) == 0600) << mode;
        ::unlink(name.c_str());
    }
    EXPECT_EQ(ReadFile(victim), target);
    EXPECT_EQ(ReadFile(home.file("FEHLER.LOG")), "r\r\n" + StandardEnd() + "r\r\n" + StandardEnd() + "r\r\n" + StandardEnd() + "r\r\n" + StandardEnd());
    const std::string link = home.file("app.log"), real = home.file("real.log");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    logTo(link);
    EXPECT_EQ(ReadFile(real), "r\r\n" + StandardEnd());
}

// An existing log of the caller's that another user holds (it was made
// readable for all by an older version): one second of attempts (10 of
// 100 ms), then the next candidate; a fault meanwhile writes its record
// elsewhere (here nothing else is left: stderr) within a fraction of that,
// and the process ends.
TEST_F(PlantedFiles, ForeignLockOnConfiguredLog) {
    zkqtest::ScopedCwd cwd(shared.path());
    const std::string name = shared.file("app.log"), fallback = shared.file("FEHLER.LOG");
    for (const std::string& path : {name, fallback}) WriteFile(path, ""), ::chmod(path.c_str(), 0644);
    const pid_t holder = HoldAsOtherUser(name);
    ASSERT_GT(holder, 0);
    const zkqtest::Stopwatch watch;
    OrnEhLogFile log;
    log.SetFileName(name.c_str());
    log.Open(), log << "r\r\n", log.Close();
    EXPECT_LT(watch.Ms(), 1900) << "the configured name is tried once (twice would take 2 s)";
    EXPECT_EQ(ReadFile(fallback), "r\r\n" + StandardEnd());
    const pid_t fallbackHolder = HoldAsOtherUser(fallback);
    ASSERT_GT(fallbackHolder, 0);
    const std::string told = home.file("stderr");
    const zkqtest::ChildResult child = zkqtest::RunInChild([&] {
        ::dup2(::open(told.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        OrnEhInitialize("Held", OrnEhLogUnlimited, "app.log", nullptr, shared.path().c_str(), 0);
        std::thread([] { zkq_read(nullptr); }).join();
    }, 30);
    Release(holder), Release(fallbackHolder);
    EXPECT_TRUE(child.KilledBy(SIGSEGV)) << child;
    EXPECT_TRUE(zkqtest::Contains(ReadFile(told), {"Unhandled BS-Exception", "Exceptioncode: EXCEPTION_ACCESS_VIOLATION"}));
}
