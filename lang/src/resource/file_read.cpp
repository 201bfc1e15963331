#include "resource/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "posix_io.h"

namespace ornlang {
namespace resource {
namespace {

// Resource modules are small; anything beyond this is not one.
constexpr std::size_t kMaxModuleSize = std::size_t(256) << 20;

}  // namespace

std::uint8_t* ReadWholeFile(const char* path, std::size_t padding, std::size_t& size) {
    size = 0;
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    // Non-blocking, so that a FIFO or a device in the module's place cannot
    // hold the open; only a regular file is read.
    posix::UniqueFd fd(posix::OpenNoInt(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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
    const ssize_t got = posix::ReadFull(fd.get(), bytes, expected);
    if (got < 0) {
        const int saved = errno;
        std::free(bytes);
        errno = saved;
        return nullptr;
    }
    size = static_cast<std::size_t>(got);
    std::memset(bytes + size, 0, expected - size + padding);
    return bytes;
}

}  // namespace resource
}  // namespace ornlang
