// Files for the error log: opened for appending by one writer at a time.
//
// A writer holds an exclusive flock() from open to close. Writers of this
// process queue for the file in an in-process table (file_registry.h) rather
// than meeting the flock; only a writer of another process shows up as
// kHeldElsewhere, the sharing violation the caller retries on; its wait
// (WaitForTurn) looks at the lock every millisecond, so that it takes the file
// as soon as the other process lets go, in the short moment before that
// process's next thread takes it again.
//
// Durability: what was written is on disk when Close returns true (one
// fdatasync); Close returns false when the system could not promise that.
//
// Thread safety: one File is used by one thread at a time.
#ifndef ORNEH_PLATFORM_FILE_H
#define ORNEH_PLATFORM_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/file_open.h"
#include "platform/file_registry.h"

namespace orneh {
namespace platform {

enum class OpenStatus {
    kOpened,
    kHeldElsewhere,  // another process holds the file (errno EWOULDBLOCK)
    kHeldHere,       // a writer of this process still held it when the wait ran out
    kFailed          // any other error; errno tells which
};

class File {
public:
    File() noexcept = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path read/write, creating it (0600; see OpenRegularFile for the
    // names it refuses), and takes the writer lock without blocking. Writes
    // append at the end of the file, wherever it is then. While a writer of
    // this process holds the file, waits up to waitMs for its turn.
    // REQUIRES: !IsOpen().
    OpenStatus OpenForAppend(const char* path, std::uint64_t waitMs) noexcept;

    // The wait of a writer that met a writer of another process: tries the
    // file every millisecond for up to waitMs (once when it is 0), with one
    // descriptor. kHeldElsewhere when the time ran out. REQUIRES: !IsOpen().
    OpenStatus WaitForTurn(const char* path, std::uint64_t waitMs) noexcept;

    // Whether an existing regular file could be taken for writing right now:
    // opens it without creating, takes the writer
    // lock and lets it go again. A file held by a writer of this process
    // counts as available.
    static OpenStatus ProbeExisting(const char* path) noexcept;

    bool IsOpen() const noexcept { return m_fd >= 0; }

    // Appends all bytes; false when the system refuses part of them.
    bool WriteAll(const void* data, std::size_t size) noexcept;
    // The bytes appended through WriteAll since the file was opened, those
    // of a failed WriteAll included: with the writer lock held, the file's
    // size less what was appended since a moment is its size at that moment.
    std::uint64_t Appended() const noexcept { return m_appended; }
    // Reads up to size bytes at offset (fewer only at the end); -1 on error.
    long ReadAt(std::uint64_t offset, void* buffer, std::size_t size) noexcept;
    // Writes all bytes at offset. REQUIRES: SetAppending(false) before.
    bool WriteAllAt(std::uint64_t offset, const void* data, std::size_t size) noexcept;
    // Switches between appending (after opening) and writing in place.
    bool SetAppending(bool on) noexcept;
    // The first offset at or after offset where the file may hold other
    // bytes than zeros (holes are skipped), or its size when none does.
    bool NextData(std::uint64_t offset, std::uint64_t* next) const noexcept;
    bool Size(std::uint64_t* size) const noexcept;
    bool Truncate(std::uint64_t length) noexcept;
    // Lets the next writer in, then syncs and closes: what was written is on
    // disk when Close returns true. False (errno set) when the sync or the
    // close failed: the bytes are in the file as readers see it, but may not
    // be on disk. True when not open.
    bool Close() noexcept;

private:
    // A descriptor for appending to path; -1 (errno set) when it cannot be had or this file is open.
    int OpenDescriptor(const char* path, FileKey* key) noexcept;
    // Makes fd, locked and claimed, this file's descriptor.
    void Take(int fd, const FileClaim& claim) noexcept;
    bool WriteLoop(std::int64_t offset, const void* data, std::size_t size) noexcept;

    int m_fd = -1;
    bool m_dirty = false;
    std::uint64_t m_appended = 0;
    FileClaim m_claim{};
};

// The current working directory into out (size bytes with the terminating
// zero); false, out untouched, when it cannot be had or does not fit.
bool CurrentDirectory(char* out, std::size_t size) noexcept;

// Creates or truncates path and writes size bytes into it, holding the file
// exclusively (flock) while it writes: a report saved from the dialog. False
// on any failure, errno set.
bool WriteWholeFile(const char* path, const char* data, std::size_t size) noexcept;

// Fault injection for tests: the nth read, write or sync from now (1 = the
// next) fails with EIO. Safe to call from any thread.
namespace filetest {
void FailNthRead(unsigned long nth) noexcept;
void FailNthWrite(unsigned long nth) noexcept;
void FailNthSync(unsigned long nth) noexcept;
void Reset() noexcept;
}  // namespace filetest

}  // namespace platform
}  // namespace orneh

#endif
