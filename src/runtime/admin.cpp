// ExMultiThreadAdmin, the record table: construction, registration and
// lookup of the calling thread's record, and the end of a thread. The other
// concerns of the class have files of their own (see runtime/admin.h).
#include "runtime/admin.h"

#include <cstdlib>

#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "base/alloc.h"
#include "platform/fault_translator.h"
#include "runtime/admin_state.h"
#include "runtime/se_translator.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

namespace {

// The pthread key's destructor: the thread is ending.
void ThreadKeyDestructor(void* value) {
    ActiveCall active;
    ExMultiThreadAdmin* admin = LibraryClosing() ? nullptr : PeekAdmin();
    if (admin && value) admin->ThreadEnded(static_cast<ExMultiThreadAdminInfo*>(value));
}

}  // namespace

// --- Construction -------------------------------------------------------------

ExMultiThreadAdmin::ExMultiThreadAdmin() : m_epoch(g_epoch.fetch_add(1) + 1) {
    ap::MutexLock lock(m_lock);
    m_haveKey = pthread_key_create(&m_threadKey, ThreadKeyDestructor) == 0;
    if (!Grow()) ExitWithText("Programm mit exit (-3) abgebrochen: Konstr. ExMultiThreadAdmin ", -3);
    ExMultiThreadAdminInfo* info = RecordAtLocked(0);
    if (!SetUpRecord(info)) {
        ExitWithText("Programm mit exit (-5) abgebrochen: Konstr ExMultiThreadAdmin ", -5);
    }
}

// --- Lookup and registration --------------------------------------------------

ExMultiThreadAdminInfo* ExMultiThreadAdmin::RecordAtLocked(std::uint32_t index) {
    if (index >= m_capacity) return nullptr;
    return &m_chunks[index / kChunkRecords]->records[index % kChunkRecords];
}

ExMultiThreadAdminInfo* ExMultiThreadAdmin::RecordAt(std::uint32_t index) {
    ap::MutexLock lock(m_lock);
    return RecordAtLocked(index);
}

// The calling thread's record without a lock: its cached pointer, when it
// was made by this administration; a borrowed identity (the override) wins.
ExMultiThreadAdminInfo* ExMultiThreadAdmin::OwnRecord() {
    if (t_override) return t_override;
    if (t_overrideId) return FindById(t_overrideId);
    return t_record && t_recordEpoch == m_epoch ? t_record : nullptr;
}

ExMultiThreadAdminInfo* ExMultiThreadAdmin::FindById(std::uint32_t threadId) {
    ap::MutexLock lock(m_lock);
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        if (info->inUse && info->threadId == threadId) return info;
    }
    return nullptr;
}

std::uint32_t ExMultiThreadAdmin::FindSlot(std::uint32_t threadId, int create) {
    ExMultiThreadAdminInfo* info = threadId == GetExThreadId() ? OwnRecord() : FindById(threadId);
    if (info) return info->index;
    std::uint32_t index;
    {
        ap::MutexLock lock(m_lock);
        index = m_capacity + 1;
    }
    if (create) InitThread(index, 1);
    return index;
}

int ExMultiThreadAdmin::FindFreeSlot(std::uint32_t& index) {
    ap::MutexLock lock(m_lock);
    for (std::uint32_t c = 0; c * kChunkRecords < m_capacity; ++c) {
        std::uint64_t used = m_chunks[c]->used;
        if (used == ~std::uint64_t{0}) continue;
        std::uint32_t slot = c * kChunkRecords + static_cast<std::uint32_t>(__builtin_ctzll(~used));
        if (slot >= m_capacity) return 0;
        index = slot;
        return 1;
    }
    return 0;
}

// Grows the number of slots by 50, or by less when memory is short (25, 12,
// 6, 3, 1). New slots come in whole chunks that never move.
bool ExMultiThreadAdmin::Grow() {
    std::uint32_t step = 100;
    while (step > 1) {
        step /= 2;
        std::uint32_t capacity = m_capacity + step;
        std::uint32_t chunks = (capacity + kChunkRecords - 1) / kChunkRecords;
        if (chunks > kMaxChunks) continue;
        bool complete = true;
        for (std::uint32_t c = 0; c < chunks && complete; ++c) {
            if (m_chunks[c]) continue;
            void* block = orneh::base::AllocZeroed(sizeof(ExRecordChunk));
            if (!block) {
                complete = false;
                break;
            }
            ExRecordChunk* chunk = new (block) ExRecordChunk();
            for (std::uint32_t i = 0; i < kChunkRecords; ++i) chunk->records[i].index = c * kChunkRecords + i;
            m_chunks[c] = chunk;
        }
        if (!complete) continue;
        m_capacity = capacity;
        return true;
    }
    return false;
}

