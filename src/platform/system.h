// Thread and process ids, sleeping, local time, the beep, the recursive lock,
// the program's name and whether a display or a terminal is there: the small
// system services the library needs, on POSIX.
#ifndef ORNEH_PLATFORM_SYSTEM_H
#define ORNEH_PLATFORM_SYSTEM_H

#include <cstdint>
#include <pthread.h>

#include "base/thread_annotations.h"

namespace orneh {
namespace platform {

// The kernel's id of the calling thread (gettid), cached per thread.
std::uint32_t CurrentThreadId() noexcept;
// Asks the kernel again: for the thread of a forked child.
void RenewThreadIdAfterFork() noexcept;
std::uint32_t CurrentProcessId() noexcept;

void SleepMilliseconds(unsigned long ms) noexcept;

struct LocalTime {
    unsigned short year, month, day, hour, minute, second;
};
// The current local time; all zero if the clock cannot be read. In a forked
// child it is computed from the offset to UTC the parent had at the fork,
// without the C library's time-zone lock.
LocalTime GetLocalTime() noexcept;
// The local time of utcSeconds at a fixed offset from UTC (seconds east).
LocalTime LocalTimeFromOffset(long long utcSeconds, long offset) noexcept;

// The audible signal while waiting for a held log file: a BEL on the
// controlling terminal when there is one, else nothing.
void Beep() noexcept;

// The running program's name without its directory.
const char* ProgramName() noexcept;

// Whether a display server is named (WAYLAND_DISPLAY or DISPLAY).
bool DisplayNamed() noexcept;
// Whether the process has a controlling terminal it can open.
bool HasControllingTerminal() noexcept;
// Whether standard input is that controlling terminal (not a file, a pipe
// or another terminal).
bool InputIsControllingTerminal() noexcept;

// In a forked child, before a lock the fork held (taken by the forking
// thread in a prepare handler) is put back to unlocked by overwriting it:
// tells ThreadSanitizer that its holder let go, which it cannot see in the
// overwrite (without, it takes the next thread of the child that locks it
// for a second owner). Nothing in other builds.
void LetGoInChild(pthread_mutex_t* mutex) noexcept;

// The library's one lock: re-entrant for its owner (an exception's
// destructor may come back into the chain that is deleting it), and plain
// data, so that a forked child can put it back to unlocked (ResetInChild)
// when the fork found it held by a thread the child does not have.
class CAPABILITY("mutex") Mutex {
public:
    // Never destroyed: a lock of static storage must still work in the
    // destructors of other static objects that run after its own would.
    Mutex() noexcept = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Lock() ACQUIRE() NO_THREAD_SAFETY_ANALYSIS { pthread_mutex_lock(&m_mutex); }
    void Unlock() RELEASE() NO_THREAD_SAFETY_ANALYSIS { pthread_mutex_unlock(&m_mutex); }
    // Only in a forked child, for a lock the fork held: the child's single
    // thread holds it under the id it had in the parent, so it cannot
    // unlock it.
    void ResetInChild() noexcept {
        LetGoInChild(&m_mutex);
        pthread_mutex_t fresh = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
        m_mutex = fresh;
    }

private:
    pthread_mutex_t m_mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
};

class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~MutexLock() RELEASE() { m_mutex.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_mutex;
};

// fork(): every lock of the library is held across it, so that the child
// finds each one unlocked and what it guards whole, never held by a thread
// the child does not have. One set of handlers takes them in a fixed order:
// first the outer locks (the administration's, see SetOuterForkLocks), then
// the leaves registered with HoldAcrossFork. A leaf is a lock under which
// no other lock of the library is taken, so a thread that holds an outer
// lock and waits for a leaf always lets the fork through.
//
// Registers a leaf's handlers (up to 16 leaves; any thread, any time).
void HoldAcrossFork(void (*prepare)(), void (*parent)(), void (*child)()) noexcept;
// The outer locks' handlers: prepare runs before the leaves are taken,
// parent and child after they are let go.
void SetOuterForkLocks(void (*prepare)(), void (*parent)(), void (*child)()) noexcept;

// Holds a leaf lock of static storage across fork(): taken before it,
// released in the parent, put back to unlocked in the child. One object per
// lock:
//   HeldAcrossFork<g_lock> g_lockAcrossFork;
template <Mutex& M>
struct HeldAcrossFork {
    HeldAcrossFork() { HoldAcrossFork(&Prepare, &Parent, &Child); }
    static void Prepare() NO_THREAD_SAFETY_ANALYSIS { M.Lock(); }
    static void Parent() NO_THREAD_SAFETY_ANALYSIS { M.Unlock(); }
    static void Child() { M.ResetInChild(); }
};

// Whether the process has a thread besides the calling one (true when that
// cannot be told).
bool OtherThreadsRunning() noexcept;

}  // namespace platform
}  // namespace orneh

#endif
