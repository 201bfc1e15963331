// The reserve exceptions, the administration's teardown, and the emergency
// texts that go with the exits of the administration.
#include <cstdlib>

#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "OrnEhSEH.h"
#include "base/alloc.h"
#include "core/basis_info.h"
#include "platform/signals.h"
#include "runtime/admin_state.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

// Emergency text through a standard log file of its own, for the moments
// when the calling thread has no container.
void orneh::runtime::WriteEmergencyTextAlone(const char* text) {
    OrnEhLogFile log;
    if (g_configGeneration.load() != 0) ApplyLogConfigTo(log);
    ExContainer::WriteEmergencyLine(log, text);
}

void orneh::runtime::ExitWithText(const char* text, int code) {
    if (text) WriteEmergencyTextAlone(text);
    std::exit(code);
}

void WriteEmergencyText(const char* text) {
    ExContainer* container = GetCurrentContainer();
    if (container) {
        container->WriteEmergencyText(text);
    } else {
        WriteEmergencyTextAlone(text);
    }
}

// --- Reserve exceptions -------------------------------------------------------

void ExMultiThreadAdmin::PrepareMemoryException(std::size_t size) {
    ExMultiThreadAdminInfo* info = FindRecord();
    if (!info || !info->memoryException) return;
    info->memoryException->SetRequestedSize(size);
    if (OrnEhBasisInfo* record = OrnEhBasisAccess::Info(info->memoryException)) record->released = false;
    if (ExContainer* container = GetContainer()) container->Append(info->memoryException);
}

void ExMultiThreadAdmin::ThrowMemoryException() {
    ExMultiThreadAdminInfo* info = FindRecord();
    if (info && info->memoryException) throw info->memoryException;
}

void orneh::runtime::MakeFaultReserve(ExMultiThreadAdminInfo* info) {
    // Making it may delete a half-made one, which comes back here.
    static thread_local bool t_making = false;
    if (t_making || info->faultReserve || ap::InFaultHandling()) return;
    t_making = true;
    info->faultReserve = OrnEhSEH::NewReserve();
    t_making = false;
}

OrnEhSEH* TakeFaultReserve(EXCEPTION_POINTERS* pointers) {
    ExMultiThreadAdmin* admin = PeekAdmin();
    ExMultiThreadAdminInfo* info = admin ? admin->FindRecord() : nullptr;
    OrnEhSEH* e = info ? info->faultReserve : nullptr;
    if (!e) return nullptr;
    info->faultReserve = nullptr;
    e->TakeFault(pointers);
    if (OrnEhBasisInfo* record = OrnEhBasisAccess::Info(e)) record->threadId = GetExThreadId();
    OrnEhBasisAccess::Push(e);
    return e;
}

void ExMultiThreadAdmin::DeleteExceptionsOfClass(const CRuntimeClass* runtimeClass) {
    // Records never move, so the table's lock is held only to find each one:
    // the destructors that run are application code.
    std::uint32_t index;
    {
        ap::MutexLock lock(m_lock);
        index = m_capacity;
    }
    while (index-- > 0) {
        ExMultiThreadAdminInfo* info = RecordAt(index);
        if (!info || !info->container) continue;
        SetRecordOverride(info);
        info->container->DeleteOfClass(runtimeClass);
    }
    SetRecordOverride(nullptr);
}

// --- Teardown -----------------------------------------------------------------

ExMultiThreadAdmin::~ExMultiThreadAdmin() { Teardown(); }

void ExMultiThreadAdmin::StopWatchingThreadEnds() {
    ap::MutexLock lock(m_lock);
    if (m_haveKey) pthread_key_delete(m_threadKey);
    m_haveKey = false;
}

void ExMultiThreadAdmin::Teardown() {
    // Threads that end from now on leave their records alone.
    StopWatchingThreadEnds();
    ap::MutexLock lock(m_lock);
    // First every chain, then the reserve exceptions: a chain handed to
    // another thread may hold a reserve exception that is still another
    // thread's, so none may go before all chains have let go of them.
    for (std::uint32_t i = m_capacity; i-- > 0;) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        ExContainer* container = info->container;
        if (!container) continue;
        SetRecordOverride(info);
        container->ReleaseAll();
        container->ReleaseLeftChains();
        OrnEhBasis* current = container->GetCurrent();
        if (current) {
            container->ForgetCurrent(current);
            OrnEhBasisInfo* record = OrnEhBasisAccess::Info(current);
            if (!record || !record->reserve) delete current;
        }
    }
    for (std::uint32_t i = m_capacity; i-- > 0;) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        SetRecordOverride(info);
        delete info->memoryException;
        info->memoryException = nullptr;
        delete info->faultReserve;
        info->faultReserve = nullptr;
        orneh::base::Delete(info->container);
        info->container = nullptr;
        info->inUse = false;
    }
    SetRecordOverride(nullptr);
    for (std::uint32_t c = 0; c < kMaxChunks; ++c) {
        if (!m_chunks[c]) continue;
        m_chunks[c]->~ExRecordChunk();
        orneh::base::Free(m_chunks[c]);
        m_chunks[c] = nullptr;
    }
    m_capacity = 0;
    FreeConfiguration();
}
