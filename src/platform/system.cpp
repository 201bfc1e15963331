#include "platform/system.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include "base/hot_tls.h"
#include "base/sanitizer.h"
#include "base/settings.h"
#include "posix_io.h"

#ifdef ORNEH_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace orneh {
namespace platform {

namespace {

// The calling thread's kernel id, asked once per thread: no system call on
// the hot path. A forked child asks again (its thread has a new id).
thread_local std::uint32_t t_threadId ORNEH_HOT_TLS = 0;

// Local time in a forked child: glibc does not reset its time-zone lock at
// fork, so a child forked while another thread converted a time would hang in
// localtime_r. The child uses the offset from UTC that the parent had at the
// fork and converts the date itself.
std::atomic<long> g_utcOffsetAtFork{0};
std::atomic<bool> g_forkedChild{false};

void CaptureOffsetBeforeFork() {
    std::time_t now = std::time(nullptr);
    struct tm parts;
    if (!g_forkedChild.load() && ::localtime_r(&now, &parts)) g_utcOffsetAtFork.store(parts.tm_gmtoff);
}

void ForkedChild() {
    g_forkedChild.store(true);
    RenewThreadIdAfterFork();
}

struct ForkHandlers {
    ForkHandlers() { pthread_atfork(CaptureOffsetBeforeFork, nullptr, ForkedChild); }
};
ForkHandlers g_forkHandlers;

// The library's locks across fork (system.h): the outer set, and the leaves
// in the order they came. A slot is filled before it is counted as ready.
struct ForkLocks {
    void (*prepare)();
    void (*parent)();
    void (*child)();
};
constexpr int kMaxLeaves = 16;
ForkLocks g_outer{};
ForkLocks g_leaves[kMaxLeaves];
std::atomic<int> g_leavesHandedOut{0};
std::atomic<bool> g_leafReady[kMaxLeaves];
// The leaves taken by the fork under way: fixed in prepare, after the outer
// locks (which keep a second fork out until the first is done).
int g_leavesTaken = 0;
pthread_once_t g_forkOnce = PTHREAD_ONCE_INIT;

void PrepareLocks() {
    if (g_outer.prepare) g_outer.prepare();
    g_leavesTaken = 0;
    while (g_leavesTaken < kMaxLeaves && g_leafReady[g_leavesTaken].load(std::memory_order_acquire)) {
        g_leaves[g_leavesTaken++].prepare();
    }
}

void ParentLocks() {
    for (int i = g_leavesTaken; i-- > 0;) g_leaves[i].parent();
    if (g_outer.parent) g_outer.parent();
}

void ChildLocks() {
    for (int i = g_leavesTaken; i-- > 0;) g_leaves[i].child();
    if (g_outer.child) g_outer.child();
}

void RegisterForkLocks() { pthread_atfork(PrepareLocks, ParentLocks, ChildLocks); }

// The civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long days, LocalTime& out) {
    days += 719468;  // days from 0000-03-01 to 1970-01-01
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long dayOfEra = days - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long monthIndex = (5 * dayOfYear + 2) / 153;  // March = 0
    out.day = static_cast<unsigned short>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    out.month = static_cast<unsigned short>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    out.year = static_cast<unsigned short>(yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0));
}

}  // namespace

std::uint32_t CurrentThreadId() noexcept {
    if (t_threadId == 0) t_threadId = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return t_threadId;
}

void LetGoInChild(pthread_mutex_t* mutex) noexcept {
#ifdef ORNEH_THREAD_SANITIZER
    __tsan_mutex_pre_unlock(mutex, __tsan_mutex_recursive_unlock);
    __tsan_mutex_post_unlock(mutex, __tsan_mutex_recursive_unlock);
#else
    (void)mutex;
#endif
}

