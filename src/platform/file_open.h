// Opening the descriptor of a log file: only regular files, never blocking on
// a FIFO or device, and, for names found by searching, never a file another
// user could have planted.
#ifndef ORNEH_PLATFORM_FILE_OPEN_H
#define ORNEH_PLATFORM_FILE_OPEN_H

#include "platform/file_registry.h"

namespace orneh {
namespace platform {

// How far a name is trusted.
enum class PathTrust {
    // A name the application or its administrator configured: symlinks are
    // followed wherever they point.
    kFollow,
    // A name the library chose itself (the standard file's search). In a
    // directory that other users can write to (world- or group-writable, or
    // owned by another user than the caller and root) only a regular file of
    // the caller or root with one link is used, opened without following a
    // symlink; a new one is created exclusively, readable by the caller only.
    kGuardShared
};

// Opens path with flags (O_RDWR or O_WRONLY, O_APPEND, O_DSYNC ...), creating
// it when create is set. The descriptor is close-on-exec and blocking; its
// (device, inode) goes into *key. -1 with errno on failure; EPERM for a file
// that kGuardShared passes over.
int OpenRegularFile(const char* path, int flags, bool create, PathTrust trust, FileKey* key) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
