// Opening the descriptor of a log file: only regular files, never blocking on
// a FIFO or device, and in a directory others can write to, never a file
// another user could have planted.
#ifndef ORNEH_PLATFORM_FILE_OPEN_H
#define ORNEH_PLATFORM_FILE_OPEN_H

#include "platform/file_registry.h"

namespace orneh {
namespace platform {

// Opens path with flags (O_RDWR or O_WRONLY, O_APPEND ...), creating it
// when create is set; only a regular file, never blocking on a FIFO or a
// device. The descriptor is close-on-exec and keeps O_NONBLOCK (a regular
// file reads and writes the same with it); its (device, inode) goes into
// *key. -1 with errno on failure.
//
// How far a name is trusted depends on its directory, whoever chose the
// name (the application's configuration or the standard file's search).
// In a directory that other users can write to (world- or group-writable,
// or owned by another user than the caller and root) only a regular file of
// the caller or root with one link is used, opened without following a
// symlink (EPERM or ELOOP otherwise), and a new one is created exclusively.
// In any other directory the name is the caller's own: a symlink there is
// followed wherever it points. A new file is readable and writable by its
// owner only (0600) in either.
int OpenRegularFile(const char* path, int flags, bool create, FileKey* key) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
