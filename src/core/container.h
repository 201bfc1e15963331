// ExContainer, the per-thread part of the administration (runtime/admin.h).
#ifndef ORNEH_CORE_CONTAINER_H
#define ORNEH_CORE_CONTAINER_H

#include "OrnEh.h"
#include "OrnEhLogFile.h"
#include "base/thread_annotations.h"
#include "compat/OrnEhAfx.h"
#include "platform/system.h"

class OrnEhBasis;

// A thread's share: its chain and its standard log file.
//
// The chain belongs to its thread, but other threads reach it (removal by
// class, a caught exception taken over by another thread, teardown), so its
// two ends are guarded by the container's lock, and every change of the
// links happens under the lock of the chain they belong to. The lock is
// re-entrant: an exception's destructor may come back into its chain.
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
    OrnEhBasis* GetLast();
    OrnEhBasis* GetCurrent();

    // OrnEhGetExceptions: hands the chain out; nothing of it is this
    // container's any more.
    OrnEhBasis* TakeChain();
    // OrnEhSetExceptions: the chain that ends at newest follows this one.
    void AttachChain(OrnEhBasis* newest);
    // Gives up e, which another thread takes over: e and its older
    // exceptions leave this chain (the newer ones stay), and e is no longer
    // this container's current exception. Nothing is deleted.
    void Surrender(OrnEhBasis* e);
    // A held exception of this chain is being deleted: the exceptions older
    // than it are released, the newer ones stay the chain. False when e is
    // not in this chain.
    bool CutAtDying(OrnEhBasis* e);
    // e is being deleted after its release: the container forgets it.
    void ForgetCurrent(OrnEhBasis* e);
    // A forked child drops the chain of a thread it does not have, without
    // running anything of it.
    void AbandonInChild();

    void SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize);
    void WriteEmergencyText(const char* text) { WriteEmergencyLine(logFile, text); }

    // One line into log: Open, text, CR LF, an empty line, Close.
    static void WriteEmergencyLine(OrnEhLogFile& log, const char* text);

    // The standard log file: used only by the container's own thread.
    OrnEhLogFile logFile;
    // The generation of the process-wide log configuration applied last
    // (the container's own thread only).
    unsigned long configGeneration = 0;

private:
    void DisposeCurrent(OrnEhBasis* keep) REQUIRES(m_lock);
    void ReleaseDetached(OrnEhBasis* newest) REQUIRES(m_lock);
    void Adopt(OrnEhBasis* newest) REQUIRES(m_lock);

    orneh::platform::Mutex m_lock;
    OrnEhBasis* last GUARDED_BY(m_lock) = nullptr;
    OrnEhBasis* current GUARDED_BY(m_lock) = nullptr;
};

#endif
