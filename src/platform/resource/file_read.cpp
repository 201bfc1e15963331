#include "platform/resource/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ornlang {
namespace resource {
namespace {

// Resource modules are small; anything beyond this is not one.
constexpr std::size_t kMaxModuleSize = std::size_t(256) << 20;

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

std::uint8_t* ReadWholeFile(const char* path, std::size_t padding, std::size_t& size) {
    size = 0;
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    // Non-blocking, so that a FIFO or a device in the module's place cannot
    // hold the open; only a regular file is read.
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return nullptr;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return nullptr;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxModuleSize) {
        errno = EFBIG;
        return nullptr;
    }
    std::size_t expected = static_cast<std::size_t>(info.st_size);
    auto* bytes = static_cast<std::uint8_t*>(std::malloc(expected + padding));
    if (!bytes) {
        errno = ENOMEM;
        return nullptr;
    }
    // The file may shrink while it is read: what was read is what counts.
    std::size_t got = 0;
    while (got < expected) {
        ssize_t n = ::read(fd.get(), bytes + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int saved = errno;
            std::free(bytes);
            errno = saved;
            return nullptr;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    std::memset(bytes + got, 0, expected - got + padding);
    size = got;
    return bytes;
}

}  // namespace resource
}  // namespace ornlang
