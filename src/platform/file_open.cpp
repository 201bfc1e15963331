#include "platform/file_open.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

// A new file in a shared directory may appear between our two tries (a
// racing creator); after this many rounds the name counts as not usable.
constexpr int kCreateRounds = 3;

using ornlang::posix::CloseKeepingErrno;

int OpenAt(int directory, const char* name, int flags, mode_t mode) noexcept {
    return ornlang::posix::OpenAtNoInt(directory, name, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
}

// The effective user is asked for only when the owner decides.
bool OthersCanWrite(const struct stat& directory) noexcept {
    return (directory.st_mode & (S_IWOTH | S_IWGRP)) != 0 ||
           (directory.st_uid != 0 && directory.st_uid != ::geteuid());
}

bool OwnPlainFile(const struct stat& info) noexcept {
    return S_ISREG(info.st_mode) && info.st_nlink == 1 && (info.st_uid == 0 || info.st_uid == ::geteuid());
}

// Exclusive creation never follows a symlink; opening an existing name
// refuses one (ELOOP). Either way only the name's own file is reached.
int OpenGuarded(int directory, const char* name, int flags, bool create) noexcept {
    for (int round = 0; round < kCreateRounds; ++round) {
        int fd = OpenAt(directory, name, flags | O_NOFOLLOW, 0);
        if (fd >= 0 || errno != ENOENT || !create) return fd;
        fd = OpenAt(directory, name, flags | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EPERM;
    return -1;
}

// Checks what was opened. The descriptor keeps O_NONBLOCK (it keeps the
// open from hanging on a FIFO planted under the name): a regular file, the
// only kind let through, reads, writes and syncs the same with it.
int Finish(int fd, bool guarded, FileKey* key) noexcept {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        CloseKeepingErrno(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        CloseKeepingErrno(fd);
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    if (guarded && !OwnPlainFile(info)) {
        CloseKeepingErrno(fd);
        errno = EPERM;
        return -1;
    }
    key->device = static_cast<std::uint64_t>(info.st_dev);
    key->inode = static_cast<std::uint64_t>(info.st_ino);
    return fd;
}

}  // namespace

int OpenRegularFile(const char* path, int flags, bool create, FileKey* key) noexcept {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    // The directory is opened once and the name looked up in it, so the
    // directory that was judged is the one the file is opened in.
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    char directoryPath[PATH_MAX];
    if (!slash) {
        std::memcpy(directoryPath, ".", 2);
    } else {
        std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
        if (length >= sizeof directoryPath) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(directoryPath, path, length);
        directoryPath[length] = '\0';
    }
    if (!*name) {
        errno = EISDIR;
        return -1;
    }
    int directory = OpenAt(AT_FDCWD, directoryPath, O_PATH | O_DIRECTORY, 0);
    if (directory < 0) return -1;
    struct stat info;
    int fd = -1;
    bool guarded = false;
    if (::fstat(directory, &info) == 0) {
        guarded = OthersCanWrite(info);
        fd = guarded ? OpenGuarded(directory, name, flags, create)
                     : OpenAt(directory, name, flags | (create ? O_CREAT : 0), 0600);
    }
    CloseKeepingErrno(directory);
    return fd < 0 ? -1 : Finish(fd, guarded, key);
}

}  // namespace platform
}  // namespace orneh
