// ExMultiThreadAdmin: registration, lookup, the process-wide log
// configuration, the reserve exceptions and the teardown.
#include "runtime/admin.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "platform/alloc.h"
#include "platform/fault_translator.h"
#include "runtime/se_translator.h"

namespace ap = orneh::platform;

struct ExSlotTable {
    std::uint32_t capacity;
    ExSlotTable* retired;  // the table this one replaced
    std::atomic<ExMultiThreadAdminInfo*>* slots;
};

namespace {

const std::uint32_t kInitialSlots = 50;
const unsigned long kDefaultMaxSize = 1048576;  // the standard log file's own limit

std::atomic<ExMultiThreadAdmin*> g_admin{nullptr};
std::recursive_mutex g_createMutex;
std::atomic<bool> g_closing{false};
std::atomic<int> g_activeCalls{0};
thread_local int t_callDepth = 0;
thread_local bool t_tearingDown = false;

// Process-wide log configuration, guarded by the administration's lock.
// Replaced texts are kept until the administration goes away: another thread
// may still be writing the old application name into its log.
struct RetiredText {
    char* text;
    RetiredText* next;
};
OrnEhLogfileStyle g_logStyle = OrnEhLogLimited;
unsigned long g_logMaxSize = kDefaultMaxSize;
char* g_applicationName = nullptr;
char* g_logPath = nullptr;
RetiredText* g_retiredTexts = nullptr;
std::atomic<unsigned long> g_configGeneration{0};

thread_local std::uint32_t t_threadIdOverride = 0;
std::atomic<std::uint32_t> g_mainThreadId{0};

void Retire(char* text) {
    if (!text) return;
    RetiredText* node = ap::New<RetiredText>();
    if (!node) return;  // leaking the text is safer than freeing it under a reader
    node->text = text;
    node->next = g_retiredTexts;
    g_retiredTexts = node;
}

void FreeConfiguration() {
    while (g_retiredTexts) {
        RetiredText* next = g_retiredTexts->next;
        OrnEhDeleteString(g_retiredTexts->text);
        ap::Delete(g_retiredTexts);
        g_retiredTexts = next;
    }
    OrnEhDeleteString(g_applicationName);
    OrnEhDeleteString(g_logPath);
    g_applicationName = nullptr;
    g_logPath = nullptr;
    g_logStyle = OrnEhLogLimited;
    g_logMaxSize = kDefaultMaxSize;
}

ExSlotTable* NewTable(std::uint32_t capacity) {
    std::size_t bytes = sizeof(ExSlotTable) + capacity * sizeof(std::atomic<ExMultiThreadAdminInfo*>);
    void* block = ap::Alloc(bytes);
    if (!block) return nullptr;
    ExSlotTable* table = static_cast<ExSlotTable*>(block);
    table->capacity = capacity;
    table->retired = nullptr;
    table->slots = reinterpret_cast<std::atomic<ExMultiThreadAdminInfo*>*>(table + 1);
    for (std::uint32_t i = 0; i < capacity; ++i) {
        new (&table->slots[i]) std::atomic<ExMultiThreadAdminInfo*>(nullptr);
    }
    return table;
}

void FreeTable(ExSlotTable* table) { ap::Free(table); }

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

}  // namespace

// --- ActiveCall ---------------------------------------------------------------

ActiveCall::ActiveCall() {
    if (t_callDepth++ == 0) g_activeCalls.fetch_add(1);
}

ActiveCall::~ActiveCall() {
    if (--t_callDepth == 0) g_activeCalls.fetch_sub(1);
}

bool LibraryClosing() { return g_closing.load() && !t_tearingDown; }

// --- Thread ids ---------------------------------------------------------------

std::uint32_t GetExThreadId() {
    return t_threadIdOverride ? t_threadIdOverride : ap::CurrentThreadId();
}

void SetExThreadIdOverride(std::uint32_t threadId) { t_threadIdOverride = threadId; }

std::uint32_t GetMainThreadId() { return g_mainThreadId.load(); }

void SetMainThreadId(std::uint32_t threadId) { g_mainThreadId.store(threadId); }

// --- Construction -------------------------------------------------------------

ExMultiThreadAdmin::ExMultiThreadAdmin() {
    ExSlotTable* table = NewTable(kInitialSlots);
    if (!table) {
        ap::LockGuard guard(m_lock);
        ExitWithText("Programm mit exit (-3) abgebrochen: Konstr. ExMultiThreadAdmin ", -3);
    }
    m_table.store(table);
    ExMultiThreadAdminInfo* info = ap::New<ExMultiThreadAdminInfo>();
    if (!info) {
        ap::LockGuard guard(m_lock);
        ExitWithText("Programm mit exit (-4) abgebrochen: Konstr.ExMultiThreadAdmin", -4);
    }
    info->threadId = GetExThreadId();
    info->container = ap::New<ExContainer>();
    info->memoryException = new OrnEhMemory();
    if (info->container) info->container->configGeneration = g_configGeneration.load();
    table->slots[0].store(info);
    if (!info->container || !info->memoryException) {
        ap::LockGuard guard(m_lock);
        ExitWithText("Programm mit exit (-5) abgebrochen: Konstr ExMultiThreadAdmin ", -5);
    }
}

