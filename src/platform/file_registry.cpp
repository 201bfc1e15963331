#include "platform/file_registry.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>

#include "base/alloc.h"
#include "platform/system.h"

namespace orneh {
namespace platform {
namespace {

// A thread waiting for its turn; lives on the waiting thread's stack.
struct Waiter {
    Waiter* next = nullptr;
    pthread_cond_t cond;
    bool granted = false;
};

// One held file. The entry exists exactly while some writer holds the file.
struct Entry {
    Entry* next;
    FileKey key;
    Waiter* head;  // waiting writers, first come first served
    Waiter* tail;
};

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
Entry* g_entries = nullptr;
unsigned long g_generation = 0;
pthread_once_t g_forkHandlersOnce = PTHREAD_ONCE_INIT;
// The thread that holds g_mutex (0: none), so that a thread which comes back
// while it holds it (a fault inside the table's code, reaching a last resort
// that opens the log) never waits for itself.
std::atomic<std::uint32_t> g_owner{0};
void (*g_heldHook)() = nullptr;

// How long a writer waits for the table before it takes its file without
// it (plain flock behaviour): the mutex is held only for a few list steps,
// so this is reached only when its holder cannot go on.
constexpr long kTableWaitMs = 1000;

void LockTable() noexcept {
    pthread_mutex_lock(&g_mutex);
    g_owner.store(CurrentThreadId(), std::memory_order_relaxed);
}
void UnlockTable() noexcept {
    g_owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&g_mutex);
}

// LockTable for the writers: false when the calling thread holds the table
// already or the wait ran out.
bool LockTableBounded() noexcept {
    if (g_owner.load(std::memory_order_relaxed) == CurrentThreadId()) return false;
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kTableWaitMs / 1000;
    if (pthread_mutex_timedlock(&g_mutex, &deadline) != 0) return false;
    g_owner.store(CurrentThreadId(), std::memory_order_relaxed);
    return true;
}

// The parent's holders and waiters do not exist in a child: start afresh.
// The forking thread took the mutex in LockTable before the fork and is the
// only thread of the child, so it may release it here.
void ResetInChild() noexcept {
    Entry* entry = g_entries;
    while (entry) {
        Entry* next = entry->next;
        base::Free(entry);
        entry = next;
    }
    g_entries = nullptr;
    ++g_generation;
    UnlockTable();
}

void InstallForkHandlers() noexcept {
    // Holding the mutex across fork keeps the table consistent for the child.
    HoldAcrossFork(LockTable, UnlockTable, ResetInChild);
}

bool SameKey(const FileKey& a, const FileKey& b) noexcept {
    return a.device == b.device && a.inode == b.inode;
}

Entry** FindSlot(const FileKey& key) noexcept {
    Entry** slot = &g_entries;
    while (*slot && !SameKey((*slot)->key, key)) slot = &(*slot)->next;
    return slot;
}

timespec DeadlineAfter(std::uint64_t waitMs) noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t maxSeconds = 1ull << 40;  // far beyond any real wait
    std::uint64_t seconds = waitMs / 1000;
    if (seconds > maxSeconds) seconds = maxSeconds;
    long nanos = now.tv_nsec + static_cast<long>(waitMs % 1000) * 1000000L;
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(seconds) + nanos / 1000000000L;
    deadline.tv_nsec = nanos % 1000000000L;
    return deadline;
}

void RemoveWaiter(Entry* entry, Waiter* waiter) noexcept {
    Waiter* previous = nullptr;
    for (Waiter* w = entry->head; w; previous = w, w = w->next) {
        if (w != waiter) continue;
        if (previous) {
            previous->next = w->next;
        } else {
            entry->head = w->next;
        }
        if (entry->tail == w) entry->tail = previous;
        return;
    }
}

// Waits (table locked) until the holder hands the file over or the time runs
// out. True when the file was handed to this waiter.
bool WaitForTurn(Entry* entry, std::uint64_t waitMs) noexcept {
    Waiter waiter;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&waiter.cond, &attributes);
    pthread_condattr_destroy(&attributes);

    if (entry->tail) {
        entry->tail->next = &waiter;
    } else {
        entry->head = &waiter;
    }
    entry->tail = &waiter;

    const timespec deadline = DeadlineAfter(waitMs);
    while (!waiter.granted) {
        g_owner.store(0, std::memory_order_relaxed);
        int rc = pthread_cond_timedwait(&waiter.cond, &g_mutex, &deadline);
        g_owner.store(CurrentThreadId(), std::memory_order_relaxed);
        if (rc == ETIMEDOUT && !waiter.granted) {
            RemoveWaiter(entry, &waiter);
            break;
        }
    }
    pthread_cond_destroy(&waiter.cond);
    return waiter.granted;
}

}  // namespace

ClaimResult ClaimFile(const FileKey& key, std::uint64_t waitMs, FileClaim* claim) noexcept {
    pthread_once(&g_forkHandlersOnce, InstallForkHandlers);
    claim->key = key;
    claim->tracked = false;
    // Allocated before the table is locked: nothing that may block or fault
    // runs while it is held.
    void* block = base::Alloc(sizeof(Entry));
    if (!LockTableBounded()) {
        base::Free(block);
        return ClaimResult::kClaimed;
    }
    if (g_heldHook) g_heldHook();
    claim->generation = g_generation;
    Entry** slot = FindSlot(key);
    if (!*slot) {
        if (block) {
            *slot = new (block) Entry{nullptr, key, nullptr, nullptr};
            claim->tracked = true;
        }
        UnlockTable();
        return ClaimResult::kClaimed;
    }
    bool granted = waitMs > 0 && WaitForTurn(*slot, waitMs);
    claim->tracked = granted;
    UnlockTable();
    base::Free(block);
    return granted ? ClaimResult::kClaimed : ClaimResult::kBusy;
}

void ReleaseFile(const FileClaim& claim) noexcept {
    // A table that cannot be had keeps the entry: its waiters time out.
    if (!claim.tracked || !LockTableBounded()) return;
    if (claim.generation == g_generation) {
        Entry** slot = FindSlot(claim.key);
        Entry* entry = *slot;
        if (entry && entry->head) {
            // Hand over directly: the entry stays held, by the next writer.
            Waiter* next = entry->head;
            entry->head = next->next;
            if (!entry->head) entry->tail = nullptr;
            next->granted = true;
            pthread_cond_signal(&next->cond);
        } else if (entry) {
            *slot = entry->next;
            UnlockTable();
            base::Free(entry);
            return;
        }
    }
    UnlockTable();
}

std::size_t HeldFileCount() noexcept {
    LockTable();
    std::size_t count = 0;
    for (Entry* entry = g_entries; entry; entry = entry->next) ++count;
    UnlockTable();
    return count;
}

namespace registrytest {
void SetHeldHook(void (*hook)()) noexcept { g_heldHook = hook; }
}  // namespace registrytest

}  // namespace platform
}  // namespace orneh
