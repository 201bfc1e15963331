// ExMultiThreadAdmin: registration, lookup, the end of a thread, fork, the
// process-wide log configuration, the reserve exceptions and the teardown.
#include "runtime/admin.h"

#include <cstdlib>
#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "core/chain_links.h"
#include "base/alloc.h"
#include "platform/fault_translator.h"
#include "runtime/se_translator.h"

namespace ap = orneh::platform;

namespace {

const std::uint32_t kChunkRecords = 64;
const std::uint32_t kMaxChunks = 2048;  // up to 131072 threads alive at once
const unsigned long kDefaultMaxSize = 1048576;  // the standard log file's own limit

}  // namespace

// A fixed block of records; it never moves and lives as long as the
// administration. used has one bit per record held by a thread.
struct ExRecordChunk {
    ExMultiThreadAdminInfo records[kChunkRecords];
    std::uint64_t used;
};

namespace {

std::atomic<ExMultiThreadAdmin*> g_admin{nullptr};
ap::Mutex g_createLock;
std::atomic<bool> g_closing{false};
// Counts the administrations made, so that a thread's cached record is
// recognised as one of the present administration.
std::atomic<unsigned> g_epoch{0};

// Calls inside the library, counted in stripes so that threads do not share
// one cache line on every call; the module's unload waits for the sum to
// fall to its own calls.
struct alignas(64) CallStripe {
    std::atomic<int> count{0};
};
const unsigned kStripes = 32;
CallStripe g_activeCalls[kStripes];

// Per thread; all plain data (a thread_local with a destructor would make the
// C library register it with an allocation that aborts when memory is out).
thread_local int t_callDepth = 0;
thread_local unsigned t_stripe = 0;
thread_local bool t_tearingDown = false;
thread_local ExMultiThreadAdminInfo* t_record = nullptr;  // the thread's own
thread_local unsigned t_recordEpoch = 0;
thread_local ExMultiThreadAdminInfo* t_override = nullptr;
thread_local std::uint32_t t_overrideId = 0;

// Process-wide log configuration, written and read under g_configLock.
// Replaced texts are kept until the administration goes away: another thread
// may still be writing the old application name into its log.
struct RetiredText {
    char* text;
    RetiredText* next;
};
ap::Mutex g_configLock;
OrnEhLogfileStyle g_logStyle GUARDED_BY(g_configLock) = OrnEhLogLimited;
unsigned long g_logMaxSize GUARDED_BY(g_configLock) = kDefaultMaxSize;
char* g_applicationName GUARDED_BY(g_configLock) = nullptr;
char* g_logPath GUARDED_BY(g_configLock) = nullptr;
RetiredText* g_retiredTexts GUARDED_BY(g_configLock) = nullptr;
std::atomic<unsigned long> g_configGeneration{0};

std::atomic<std::uint32_t> g_mainThreadId{0};

void Retire(char* text) REQUIRES(g_configLock) {
    if (!text) return;
    RetiredText* node = orneh::base::New<RetiredText>();
    if (!node) return;  // leaking the text is safer than freeing it under a reader
    node->text = text;
    node->next = g_retiredTexts;
    g_retiredTexts = node;
}

void FreeConfiguration() {
    ap::MutexLock lock(g_configLock);
    while (g_retiredTexts) {
        RetiredText* next = g_retiredTexts->next;
        OrnEhDeleteString(g_retiredTexts->text);
        orneh::base::Delete(g_retiredTexts);
        g_retiredTexts = next;
    }
    OrnEhDeleteString(g_applicationName);
    OrnEhDeleteString(g_logPath);
    g_applicationName = nullptr;
    g_logPath = nullptr;
    g_logStyle = OrnEhLogLimited;
    g_logMaxSize = kDefaultMaxSize;
}

// Emergency text through a standard log file of its own, for the moments
// when the calling thread has no container.
void WriteEmergencyTextAlone(const char* text) {
    OrnEhLogFile log;
    ExContainer::WriteEmergencyLine(log, text);
}

void ExitWithText(const char* text, int code) {
    if (text) WriteEmergencyTextAlone(text);
    std::exit(code);
}

int CallsInside() {
    int sum = 0;
    for (CallStripe& stripe : g_activeCalls) sum += stripe.count.load();
    return sum;
}

// The pthread key's destructor: the thread is ending.
void ThreadKeyDestructor(void* value) {
    ActiveCall active;
    ExMultiThreadAdmin* admin = LibraryClosing() ? nullptr : PeekAdmin();
    if (admin && value) admin->ThreadEnded(static_cast<ExMultiThreadAdminInfo*>(value));
}

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

// --- ActiveCall ---------------------------------------------------------------

ActiveCall::ActiveCall() {
    if (t_callDepth++ != 0) return;
    t_stripe = ap::CurrentThreadId() % kStripes;
    g_activeCalls[t_stripe].count.fetch_add(1);
}

ActiveCall::~ActiveCall() {
    if (--t_callDepth == 0) g_activeCalls[t_stripe].count.fetch_sub(1);
}

bool LibraryClosing() { return g_closing.load() && !t_tearingDown; }

// --- Thread ids ---------------------------------------------------------------

std::uint32_t GetExThreadId() {
    if (t_override) return t_override->threadId;
    return t_overrideId ? t_overrideId : ap::CurrentThreadId();
}

void SetExThreadIdOverride(std::uint32_t threadId) {
    t_override = nullptr;
    t_overrideId = threadId;
}

void SetRecordOverride(ExMultiThreadAdminInfo* info) {
    t_override = info;
    t_overrideId = 0;
}

std::uint32_t GetMainThreadId() { return g_mainThreadId.load(); }

void SetMainThreadId(std::uint32_t threadId) { g_mainThreadId.store(threadId); }

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
    if (!info->memoryException) info->memoryException = new OrnEhMemory();
    if (!t_override && !t_overrideId) {
        t_record = info;
        t_recordEpoch = m_epoch;
        if (m_haveKey) pthread_setspecific(m_threadKey, info);
    }
    return info->container && info->memoryException;
}

