// Thread and process ids, sleeping, local time, the beep and the recursive
// lock: the small Win32 services the library needs, on POSIX.
#ifndef ORNEH_PLATFORM_SYSTEM_H
#define ORNEH_PLATFORM_SYSTEM_H

#include <cstdint>
#include <mutex>

namespace orneh {
namespace platform {

// The kernel's id of the calling thread (gettid).
std::uint32_t CurrentThreadId() noexcept;
std::uint32_t CurrentProcessId() noexcept;

void SleepMilliseconds(unsigned long ms) noexcept;

struct LocalTime {
    unsigned short year, month, day, hour, minute, second;
};
// The current local time; all zero if the clock cannot be read.
LocalTime GetLocalTime() noexcept;

// The audible signal while waiting for a held log file: a BEL on the
// controlling terminal when there is one, else nothing.
void Beep() noexcept;

// A re-entrant lock (the critical section of the thread administration).
class RecursiveLock {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class LockGuard {
public:
    explicit LockGuard(RecursiveLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~LockGuard() { m_lock.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveLock& m_lock;
};

}  // namespace platform
}  // namespace orneh

#endif
