// The per-thread exception administration: one process-wide object that
// keeps, for every thread using the library, its chain of exceptions, its
// standard log file and its reserve out-of-memory exception.
//
// Records live in fixed chunks that never move and are freed only with the
// administration, so a record pointer stays valid memory for every reader. A
// registered thread keeps a pointer to its own record (checked against the
// administration it came from), so finding the calling thread's container
// costs neither a system call nor a lock. Registration, the end of a thread
// (a pthread key destructor: the record is released and reused) and walks
// over all records take the administration's lock.
//
// The class is written in one file per concern; the state they share is in
// runtime/admin_state.h:
//   admin.cpp           the record table: construction, registration, lookup,
//                       the end of a thread
//   admin_lifetime.cpp  the marker of calls inside the library (ActiveCall),
//                       the process-wide object, its end at unload
//   thread_ids.cpp      thread ids and borrowed identities, the main thread
//   admin_fork.cpp      fork()
//   log_config.cpp      the process-wide log configuration
//   admin_teardown.cpp  the reserve exceptions, teardown, emergency texts
// ExContainer, the per-thread part, is in core/container.h.
#ifndef ORNEH_RUNTIME_ADMIN_H
#define ORNEH_RUNTIME_ADMIN_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <pthread.h>

#include "OrnEh.h"
#include "OrnEhLogFile.h"
#include "base/thread_annotations.h"
#include "compat/OrnEhAfx.h"
#include "compat/OrnEhSeh.h"
#include "core/container.h"
#include "platform/system.h"
#include "runtime/boundary.h"

class OrnEhMemory;
class OrnEhSEH;

struct ExMultiThreadAdminInfo {
    ExContainer* container;
    OrnEhMemory* memoryException;  // the thread's reserve exception
    OrnEhSEH* faultReserve;        // thrown for a fault that finds no memory
    std::uint32_t threadId;
    // Library-private: where the record lives, whether a thread holds it,
    // and whether that thread is inside the library (the module's unload
    // waits for it).
    std::uint32_t index;
    bool inUse;
    std::atomic<int> activeCalls;
};

struct ExRecordChunk;

class ExMultiThreadAdmin {
public:
    // Registers the calling thread in slot 0; ends the process (-3, -4, -5)
    // when that is impossible.
    ExMultiThreadAdmin();
    ~ExMultiThreadAdmin();
    ExMultiThreadAdmin(const ExMultiThreadAdmin&) = delete;
    ExMultiThreadAdmin& operator=(const ExMultiThreadAdmin&) = delete;

    // The slot of a thread, or capacity + 1; create registers it.
    std::uint32_t FindSlot(std::uint32_t threadId, int create);
    int FindFreeSlot(std::uint32_t& index);
    // Registers the calling thread; 1 when it is registered afterwards.
    int InitThread(std::uint32_t& index, int indexGiven);
    // The calling thread's container; null when the thread has no record
    // (the table cannot take it) or its registration failed.
    ExContainer* GetContainer();
    int EndThread();
    void SetLogFileInfos(const char* applicationName, OrnEhLogfileStyle style,
                         unsigned long maxSize, const char* fileName, const char* subDirectory,
                         const char* directory);
    const char* GetApplicationName() const;
    void PrepareMemoryException(std::size_t size);
    void ThrowMemoryException();
    void DeleteExceptionsOfClass(const CRuntimeClass* runtimeClass);

    // The calling thread's record, or null.
    ExMultiThreadAdminInfo* FindRecord();

    // The end of a registered thread (its pthread key's destructor): its
    // container keeps what it did not release (core/container.h) and its
    // record becomes free.
    void ThreadEnded(ExMultiThreadAdminInfo* info);
    // From now on threads end without the administration (the module is
    // going away: its code must not be called at a thread's end).
    void StopWatchingThreadEnds();
    // fork(): every lock held across it; the child keeps only the forking
    // thread's record.
    void BeforeFork() ACQUIRE(m_lock);
    void AfterForkInParent() RELEASE(m_lock);
    void AfterForkInChild() RELEASE(m_lock);

private:
    ExMultiThreadAdminInfo* RecordAt(std::uint32_t index);
    ExMultiThreadAdminInfo* RecordAtLocked(std::uint32_t index) REQUIRES(m_lock);
    ExMultiThreadAdminInfo* OwnRecord();
    ExMultiThreadAdminInfo* FindById(std::uint32_t threadId) EXCLUDES(m_lock);
    bool Grow() REQUIRES(m_lock);
    bool SetUpRecord(ExMultiThreadAdminInfo* info) REQUIRES(m_lock);
    void ApplyLogConfig(ExContainer* container);
    void Teardown();

    orneh::platform::Mutex m_lock;
    std::uint32_t m_capacity GUARDED_BY(m_lock) = 0;
    ExRecordChunk* m_chunks[2048] GUARDED_BY(m_lock) = {};
    unsigned m_epoch = 0;
    pthread_key_t m_threadKey;
    bool m_haveKey GUARDED_BY(m_lock) = false;
};

// The administration, created on first need (ends the process with -1 when it
// cannot be allocated). Null while the module is going away.
ExMultiThreadAdmin* GetAdmin();
// The administration if it exists; never creates it.
ExMultiThreadAdmin* PeekAdmin();
// GetAdmin()->GetContainer(), or null.
ExContainer* GetCurrentContainer();

std::uint32_t GetExThreadId();
// While nonzero, GetExThreadId of the calling thread reports this id (used
// to run destructors on other threads' chains).
void SetExThreadIdOverride(std::uint32_t threadId);
// The same with the record at hand: the calling thread works on info's
// chain until it is reset with null.
void SetRecordOverride(ExMultiThreadAdminInfo* info);
std::uint32_t GetMainThreadId();
void SetMainThreadId(std::uint32_t threadId);
const char* GetApplicationName();

// Writes one emergency line through the calling thread's container, or,
// without one, through a standard log file of its own.
void WriteEmergencyText(const char* text);
// Gives log the process-wide log configuration, as every container's
// standard log file has it.
void ApplyLogConfigTo(OrnEhLogFile& log);

// The fault translator's reserve: the calling thread's OrnEhSEH made in
// advance, filled from the fault without allocating and made the newest
// exception of the chain, which owns it from then on (the thread's next
// call into the library makes a new one). Null when the thread has none.
OrnEhSEH* TakeFaultReserve(EXCEPTION_POINTERS* pointers);

// Module start and stop.
void CreateAdminAtLoad();
void DestroyAdminAtUnload();

// True once the module has begun to go away (outside the teardown itself).
bool LibraryClosing();

#endif
