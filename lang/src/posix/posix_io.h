// Descriptor calls with their EINTR and short-transfer loops written once.
// Header-only: the language library and the main library are separate shared
// objects with hidden symbols, and each compiles its own copy of these.
// Thread-safe as far as the system calls are; no state of their own.
#ifndef ORNLANG_POSIX_POSIX_IO_H
#define ORNLANG_POSIX_POSIX_IO_H

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace ornlang {
namespace posix {

// Calls call() again while it fails with EINTR; returns its last result.
// For calls that fail with -1 and may be repeated unchanged.
template <class Call>
auto NoInt(Call call) noexcept -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

inline int OpenNoInt(const char* path, int flags, mode_t mode = 0) noexcept {
    return NoInt([&] { return ::open(path, flags, mode); });
}

inline int OpenAtNoInt(int directory, const char* name, int flags, mode_t mode = 0) noexcept {
    return NoInt([&] { return ::openat(directory, name, flags, mode); });
}

// Reads until size bytes or end of file. Returns the count read (less than
// size only at end of file), or -1 with errno; bytes read before an error are
// not reported. offset < 0 reads at the file position, otherwise with pread.
inline ssize_t ReadFull(int fd, void* buffer, std::size_t size, off_t offset = -1) noexcept {
    char* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = offset < 0 ? ::read(fd, out + done, size - done)
                                       : ::pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// Writes all size bytes, across short writes. True when all went; false with
// errno otherwise (EIO for a write that took nothing, which would loop forever).
// offset < 0 writes at the file position (or the end, with O_APPEND).
// *written (when given) grows by the bytes the system took, also on failure.
inline bool WriteFull(int fd, const void* data, std::size_t size, off_t offset = -1,
                      std::size_t* written = nullptr) noexcept {
    const char* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = offset < 0 ? ::write(fd, in, size) : ::pwrite(fd, in, size, offset);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = EIO;
            return false;
        }
        in += put;
        size -= static_cast<std::size_t>(put);
        if (written) *written += static_cast<std::size_t>(put);
        if (offset >= 0) offset += put;
    }
    return true;
}

// Closes once, never again: on Linux the descriptor is released even when
// close() reports EINTR, so a second call could close a descriptor another
// thread has just been given. EINTR therefore counts as success.
inline int CloseNoInt(int fd) noexcept {
    const int rc = ::close(fd);
    return rc != 0 && errno == EINTR ? 0 : rc;
}

// Closes on a failure path, leaving the errno of the failure in place.
inline void CloseKeepingErrno(int fd) noexcept {
    const int saved = errno;
    CloseNoInt(fd);
    errno = saved;
}

// Owns a descriptor and closes it when it goes (keeping errno).
class UniqueFd {
public:
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) CloseKeepingErrno(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const noexcept { return m_fd; }

private:
    int m_fd;
};

}  // namespace posix
}  // namespace ornlang

#endif
