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
// re-entrant, and nothing but link changes happens under it: exceptions
// let go of are deleted once it is released, since their destructors are
// application code (which may come back into the chain, take locks of its
// own, or fork).
//
// When its thread ends, the chain it had not released stays in the
// container, apart from the chain of the record's next thread: a carrier
// (std::exception_ptr, say) may still hold its newest exception and hand it
// to another thread, which then takes it over with its causes. Such chains
// go when they are taken over, deleted, or the administration goes.
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
    // The container's thread has ended: its chain is kept apart (see above),
    // the released exception whose deletion waited for the thread's next
    // append is deleted, and reserve (the record's own) leaves the chain.
    void ThreadEnded(OrnEhBasis* reserve);
    // Releases the chains that ended threads left (the teardown).
    void ReleaseLeftChains();
    // A forked child drops the chain of a thread it does not have, without
    // running anything of it.
    void AbandonInChild();
    // fork(): the lock is held across it, and put back to unlocked in the
    // child (whose thread has a new id and could not unlock it).
    void LockForFork() ACQUIRE(m_lock);
    void UnlockAfterFork() RELEASE(m_lock);
    void ResetLockInChild();

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
    class Doomed;

    void DisposeCurrent(OrnEhBasis* keep, Doomed& doomed) REQUIRES(m_lock);
    void ReleaseDetached(OrnEhBasis* newest, Doomed& doomed) REQUIRES(m_lock);
    void Adopt(OrnEhBasis* newest) REQUIRES(m_lock);
    void DeleteOfClassIn(OrnEhBasis*& chain, const CRuntimeClass* runtimeClass, Doomed& doomed)
        REQUIRES(m_lock);
    // The chain of this container that holds e (&last, or the link to a left
    // chain), or null.
    OrnEhBasis** ChainOf(const OrnEhBasis* e) REQUIRES(m_lock);
    // The chain in *slot now ends at newest (null: nothing of it is left).
    void Relink(OrnEhBasis** slot, OrnEhBasis* newest) REQUIRES(m_lock);
    // Cuts e and its older exceptions out of the chain of this container
    // that holds them; they become nobody's. False when none holds e.
    bool TakeOut(OrnEhBasis* e) REQUIRES(m_lock);

    orneh::platform::Mutex m_lock;
    OrnEhBasis* last GUARDED_BY(m_lock) = nullptr;
    OrnEhBasis* current GUARDED_BY(m_lock) = nullptr;
    // The newest exceptions of the chains ended threads left, linked through
    // their records' nextLeft.
    OrnEhBasis* left GUARDED_BY(m_lock) = nullptr;
};

#endif
