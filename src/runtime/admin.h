// The per-thread exception administration: one process-wide object that
// keeps, for every thread using the library, its chain of exceptions, its
// standard log file and its reserve out-of-memory exception.
//
// Registration and table growth take the administration's lock; lookups of
// the calling thread's record read the slot table without it. A grown table
// replaces the old one atomically and the old one stays readable until the
// administration goes away, so a lookup never reads freed memory; a record is
// published only when it is complete, so a lookup never reads a torn one.
#ifndef ORNEH_RUNTIME_ADMIN_H
#define ORNEH_RUNTIME_ADMIN_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "OrnEh.h"
#include "OrnEhLogFile.h"
#include "compat/OrnEhAfx.h"
#include "platform/system.h"

class OrnEhBasis;
class OrnEhMemory;

// A thread's share: its chain and its standard log file.
class ExContainer {
public:
    ExContainer();
    // Releases whatever is still linked (the administration deletes the
    // current exception and the reserve exceptions itself).
    ~ExContainer();
    ExContainer(const ExContainer&) = delete;
    ExContainer& operator=(const ExContainer&) = delete;

    // Chain operations.
    void Append(OrnEhBasis* e);
    void ReleaseAll();
    void DeleteOfClass(const CRuntimeClass* runtimeClass);
    OrnEhBasis* GetLast() const { return last; }

    void SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize);
    void WriteEmergencyText(const char* text) { WriteEmergencyLine(logFile, text); }

    // One line into log: Open, text, CR LF, an empty line, Close.
    static void WriteEmergencyLine(OrnEhLogFile& log, const char* text);

    OrnEhBasis* last = nullptr;
    OrnEhLogFile logFile;
    OrnEhBasis* current = nullptr;
    // The generation of the process-wide log configuration applied last.
    unsigned long configGeneration = 0;
};

struct ExMultiThreadAdminInfo {
    ExContainer* container;
    OrnEhMemory* memoryException;  // the thread's reserve exception
    std::uint32_t threadId;
};

struct ExSlotTable;

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
    // The calling thread's container (may be null after a failed
    // registration); ends the process (-7) when the thread has no record.
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

private:
    ExMultiThreadAdminInfo* RecordAt(std::uint32_t index) const;
    bool Grow();
    ExMultiThreadAdminInfo* MakeRecord();
    void ApplyLogConfig(ExContainer* container);
    void Teardown();

    std::atomic<ExSlotTable*> m_table{nullptr};
    ExSlotTable* m_retired = nullptr;  // replaced tables, freed with the administration
    orneh::platform::RecursiveLock m_lock;
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
std::uint32_t GetMainThreadId();
void SetMainThreadId(std::uint32_t threadId);
const char* GetApplicationName();

// Writes one emergency line through the calling thread's container, or,
// without one, through a standard log file of its own.
void WriteEmergencyText(const char* text);

// Module start and stop.
void CreateAdminAtLoad();
void DestroyAdminAtUnload();

// Marks the calling thread as working inside the library for the lifetime of
// the object, so that the module's teardown does not pull the thread's data
// away under it. Library entry points that use the administration hold one.
class ActiveCall {
public:
    ActiveCall();
    ~ActiveCall();
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;
};

// True once the module has begun to go away (outside the teardown itself).
bool LibraryClosing();

#endif