// --- Lookup and registration --------------------------------------------------

ExMultiThreadAdminInfo* ExMultiThreadAdmin::RecordAt(std::uint32_t index) const {
    ExSlotTable* table = m_table.load();
    if (!table || index >= table->capacity) return nullptr;
    return table->slots[index].load();
}

std::uint32_t ExMultiThreadAdmin::FindSlot(std::uint32_t threadId, int create) {
    ExSlotTable* table = m_table.load();
    if (!table) std::exit(-1);
    ExMultiThreadAdminInfo* first = table->slots[0].load();
    if (!first || first->threadId == threadId) return 0;
    for (std::uint32_t i = 1; i < table->capacity; ++i) {
        ExMultiThreadAdminInfo* info = table->slots[i].load();
        if (info && info->threadId == threadId) return i;
    }
    std::uint32_t index = table->capacity + 1;
    if (create) InitThread(index, 1);
    return index;
}

int ExMultiThreadAdmin::FindFreeSlot(std::uint32_t& index) {
    ExSlotTable* table = m_table.load();
    if (!table) return 0;
    for (std::uint32_t i = 0; i < table->capacity; ++i) {
        if (!table->slots[i].load()) {
            index = i;
            return 1;
        }
    }
    return 0;
}

bool ExMultiThreadAdmin::Grow() {
    ExSlotTable* old = m_table.load();
    if (!old) return false;
    ExSlotTable* grown = nullptr;
    std::uint32_t step = 100;
    while (step > 1 && !grown) {
        step /= 2;
        grown = NewTable(old->capacity + step);
    }
    if (!grown) return false;
    for (std::uint32_t i = 0; i < old->capacity; ++i) grown->slots[i].store(old->slots[i].load());
    // Lookups in other threads may still be reading the old table.
    old->retired = m_retired;
    m_retired = old;
    m_table.store(grown);
    return true;
}

ExMultiThreadAdminInfo* ExMultiThreadAdmin::MakeRecord() {
    ExMultiThreadAdminInfo* info = ap::New<ExMultiThreadAdminInfo>();
    if (!info) return nullptr;
    info->threadId = GetExThreadId();
    info->container = ap::New<ExContainer>();
    if (info->container) ApplyLogConfig(info->container);
    info->memoryException = new OrnEhMemory();
    return info;
}

int ExMultiThreadAdmin::InitThread(std::uint32_t& index, int indexGiven) {
    ap::LockGuard guard(m_lock);
    ap::SetSeTranslator(&ExSeTranslator);

    // An index found before the lock was taken may be stale (the table may
    // have grown since, and another thread may hold that slot now), so the
    // thread's slot is looked up again under the lock.
    (void)indexGiven;
    ExSlotTable* table = m_table.load();
    if (!table) return 0;
    index = FindSlot(GetExThreadId(), 0);
    if (index < table->capacity && table->slots[index].load()) return 1;
    if (index >= table->capacity && !FindFreeSlot(index)) {
        index = table->capacity;
        if (!Grow()) return 0;
        table = m_table.load();
    }
    ExMultiThreadAdminInfo* info = MakeRecord();
    if (!info) {
        WriteEmergencyTextAlone("ExMultiThreadAdmin::InitThread: Anlegen ExMultiThreadAdminInfo ");
        return 0;
    }
    table->slots[index].store(info);
    if (info->container && info->memoryException) return 1;
    if (info->container) {
        info->container->WriteEmergencyText("ExMultiThreadAdmin::InitThread: ExhBasis oder ExContainer ");
    } else {
        WriteEmergencyTextAlone("ExMultiThreadAdmin::InitThread: ExhBasis oder ExContainer ");
    }
    return 0;
}

ExMultiThreadAdminInfo* ExMultiThreadAdmin::FindRecord() {
    std::uint32_t id = GetExThreadId();
    std::uint32_t index = FindSlot(id, 0);
    ExMultiThreadAdminInfo* info = RecordAt(index);
    return info && info->threadId == id ? info : nullptr;
}