// Gives a free record to the calling thread: its container and reserve
// exception are made when missing and kept for the record's next thread.
bool ExMultiThreadAdmin::SetUpRecord(ExMultiThreadAdminInfo* info) {
    info->inUse = true;
    m_chunks[info->index / kChunkRecords]->used |= std::uint64_t{1} << (info->index % kChunkRecords);
    info->threadId = GetExThreadId();
    if (!info->container) info->container = orneh::base::New<ExContainer>();
    if (info->container) {
        // A first thread keeps the standard log file's own defaults until the
        // configuration is set; later ones take the configuration now.
        ExContainer* container = info->container;
        if (info->index != 0 || g_configGeneration.load() != 0) ApplyLogConfig(container);
    }
    if (!info->memoryException) {
        info->memoryException = new OrnEhMemory();
        // Told apart from an application's own OrnEhMemory by this mark.
        if (OrnEhBasisInfo* record = OrnEhBasisAccess::Info(info->memoryException)) record->reserve = true;
    }
    if (!t_override && !t_overrideId) {
        t_record = info;
        t_recordEpoch = m_epoch;
        if (m_haveKey) pthread_setspecific(m_threadKey, info);
    }
    return info->container && info->memoryException;
}

int ExMultiThreadAdmin::InitThread(std::uint32_t& index, int indexGiven) {
    ActiveCall::HoldOffCancellation();  // the standard log file's search, emergency texts
    ap::MutexLock lock(m_lock);
    ap::SetSeTranslator(&ExSeTranslator);
    // An index found before the lock was taken may be stale, so the
    // thread's own record is looked up again here.
    (void)indexGiven;
    if (ExMultiThreadAdminInfo* own = OwnRecord()) {
        index = own->index;
        return 1;
    }
    // No registration under a borrowed identity.
    if (t_override || t_overrideId) return 0;
    if (!FindFreeSlot(index)) {
        index = m_capacity;
        if (!Grow()) return 0;
    }
    ExMultiThreadAdminInfo* info = RecordAtLocked(index);
    if (SetUpRecord(info)) {
        MakeFaultReserve(info);
        return 1;
    }
    const char* text = "ExMultiThreadAdmin::InitThread: ExhBasis oder ExContainer ";
    if (info->container) {
        info->container->WriteEmergencyText(text);
    } else {
        WriteEmergencyTextAlone(text);
    }
    return 0;
}

ExMultiThreadAdminInfo* ExMultiThreadAdmin::FindRecord() { return OwnRecord(); }

ExContainer* ExMultiThreadAdmin::GetContainer() {
    ExMultiThreadAdminInfo* info = OwnRecord();
    if (!info) {
        std::uint32_t index = 0;
        InitThread(index, 0);
        info = OwnRecord();
    }
    if (!info) {
        // The table cannot take the thread (memory is out, or every record is
        // taken): each call gives its neutral result; the line goes out once.
        if (!t_toldUnregistered) {
            t_toldUnregistered = true;
            WriteEmergencyTextAlone("ExMultiThreadAdmin::GetContainer: Exception Handling wurde f\xFCr diesen "
                                    "Thread nicht initialisert");
        }
        return nullptr;
    }
    ExContainer* container = info->container;
    if (container && container->configGeneration != g_configGeneration.load(std::memory_order_relaxed)) {
        ApplyLogConfig(container);
    }
    if (!info->faultReserve) MakeFaultReserve(info);
    return container;
}

int ExMultiThreadAdmin::EndThread() {
    ExContainer* container = GetContainer();
    if (!container) return 0;
    container->ReleaseAll();
    return 1;
}

void ExMultiThreadAdmin::ThreadEnded(ExMultiThreadAdminInfo* info) {
    if (t_record != info || t_recordEpoch != m_epoch) return;
    // What the thread did not release stays alive for whoever may still
    // carry it; the record's next thread starts with an empty chain.
    if (info->container) info->container->ThreadEnded(info->memoryException);
    ap::MutexLock lock(m_lock);
    info->inUse = false;
    info->threadId = 0;
    m_chunks[info->index / kChunkRecords]->used &= ~(std::uint64_t{1} << (info->index % kChunkRecords));
    t_record = nullptr;
}