int ExMultiThreadAdmin::InitThread(std::uint32_t& index, int indexGiven) {
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
    if (SetUpRecord(info)) return 1;
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
        ap::MutexLock lock(m_lock);
        ExitWithText("ExMultiThreadAdmin::GetContainer: Exception Handling wurde f\xFCr diesen Thread "
                     "nicht initialisert",
                     -7);
    }
    ExContainer* container = info->container;
    if (container && container->configGeneration != g_configGeneration.load(std::memory_order_relaxed)) {
        ApplyLogConfig(container);
    }
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
    // As OrnEhEndThreadExHandling: the chain is released; the exception whose
    // deletion was put off stays with the record until its next thread
    // appends, or until somebody takes it over.
    if (info->container) info->container->ReleaseAll();
    ap::MutexLock lock(m_lock);
    info->inUse = false;
    info->threadId = 0;
    m_chunks[info->index / kChunkRecords]->used &= ~(std::uint64_t{1} << (info->index % kChunkRecords));
    t_record = nullptr;
}

// --- fork -----------------------------------------------------------------------

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

// --- Log configuration --------------------------------------------------------

void ExMultiThreadAdmin::ApplyLogConfig(ExContainer* container) {
    ap::MutexLock lock(g_configLock);
    container->SetLogFileInfos(g_logPath, g_logStyle, g_logMaxSize);
    container->configGeneration = g_configGeneration.load();
}

void ExMultiThreadAdmin::SetLogFileInfos(const char* applicationName, OrnEhLogfileStyle style,
                                         unsigned long maxSize, const char* fileName,
                                         const char* subDirectory, const char* directory) {
    std::size_t size = 3;
    for (const char* part : {directory, subDirectory, fileName}) {
        if (part) size += std::strlen(part);
    }
    char* path = static_cast<char*>(orneh::base::Alloc(size));
    if (path) {
        path[0] = '\0';
        if (directory) std::strcat(path, directory);
        for (const char* part : {subDirectory, fileName}) {
            if (!part) continue;
            if (path[0]) std::strcat(path, "/");
            std::strcat(path, part);
        }
    }
    char* name = applicationName ? OrnEhCopyString(applicationName) : nullptr;
    ap::MutexLock lock(g_configLock);
    g_logStyle = style;
    g_logMaxSize = maxSize;
    if (applicationName) {
        Retire(g_applicationName);
        g_applicationName = name;
    }
    Retire(g_logPath);
    g_logPath = path;
    // Each thread applies the new configuration to its own standard log file
    // at its next lookup, so no thread writes into another thread's log file.
    g_configGeneration.fetch_add(1);
}