ExContainer* ExMultiThreadAdmin::GetContainer() {
    std::uint32_t id = GetExThreadId();
    std::uint32_t index = FindSlot(id, 1);
    ExMultiThreadAdminInfo* info = RecordAt(index);
    if (!info || info->threadId != id) {
        ap::LockGuard guard(m_lock);
        ExitWithText("ExMultiThreadAdmin::GetContainer: Exception Handling wurde f\xFCr diesen Thread "
                     "nicht initialisert",
                     -7);
    }
    ExContainer* container = info->container;
    if (container && container->configGeneration != g_configGeneration.load()) {
        ap::LockGuard guard(m_lock);
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

// --- Log configuration --------------------------------------------------------

void ExMultiThreadAdmin::ApplyLogConfig(ExContainer* container) {
    ap::LockGuard guard(m_lock);
    container->SetLogFileInfos(g_logPath, g_logStyle, g_logMaxSize);
    container->configGeneration = g_configGeneration.load();
}

void ExMultiThreadAdmin::SetLogFileInfos(const char* applicationName, OrnEhLogfileStyle style,
                                         unsigned long maxSize, const char* fileName,
                                         const char* subDirectory, const char* directory) {
    ap::LockGuard guard(m_lock);
    g_logStyle = style;
    g_logMaxSize = maxSize;
    if (applicationName) {
        Retire(g_applicationName);
        g_applicationName = OrnEhCopyString(applicationName);
    }
    std::size_t size = 3;
    for (const char* part : {directory, subDirectory, fileName}) {
        if (part) size += std::strlen(part);
    }
    char* path = static_cast<char*>(ap::Alloc(size));
    if (path) {
        path[0] = '\0';
        if (directory) std::strcat(path, directory);
        for (const char* part : {subDirectory, fileName}) {
            if (!part) continue;
            if (path[0]) std::strcat(path, "/");
            std::strcat(path, part);
        }
    }
    Retire(g_logPath);
    g_logPath = path;
    // Each thread applies the new configuration to its own standard log file
    // at its next lookup, so no thread writes into another thread's log file.
    g_configGeneration.fetch_add(1);
}

const char* ExMultiThreadAdmin::GetApplicationName() const { return g_applicationName; }

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
    ExSlotTable* table = m_table.load();
    if (!table) return;
    for (std::uint32_t i = table->capacity; i-- > 0;) {
        ExMultiThreadAdminInfo* info = table->slots[i].load();
        if (!info) continue;
        SetExThreadIdOverride(info->threadId);
        if (info->container) info->container->DeleteOfClass(runtimeClass);
    }
    SetExThreadIdOverride(0);
}

// --- Teardown -----------------------------------------------------------------

ExMultiThreadAdmin::~ExMultiThreadAdmin() { Teardown(); }

void ExMultiThreadAdmin::Teardown() {
    ExSlotTable* table = m_table.load();
    if (table) {
        // First every chain, then the reserve exceptions: a chain handed to
        // another thread may hold a reserve exception that is still another
        // thread's, so none may go before all chains have let go of them.
        for (std::uint32_t i = table->capacity; i-- > 0;) {
            ExMultiThreadAdminInfo* info = table->slots[i].load();
            if (!info || !info->container) continue;
            SetExThreadIdOverride(info->threadId);
            ExContainer* container = info->container;
            if (container->last) container->ReleaseAll();
            OrnEhBasis* current = container->current;
            if (current) {
                container->current = nullptr;
                if (!current->IsKindOf(RUNTIME_CLASS(OrnEhMemory))) delete current;
            }
        }
        for (std::uint32_t i = table->capacity; i-- > 0;) {
            ExMultiThreadAdminInfo* info = table->slots[i].load();
            if (!info) continue;
            SetExThreadIdOverride(info->threadId);
            delete info->memoryException;
            info->memoryException = nullptr;
            ap::Delete(info->container);
            info->container = nullptr;
            table->slots[i].store(nullptr);
            ap::Delete(info);
        }
    }
    SetExThreadIdOverride(0);
    m_table.store(nullptr);
    FreeTable(table);
    while (m_retired) {
        ExSlotTable* next = m_retired->retired;
        FreeTable(m_retired);
        m_retired = next;
    }
    FreeConfiguration();
}

// --- The process-wide administration ------------------------------------------

ExMultiThreadAdmin* PeekAdmin() { return g_admin.load(); }

ExMultiThreadAdmin* GetAdmin() {
    if (LibraryClosing()) return nullptr;
    ExMultiThreadAdmin* admin = g_admin.load();
    if (admin) return admin;
    std::lock_guard<std::recursive_mutex> guard(g_createMutex);
    admin = g_admin.load();
    if (admin || LibraryClosing()) return admin;
    void* block = ap::Alloc(sizeof(ExMultiThreadAdmin));
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
    std::lock_guard<std::recursive_mutex> guard(g_createMutex);
    g_closing.store(true);
    // Wait (bounded) until no other thread is inside the library. A thread
    // that stays inside keeps using its data, so then nothing is freed: the
    // process is going away anyway.
    int own = t_callDepth > 0 ? 1 : 0;
    for (int waited = 0; g_activeCalls.load() > own; ++waited) {
        if (waited >= 1000) return;
        ap::SleepMilliseconds(1);
    }
    ExMultiThreadAdmin* admin = g_admin.load();
    if (!admin) return;
    t_tearingDown = true;
    admin->~ExMultiThreadAdmin();
    g_admin.store(nullptr);
    ap::Free(admin);
    t_tearingDown = false;
}