void RenewThreadIdAfterFork() noexcept { t_threadId = static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

LocalTime LocalTimeFromOffset(long long utcSeconds, long offset) noexcept {
    LocalTime result{};
    long long local = utcSeconds + offset;
    long long days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    long long secondOfDay = local - days * 86400;
    CivilFromDays(days, result);
    result.hour = static_cast<unsigned short>(secondOfDay / 3600);
    result.minute = static_cast<unsigned short>(secondOfDay / 60 % 60);
    result.second = static_cast<unsigned short>(secondOfDay % 60);
    return result;
}

void HoldAcrossFork(void (*prepare)(), void (*parent)(), void (*child)()) noexcept {
    pthread_once(&g_forkOnce, RegisterForkLocks);
    const int slot = g_leavesHandedOut.fetch_add(1);
    if (slot >= kMaxLeaves) return;  // a programming error: raise kMaxLeaves
    g_leaves[slot] = ForkLocks{prepare, parent, child};
    // Leaves are taken in slot order up to the first one not yet filled.
    g_leafReady[slot].store(true, std::memory_order_release);
}

void SetOuterForkLocks(void (*prepare)(), void (*parent)(), void (*child)()) noexcept {
    pthread_once(&g_forkOnce, RegisterForkLocks);
    g_outer = ForkLocks{prepare, parent, child};
}

bool OtherThreadsRunning() noexcept {
    // Field 20 of /proc/self/stat, counted after the command name, which may
    // itself hold blanks and parentheses.
    char text[1024];
    ornlang::posix::UniqueFd fd(ornlang::posix::OpenNoInt("/proc/self/stat", O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return true;
    const ssize_t length = ornlang::posix::ReadFull(fd.get(), text, sizeof text - 1);
    if (length <= 0) return true;
    text[length] = '\0';
    const char* field = std::strrchr(text, ')');
    for (int i = 2; field && i < 20; ++i) field = std::strchr(field + 1, ' ');
    return !field || std::strtol(field + 1, nullptr, 10) != 1;
}

std::uint32_t CurrentProcessId() noexcept { return static_cast<std::uint32_t>(::getpid()); }

void SleepMilliseconds(unsigned long ms) noexcept {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(ms / 1000);
    left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    // Each interrupted call leaves the time still to sleep in left.
    ornlang::posix::NoInt([&left] { return ::nanosleep(&left, &left); });
}

LocalTime GetLocalTime() noexcept {
    LocalTime result{};
    std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return result;
    if (g_forkedChild.load(std::memory_order_relaxed)) return LocalTimeFromOffset(now, g_utcOffsetAtFork.load());
    struct tm parts;
    if (!::localtime_r(&now, &parts)) return result;
    result.year = static_cast<unsigned short>(parts.tm_year + 1900);
    result.month = static_cast<unsigned short>(parts.tm_mon + 1);
    result.day = static_cast<unsigned short>(parts.tm_mday);
    result.hour = static_cast<unsigned short>(parts.tm_hour);
    result.minute = static_cast<unsigned short>(parts.tm_min);
    result.second = static_cast<unsigned short>(parts.tm_sec);
    return result;
}

void Beep() noexcept {
    int saved = errno;
    ornlang::posix::UniqueFd fd(ornlang::posix::OpenNoInt("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() >= 0) ornlang::posix::WriteFull(fd.get(), "\a", 1);
    errno = saved;
}

const char* ProgramName() noexcept { return program_invocation_short_name; }

bool DisplayNamed() noexcept {
    const char* wayland = base::GetSetting(base::Setting::kWaylandDisplay);
    const char* x11 = base::GetSetting(base::Setting::kDisplay);
    return (wayland && *wayland) || (x11 && *x11);
}

bool InputIsControllingTerminal() noexcept {
    const int saved = errno;
    const bool is = ::isatty(0) && ::tcgetsid(0) == ::getsid(0);
    errno = saved;
    return is;
}

bool HasControllingTerminal() noexcept {
    // An interrupted open is no answer: it is tried again.
    ornlang::posix::UniqueFd fd(ornlang::posix::OpenNoInt("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    return fd.get() >= 0;
}

}  // namespace platform
}  // namespace orneh