const char* ExMultiThreadAdmin::GetApplicationName() const {
    ap::MutexLock lock(g_configLock);
    return g_applicationName;
}

// --- Reserve exceptions -------------------------------------------------------

void ExMultiThreadAdmin::PrepareMemoryException(std::size_t size) {
    ExMultiThreadAdminInfo* info = FindRecord();
    if (!info || !info->memoryException) return;
    info->memoryException->SetRequestedSize(size);
    if (OrnEhBasisInfo* record = OrnEhBasisAccess::Info(info->memoryException)) record->released = 0;
    if (ExContainer* container = GetContainer()) container->Append(info->memoryException);
}

void ExMultiThreadAdmin::ThrowMemoryException() {
    ExMultiThreadAdminInfo* info = FindRecord();
    if (info && info->memoryException) throw info->memoryException;
}

void ExMultiThreadAdmin::DeleteExceptionsOfClass(const CRuntimeClass* runtimeClass) {
    ap::MutexLock lock(m_lock);
    for (std::uint32_t i = m_capacity; i-- > 0;) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        if (!info->container) continue;
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
        OrnEhBasis* current = container->GetCurrent();
        if (current) {
            container->ForgetCurrent(current);
            if (!current->IsKindOf(RUNTIME_CLASS(OrnEhMemory))) delete current;
        }
    }
    for (std::uint32_t i = m_capacity; i-- > 0;) {
        ExMultiThreadAdminInfo* info = RecordAtLocked(i);
        SetRecordOverride(info);
        delete info->memoryException;
        info->memoryException = nullptr;
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

// --- The process-wide administration ------------------------------------------

ExMultiThreadAdmin* PeekAdmin() { return g_admin.load(); }

ExMultiThreadAdmin* GetAdmin() {
    if (LibraryClosing()) return nullptr;
    ExMultiThreadAdmin* admin = g_admin.load();
    if (admin) return admin;
    ap::MutexLock lock(g_createLock);
    admin = g_admin.load();
    if (admin || LibraryClosing()) return admin;
    void* block = orneh::base::Alloc(sizeof(ExMultiThreadAdmin));
    if (!block) std::exit(-1);
    admin = new (block) ExMultiThreadAdmin();
    g_admin.store(admin);
    return admin;
}

ExContainer* GetCurrentContainer() {
    ExMultiThreadAdmin* admin = GetAdmin();
    return admin ? admin->GetContainer() : nullptr;
}

const char* GetApplicationName() {
    ExMultiThreadAdmin* admin = PeekAdmin();
    return admin ? admin->GetApplicationName() : nullptr;
}

void WriteEmergencyText(const char* text) {
    ExContainer* container = GetCurrentContainer();
    if (container) {
        container->WriteEmergencyText(text);
    } else {
        WriteEmergencyTextAlone(text);
    }
}

void CreateAdminAtLoad() {
    g_closing.store(false);
    GetAdmin();
}

void DestroyAdminAtUnload() {
    ap::MutexLock lock(g_createLock);
    g_closing.store(true);
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->StopWatchingThreadEnds();
    // Wait (bounded) until no other thread is inside the library. A thread
    // that stays inside keeps using its data, so then nothing is freed: the
    // process is going away anyway.
    int own = t_callDepth > 0 ? 1 : 0;
    for (int waited = 0; CallsInside() > own; ++waited) {
        if (waited >= 1000) return;
        ap::SleepMilliseconds(1);
    }
    ExMultiThreadAdmin* admin = g_admin.load();
    if (!admin) return;
    t_tearingDown = true;
    admin->~ExMultiThreadAdmin();
    g_admin.store(nullptr);
    orneh::base::Free(admin);
    t_tearingDown = false;
}
