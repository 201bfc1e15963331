// ExContainer: the chain operations of a thread's container (appending,
// releasing, deleting the exceptions of one class, handing chains between
// threads) and its standard log file. All link changes go through
// core/chain_links.
#include "core/container.h"

#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "base/contained.h"
#include "core/basis_info.h"
#include "core/chain_links.h"
#include "journal/plain_entry.h"
#include "runtime/admin.h"

namespace links = orneh::core::links;
namespace ap = orneh::platform;

namespace {

// Reserve exceptions belong to the administration: chain operations reset or
// unlink them but never delete them. An application's own OrnEhMemory is an
// exception like any other.
bool IsReserve(const OrnEhBasis* e) {
    const OrnEhBasisInfo* info = orneh::core::Info(e);
    return info && info->reserve;
}

}  // namespace

using orneh::core::Info;

// Exceptions a chain operation let go of, deleted newest first when the
// object goes: it is declared before the lock, so that the lock is released
// by then.
class ExContainer::Doomed {
public:
    Doomed() = default;
    ~Doomed() {
        if (!m_chain) return;
        orneh::InLibrary::HoldOffCancellation();  // destructors are application code
        while (m_chain) delete links::PopNewest(m_chain);
    }
    Doomed(const Doomed&) = delete;
    Doomed& operator=(const Doomed&) = delete;

    // A detached chain (or one detached exception), released and ownerless.
    void Add(OrnEhBasis* newest) { links::LinkChain(m_chain, newest); }

private:
    OrnEhBasis* m_chain = nullptr;
};

ExContainer::ExContainer() = default;

ExContainer::~ExContainer() {
    ReleaseAll();
    ReleaseLeftChains();
}

void ExContainer::SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize) {
    logFile.SetFileName(path);
    logFile.SetStyle(style);
    logFile.SetMaxSize(maxSize);
}

namespace {

// The emergency text as the log file has it, for the journal's copy.
void EmergencyRecord(ap::RecordSink& sink, const void* text) {
    sink.Text(static_cast<const char*>(text));
    sink.Text("\r\n\r\n");
}

}  // namespace

void ExContainer::WriteEmergencyLine(OrnEhLogFile& log, const char* text) {
    log.Open();
    log << text << "\r\n";
    log.NewLine(1);
    log.Close();
    if (text) orneh::journal::SendPlainRecord(orneh::journal::kEmergencyKind, text, GetExThreadId(), &EmergencyRecord, text);
}

OrnEhBasis* ExContainer::GetLast() {
    ap::MutexLock lock(m_lock);
    return last;
}

OrnEhBasis* ExContainer::GetCurrent() {
    ap::MutexLock lock(m_lock);
    return current;
}

OrnEhBasis** ExContainer::ChainOf(const OrnEhBasis* e) {
    if (links::Contains(last, e)) return &last;
    for (OrnEhBasis** slot = &left; *slot; slot = &Info(*slot)->nextLeft) {
        if (links::Contains(*slot, e)) return slot;
    }
    return nullptr;
}

void ExContainer::Relink(OrnEhBasis** slot, OrnEhBasis* newest) {
    OrnEhBasis* head = *slot;
    if (newest == head) return;
    OrnEhBasis* rest = head ? Info(head)->nextLeft : nullptr;
    if (head) Info(head)->nextLeft = nullptr;
    if (newest) Info(newest)->nextLeft = rest;
    *slot = newest ? newest : rest;
}

bool ExContainer::TakeOut(OrnEhBasis* e) {
    OrnEhBasis** slot = ChainOf(e);
    if (!slot) return false;
    OrnEhBasis* chain = *slot;
    links::CutBelowNewer(chain, e);
    Relink(slot, chain);
    for (OrnEhBasis* walk = e; walk; walk = Info(walk)->prev) {
        if (walk == current) current = nullptr;
        Info(walk)->owner = nullptr;
    }
    return true;
}

void ExContainer::DisposeCurrent(OrnEhBasis* keep, Doomed& doomed) {
    OrnEhBasis* previous = current;
    // current is either last or detached (every operation that takes it out
    // of the chain either keeps it current detached or clears current).
    if (!previous || previous == last || previous == keep) return;
    OrnEhBasisInfo* info = Info(previous);
    if (IsReserve(previous)) {
        info->released = true;
        static_cast<OrnEhMemory*>(previous)->SetSize(0);
    } else {
        info->owner = nullptr;
        doomed.Add(previous);
    }
    current = nullptr;
}

void ExContainer::Append(OrnEhBasis* e) {
    OrnEhBasisInfo* info = Info(e);
    if (!info) return;
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    DisposeCurrent(e, doomed);
    current = e;
    if (e == last) {
        info->owner = this;
        return;
    }
    if (info->prev || info->next) {
        if (!links::Contains(last, e)) {
            // One of a chain that is nobody's (taken out of its thread), or
            // that an ended thread of this record left: it comes with the
            // exceptions older than it.
            TakeOut(e);
            Adopt(e);
            return;
        }
        // In the chain already (a reserve exception armed a second time): it
        // moves to the end instead of being linked twice.
        links::Unlink(last, e);
    }
    info->owner = this;
    links::LinkNewest(last, e);
}

