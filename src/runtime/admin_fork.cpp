// fork(): every lock of the administration is held across it; the child
// keeps only the record of the thread that forked.
#include "runtime/admin_state.h"

#include <pthread.h>

#include "OrnEhMemory.h"
#include "core/chain_links.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

namespace {

// fork(): all locks of the administration are taken before it, so the child
// finds them in a known state.
void PrepareFork() NO_THREAD_SAFETY_ANALYSIS {
    g_createLock.Lock();
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->BeforeFork();
    g_configLock.Lock();
}

void ParentAfterFork() NO_THREAD_SAFETY_ANALYSIS {
    g_configLock.Unlock();
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->AfterForkInParent();
    g_createLock.Unlock();
}

void ChildAfterFork() NO_THREAD_SAFETY_ANALYSIS {
    ap::RenewThreadIdAfterFork();
    g_configLock.ResetInChild();
    for (CallStripe& stripe : g_activeCalls) stripe.count.store(0);
    if (t_callDepth > 0) g_activeCalls[t_stripe].count.store(1);
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->AfterForkInChild();
    g_createLock.ResetInChild();
}

struct ForkHandlers {
    ForkHandlers() { pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork); }
};
ForkHandlers g_forkHandlers;

}  // namespace

void ExMultiThreadAdmin::BeforeFork() { m_lock.Lock(); }

void ExMultiThreadAdmin::AfterForkInParent() { m_lock.Unlock(); }

// The child's only thread is the one that forked: it keeps its record (under
// its new id); the records of the other threads are freed without running
// anything of theirs (their exceptions are left as they are).
void ExMultiThreadAdmin::AfterForkInChild() NO_THREAD_SAFETY_ANALYSIS {
    m_lock.ResetInChild();
    ExMultiThreadAdminInfo* own = t_record && t_recordEpoch == m_epoch ? t_record : nullptr;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        if (info == own) {
            if (g_mainThreadId.load() == info->threadId) g_mainThreadId.store(ap::CurrentThreadId());
            info->threadId = ap::CurrentThreadId();
            continue;
        }
        if (info->container) info->container->AbandonInChild();
        if (info->memoryException) orneh::core::links::Forget(info->memoryException);
        info->inUse = false;
        info->threadId = 0;
        m_chunks[i / kChunkRecords]->used &= ~(std::uint64_t{1} << (i % kChunkRecords));
    }
}
