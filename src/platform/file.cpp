#include "platform/file.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"
#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

std::atomic<long> g_failRead{0};
std::atomic<long> g_failWrite{0};
std::atomic<long> g_failSync{0};

// Counts down an armed injection; true on the call that is to fail.
bool InjectedFailure(std::atomic<long>& countdown) noexcept {
    long state = countdown.load(std::memory_order_relaxed);
    while (state > 0) {
        if (countdown.compare_exchange_weak(state, state - 1, std::memory_order_relaxed)) {
            if (state == 1) {
                errno = EIO;
                return true;
            }
            return false;
        }
    }
    return false;
}

using ornlang::posix::CloseKeepingErrno;
using ornlang::posix::NoInt;

// The writer lock, never waiting. kHeldElsewhere when someone else has it.
OpenStatus LockWriter(int fd) noexcept {
    const int rc = NoInt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); });
    if (rc == 0) return OpenStatus::kOpened;
    return errno == EWOULDBLOCK ? OpenStatus::kHeldElsewhere : OpenStatus::kFailed;
}

// How often a writer waiting for another process looks at the lock.
constexpr unsigned long kTurnPollMs = 1;


}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept
    : m_fd(other.m_fd), m_dirty(other.m_dirty), m_appended(other.m_appended), m_claim(other.m_claim) {
    other.m_fd = -1;
    other.m_dirty = false;
    other.m_appended = 0;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_dirty = other.m_dirty;
        m_appended = other.m_appended;
        m_claim = other.m_claim;
        other.m_fd = -1;
        other.m_dirty = false;
        other.m_appended = 0;
    }
    return *this;
}

int File::OpenDescriptor(const char* path, FileKey* key) noexcept {
    if (IsOpen() || !path) {
        errno = EINVAL;
        return -1;
    }
    return OpenRegularFile(path, O_RDWR | O_APPEND, true, key);
}

void File::Take(int fd, const FileClaim& claim) noexcept {
    m_fd = fd;
    m_dirty = false;
    m_appended = 0;
    m_claim = claim;
}

OpenStatus File::OpenForAppend(const char* path, std::uint64_t waitMs) noexcept {
    FileKey key{};
    int fd = OpenDescriptor(path, &key);
    if (fd < 0) return OpenStatus::kFailed;

    FileClaim claim{};
    if (ClaimFile(key, waitMs, &claim) == ClaimResult::kBusy) {
        CloseKeepingErrno(fd);
        errno = EWOULDBLOCK;
        return OpenStatus::kHeldHere;
    }
    OpenStatus status = LockWriter(fd);
    if (status != OpenStatus::kOpened) {
        // Close before releasing: the next writer of ours must find the lock free.
        CloseKeepingErrno(fd);
        ReleaseFile(claim);
        return status;
    }
    Take(fd, claim);
    return OpenStatus::kOpened;
}

OpenStatus File::WaitForTurn(const char* path, std::uint64_t waitMs) noexcept {
    FileKey key{};
    int fd = OpenDescriptor(path, &key);
    if (fd < 0) return OpenStatus::kFailed;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        FileClaim claim{};
        if (ClaimFile(key, 0, &claim) == ClaimResult::kClaimed) {
            const OpenStatus status = LockWriter(fd);
            if (status == OpenStatus::kOpened) {
                Take(fd, claim);
                return status;
            }
            ReleaseFile(claim);
            if (status == OpenStatus::kFailed) {
                CloseKeepingErrno(fd);
                return status;
            }
        }
        if (std::chrono::steady_clock::now() >= end) break;
        SleepMilliseconds(kTurnPollMs);
    }
    CloseKeepingErrno(fd);
    errno = EWOULDBLOCK;
    return OpenStatus::kHeldElsewhere;
}

OpenStatus File::ProbeExisting(const char* path) noexcept {
    if (!path) {
        errno = EINVAL;
        return OpenStatus::kFailed;
    }
    FileKey key{};
    int fd = OpenRegularFile(path, O_WRONLY, false, &key);
    if (fd < 0) return OpenStatus::kFailed;
    FileClaim claim{};
    if (ClaimFile(key, 0, &claim) == ClaimResult::kBusy) {
        // A writer of ours has it open: it exists and can be written.
        CloseKeepingErrno(fd);
        return OpenStatus::kOpened;
    }
    OpenStatus status = LockWriter(fd);
    CloseKeepingErrno(fd);
    ReleaseFile(claim);
    if (status == OpenStatus::kHeldElsewhere) errno = EWOULDBLOCK;
    return status;
}

