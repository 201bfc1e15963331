// The in-process table of files held by a writer of this process.
//
// flock() excludes open file descriptions, so two threads of one process
// exclude each other like two processes do: the loser would sleep and retry.
// This table lets a thread of ours wait for its turn on a condition instead
// (first come, first served), and leaves the sleep-and-retry path to writers
// of other processes. A file is identified by (st_dev, st_ino).
//
// Thread safety: all functions may be called from any thread. A forked child
// starts with an empty table (pthread_atfork), so it never inherits a locked
// mutex or the parent's holders.
#ifndef ORNEH_PLATFORM_FILE_REGISTRY_H
#define ORNEH_PLATFORM_FILE_REGISTRY_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

struct FileKey {
    std::uint64_t device;
    std::uint64_t inode;
};

// What a writer holds after a successful claim; released through ReleaseFile.
struct FileClaim {
    FileKey key;
    unsigned long generation;  // the table's generation when claimed
    bool tracked;              // false: no table entry (plain flock behaviour)
};

enum class ClaimResult {
    kClaimed,  // the caller is the process's writer of the file (or untracked)
    kBusy      // another writer of this process still held it when waitMs ran out
};

// Claims the file for the calling writer. While another writer of this
// process holds it, waits up to waitMs milliseconds for it to be handed over.
// When the table entry cannot be allocated, the claim is untracked and the
// result is kClaimed.
ClaimResult ClaimFile(const FileKey& key, std::uint64_t waitMs, FileClaim* claim) noexcept;

// Hands the file to the longest-waiting writer of this process, or frees the
// entry. A claim from before a fork (other generation) is ignored.
void ReleaseFile(const FileClaim& claim) noexcept;

// Files currently held or waited for in this process (for tests).
std::size_t HeldFileCount() noexcept;

// A claim never waits for the table without limit: a thread that comes back
// into it while it holds it (a fault in the table's own code, whose last
// resort opens the log), or that cannot have it within a second, takes its
// file untracked.
namespace registrytest {
// Called with the table held, at each claim (a fault there is a fault under
// the table's lock); null removes it.
void SetHeldHook(void (*hook)()) noexcept;
}  // namespace registrytest

}  // namespace platform
}  // namespace orneh

#endif