// Releases a chain that is no longer reachable from last; what is not kept
// (the current exception, reserve exceptions) is deleted after the lock,
// from the newest to the oldest, so that each destructor runs while the
// older ones still exist.
void ExContainer::ReleaseDetached(OrnEhBasis* newest, Doomed& doomed) {
    OrnEhBasis* rest = newest;
    for (OrnEhBasis* e = newest; e;) {
        OrnEhBasisInfo* info = Info(e);
        if (!info) break;
        OrnEhBasis* older = info->prev;
        info->released = true;
        if (e != current) info->owner = nullptr;
        // The current one's deletion waits for the next Append.
        if (e == current || info->reserve) links::Unlink(rest, e);
        e = older;
    }
    if (rest) doomed.Add(rest);
}

void ExContainer::ReleaseAll() {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    OrnEhBasis* chain = last;
    last = nullptr;
    ReleaseDetached(chain, doomed);
}

void ExContainer::ReleaseLeftChains() {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    while (left) {
        OrnEhBasis* chain = left;
        left = Info(chain)->nextLeft;
        Info(chain)->nextLeft = nullptr;
        ReleaseDetached(chain, doomed);
    }
}

void ExContainer::DeleteOfClassIn(OrnEhBasis*& chain, const CRuntimeClass* runtimeClass, Doomed& doomed) {
    OrnEhBasis* e = chain ? chain : (&chain == &last ? current : nullptr);
    while (e) {
        OrnEhBasisInfo* info = Info(e);
        if (!info) return;
        OrnEhBasis* older = info->prev;
        if (e->IsKindOf(runtimeClass)) {
            info->released = true;
            info->owner = nullptr;
            if (e == current) current = nullptr;
            links::Unlink(chain, e);
            if (!IsReserve(e)) doomed.Add(e);
        }
        e = older;
    }
}

void ExContainer::DeleteOfClass(const CRuntimeClass* runtimeClass) {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    DeleteOfClassIn(last, runtimeClass, doomed);
    for (OrnEhBasis** slot = &left; *slot;) {
        OrnEhBasis* chain = *slot;
        DeleteOfClassIn(chain, runtimeClass, doomed);
        Relink(slot, chain);
        if (chain) slot = &Info(chain)->nextLeft;
    }
}

OrnEhBasis* ExContainer::TakeChain() {
    ap::MutexLock lock(m_lock);
    OrnEhBasis* newest = last;
    // A released exception still waiting for its deferred deletion is not
    // part of the chain handed out: the container keeps it.
    for (OrnEhBasis* e = newest; e; e = Info(e)->prev) {
        if (e == current) current = nullptr;
        Info(e)->owner = nullptr;
    }
    last = nullptr;
    return newest;
}

void ExContainer::Adopt(OrnEhBasis* newest) {
    for (OrnEhBasis* e = newest; e; e = Info(e)->prev) Info(e)->owner = this;
    links::LinkChain(last, newest);
    current = newest;
}

void ExContainer::AttachChain(OrnEhBasis* newest) {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    // A chain that is this thread's own already stays as it is.
    if (!Info(newest) || links::Contains(last, newest)) return;
    TakeOut(newest);
    DisposeCurrent(newest, doomed);
    Adopt(newest);
}

void ExContainer::Surrender(OrnEhBasis* e) {
    ap::MutexLock lock(m_lock);
    OrnEhBasisInfo* info = Info(e);
    if (!info || info->owner != this) return;
    if (!TakeOut(e) && e == current) {
        current = nullptr;
        info->owner = nullptr;
    }
}

bool ExContainer::CutAtDying(OrnEhBasis* e) {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    OrnEhBasis** slot = ChainOf(e);
    if (!slot) return false;
    OrnEhBasis* chain = *slot;
    OrnEhBasisInfo* info = Info(e);
    OrnEhBasis* older = info->prev;
    links::Unlink(chain, e);
    info->owner = nullptr;
    if (e == current) current = nullptr;
    // What was older than e is released; the newer exceptions stay the chain.
    if (older) links::CutBelowNewer(chain, older);
    Relink(slot, chain);
    if (older) ReleaseDetached(older, doomed);
    return true;
}

void ExContainer::ForgetCurrent(OrnEhBasis* e) {
    ap::MutexLock lock(m_lock);
    if (current != e) return;
    current = nullptr;
    if (OrnEhBasisInfo* info = Info(e)) info->owner = nullptr;
}

void ExContainer::ThreadEnded(OrnEhBasis* reserve) {
    Doomed doomed;
    ap::MutexLock lock(m_lock);
    if (OrnEhBasisInfo* info = Info(reserve)) {
        if (links::Contains(last, reserve)) links::Unlink(last, reserve);
        info->released = true;
        info->owner = nullptr;
        static_cast<OrnEhMemory*>(reserve)->SetSize(0);
    }
    if (current && current != last && current != reserve) {
        // Released; its deletion waited for an append that will not come.
        Info(current)->owner = nullptr;
        if (!IsReserve(current)) doomed.Add(current);
    }
    current = nullptr;
    if (last) {
        Info(last)->nextLeft = left;
        left = last;
        last = nullptr;
    }
}

void ExContainer::AbandonInChild() {
    m_lock.ResetInChild();
    ap::MutexLock lock(m_lock);
    last = nullptr;
    current = nullptr;
    left = nullptr;
}

void ExContainer::LockForFork() { m_lock.Lock(); }

void ExContainer::UnlockAfterFork() { m_lock.Unlock(); }

void ExContainer::ResetLockInChild() { m_lock.ResetInChild(); }