long File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) noexcept {
    if (!IsOpen()) {
        errno = EBADF;
        return -1;
    }
    if (InjectedFailure(g_failRead)) return -1;
    if (size > LONG_MAX) size = LONG_MAX;
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<long>(ornlang::posix::ReadFull(m_fd, buffer, size, static_cast<off_t>(offset)));
}

// offset < 0: append (write); otherwise pwrite at offset.
bool File::WriteLoop(std::int64_t offset, const void* data, std::size_t size) noexcept {
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (InjectedFailure(g_failWrite)) return false;
    // Marked before writing: a write that fails part-way has still changed the file.
    if (size > 0) m_dirty = true;
    if (offset >= 0) return ornlang::posix::WriteFull(m_fd, data, size, static_cast<off_t>(offset));
    std::size_t written = 0;
    const bool all = ornlang::posix::WriteFull(m_fd, data, size, -1, &written);
    m_appended += written;
    return all;
}

bool File::WriteAll(const void* data, std::size_t size) noexcept { return WriteLoop(-1, data, size); }

bool File::WriteAllAt(std::uint64_t offset, const void* data, std::size_t size) noexcept {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return false;
    }
    return WriteLoop(static_cast<std::int64_t>(offset), data, size);
}

bool File::SetAppending(bool on) noexcept {
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    int status = ::fcntl(m_fd, F_GETFL);
    if (status == -1) return false;
    return ::fcntl(m_fd, F_SETFL, on ? status | O_APPEND : status & ~O_APPEND) == 0;
}

bool File::NextData(std::uint64_t offset, std::uint64_t* next) const noexcept {
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    off_t found = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
    if (found < 0) {
        // ENXIO: nothing but a hole (or nothing at all) from offset on. A file
        // system without SEEK_DATA support makes every offset data.
        if (errno == ENXIO) return Size(next);
        *next = offset;
        return true;
    }
    *next = static_cast<std::uint64_t>(found);
    return true;
}

bool File::Size(std::uint64_t* size) const noexcept {
    struct stat info;
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (::fstat(m_fd, &info) != 0) return false;
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool File::Truncate(std::uint64_t length) noexcept {
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (NoInt([&] { return ::ftruncate(m_fd, static_cast<off_t>(length)); }) != 0) return false;
    m_dirty = true;
    return true;
}

bool File::Close() noexcept {
    if (!IsOpen()) return true;
    // Everything is written: the next writer may append behind it while this
    // one waits for the disk. Concurrent syncs of one file then share the
    // journal commit instead of queueing behind the lock.
    NoInt([this] { return ::flock(m_fd, LOCK_UN); });
    ReleaseFile(m_claim);
    m_claim = FileClaim{};
    // O_DSYNC covers the writes, not a truncation; fdatasync covers both.
    bool synced = true;
    if (m_dirty) {
        synced = !InjectedFailure(g_failSync) && NoInt([this] { return ::fdatasync(m_fd); }) == 0;
    }
    const int syncError = errno;
    // A failing close can be the first report of a failed write.
    const bool closed = ornlang::posix::CloseNoInt(m_fd) == 0;
    if (!synced) errno = syncError;
    m_fd = -1;
    m_dirty = false;
    return synced && closed;
}

bool CurrentDirectory(char* out, std::size_t size) noexcept {
    char buffer[PATH_MAX];
    if (!out || !::getcwd(buffer, sizeof buffer)) return false;
    std::size_t length = std::strlen(buffer);
    if (length + 1 > size) {
        errno = ERANGE;
        return false;
    }
    std::memcpy(out, buffer, length + 1);
    return true;
}

bool WriteWholeFile(const char* path, const char* data, std::size_t size) noexcept {
    const int fd = ornlang::posix::OpenNoInt(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // Exclusive while written; the file is cut only once it is held.
    const bool ok = NoInt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0 &&
                    NoInt([fd] { return ::ftruncate(fd, 0); }) == 0 && ornlang::posix::WriteFull(fd, data, size);
    if (!ok) {
        ornlang::posix::CloseKeepingErrno(fd);
        return false;
    }
    // A failing close can be the first report of a failed write.
    return ornlang::posix::CloseNoInt(fd) == 0;
}

namespace filetest {

void FailNthRead(unsigned long nth) noexcept { g_failRead.store(nth == 0 ? 1 : static_cast<long>(nth)); }

void FailNthWrite(unsigned long nth) noexcept {
    g_failWrite.store(nth == 0 ? 1 : static_cast<long>(nth));
}

void FailNthSync(unsigned long nth) noexcept { g_failSync.store(nth == 0 ? 1 : static_cast<long>(nth)); }

void Reset() noexcept {
    g_failRead.store(0);
    g_failWrite.store(0);
    g_failSync.store(0);
}

}  // namespace filetest
}  // namespace platform
}  // namespace orneh
