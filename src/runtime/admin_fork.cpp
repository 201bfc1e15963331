// fork(): every lock of the administration is held across it; the child
// keeps only the record of the thread that forked.
#include "runtime/admin_state.h"

#include <pthread.h>

#include "OrnEhMemory.h"
#include "core/chain_links.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

namespace {

// fork(): the administration's locks are the outer ones
// (platform/system.h): taken before the leaves, in the order in which they
// nest (creation, the table, each container, the configuration), so the
// child finds them in a known state and every chain whole.
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
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->AfterForkInChild();
    g_createLock.ResetInChild();
}

struct ForkHandlers {
    ForkHandlers() { ap::SetOuterForkLocks(PrepareFork, ParentAfterFork, ChildAfterFork); }
};
ForkHandlers g_forkHandlers;

}  // namespace

void ExMultiThreadAdmin::BeforeFork() NO_THREAD_SAFETY_ANALYSIS {
    m_lock.Lock();
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        if (ExContainer* container = RecordAtLocked(i)->container) container->LockForFork();
    }
}

void ExMultiThreadAdmin::AfterForkInParent() NO_THREAD_SAFETY_ANALYSIS {
    for (std::uint32_t i = m_capacity; i-- > 0;) {
        if (ExContainer* container = RecordAtLocked(i)->container) container->UnlockAfterFork();
    }
    m_lock.Unlock();
}

// The child's only thread is the one that forked: it keeps its record (under
// its new id) and its chain; the records of the other threads are freed
// without running anything of theirs (their exceptions are left as they
// are).
void ExMultiThreadAdmin::AfterForkInChild() NO_THREAD_SAFETY_ANALYSIS {
    m_lock.ResetInChild();
    ExMultiThreadAdminInfo* own = t_record && t_recordEpoch == m_epoch ? t_record : nullptr;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        if (info == own) {
            if (g_mainThreadId.load() == info->threadId) g_mainThreadId.store(ap::CurrentThreadId());
            info->threadId = ap::CurrentThreadId();
            if (info->container) info->container->ResetLockInChild();
            continue;
        }
        if (info->container) info->container->AbandonInChild();
        if (info->memoryException) orneh::core::links::Forget(info->memoryException);
        info->inUse = false;
        info->threadId = 0;
        m_chunks[i / kChunkRecords]->used &= ~(std::uint64_t{1} << (i % kChunkRecords));
    }
}
