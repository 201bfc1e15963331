// ExContainer: the chain operations of a thread's container (appending,
// releasing, deleting the exceptions of one class, handing chains between
// threads) and its standard log file. All link changes go through
// core/chain_links.
#include "core/container.h"

#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "core/chain_links.h"

namespace links = orneh::core::links;
namespace ap = orneh::platform;

namespace {

// Reserve exceptions belong to the administration: chain operations reset or
// unlink them but never delete them.
bool IsReserve(const OrnEhBasis* e) { return e->IsKindOf(RUNTIME_CLASS(OrnEhMemory)); }

}  // namespace

using orneh::core::Info;

ExContainer::ExContainer() = default;

ExContainer::~ExContainer() { ReleaseAll(); }

void ExContainer::SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize) {
    logFile.SetFileName(path);
    logFile.SetStyle(style);
    logFile.SetMaxSize(maxSize);
}

void ExContainer::WriteEmergencyLine(OrnEhLogFile& log, const char* text) {
    log.Open();
    log << text << "\r\n";
    log.NewLine(1);
    log.Close();
}

OrnEhBasis* ExContainer::GetLast() {
    ap::MutexLock lock(m_lock);
    return last;
}

OrnEhBasis* ExContainer::GetCurrent() {
    ap::MutexLock lock(m_lock);
    return current;
}

void ExContainer::DisposeCurrent(OrnEhBasis* keep) {
    OrnEhBasis* previous = current;
    // current is either last or detached (every operation that takes it out
    // of the chain either keeps it current detached or clears current).
    if (!previous || previous == last || previous == keep) return;
    if (IsReserve(previous)) {
        if (OrnEhBasisInfo* info = Info(previous)) info->released = 1;
        static_cast<OrnEhMemory*>(previous)->SetSize(0);
    } else {
        delete previous;  // its CheckBeforeDelete makes the container forget it
    }
}

void ExContainer::Append(OrnEhBasis* e) {
    if (!e) return;
    ap::MutexLock lock(m_lock);
    DisposeCurrent(e);
    current = e;
    OrnEhBasisInfo* info = Info(e);
    if (!info) return;
    info->owner = this;
    if (e == last) return;
    if (info->prev || info->next) {
        if (!links::Contains(last, e)) {
            // One of a chain that is nobody's (taken out of its thread): it
            // comes with the exceptions older than it.
            Adopt(e);
            return;
        }
        // In the chain already (a reserve exception armed a second time): it
        // moves to the end instead of being linked twice.
        links::Unlink(last, e);
    }
    links::LinkNewest(last, e);
}

// Releases a chain that is no longer reachable from last: from the newest to
// the oldest, so that each destructor runs while the older ones still exist.
void ExContainer::ReleaseDetached(OrnEhBasis* newest) {
    OrnEhBasis* rest = newest;
    while (rest) {
        OrnEhBasis* e = links::PopNewest(rest);
        OrnEhBasisInfo* info = Info(e);
        if (!info) break;
        info->released = 1;
        if (e == current) continue;  // its deletion waits for the next Append
        info->owner = nullptr;
        if (!IsReserve(e)) delete e;
    }
}

void ExContainer::ReleaseAll() {
    ap::MutexLock lock(m_lock);
    OrnEhBasis* chain = last;
    last = nullptr;
    ReleaseDetached(chain);
}

void ExContainer::DeleteOfClass(const CRuntimeClass* runtimeClass) {
    ap::MutexLock lock(m_lock);
    OrnEhBasis* e = last ? last : current;
    while (e) {
        OrnEhBasisInfo* info = Info(e);
        if (!info) return;
        OrnEhBasis* older = info->prev;
        if (e->IsKindOf(runtimeClass)) {
            info->released = 1;
            info->owner = nullptr;
            if (e == current) current = nullptr;
            links::Unlink(last, e);
            if (!IsReserve(e)) delete e;
        }
        e = older;
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
    ap::MutexLock lock(m_lock);
    // A chain that is this thread's own already stays as it is.
    if (!Info(newest) || links::Contains(last, newest)) return;
    DisposeCurrent(newest);
    Adopt(newest);
}

void ExContainer::Surrender(OrnEhBasis* e) {
    ap::MutexLock lock(m_lock);
    OrnEhBasisInfo* info = Info(e);
    if (!info || info->owner != this) return;
    if (links::Contains(last, e)) {
        links::CutBelowNewer(last, e);
        for (OrnEhBasis* walk = e; walk; walk = Info(walk)->prev) {
            if (walk == current) current = nullptr;
            Info(walk)->owner = nullptr;
        }
    } else if (e == current) {
        current = nullptr;
        info->owner = nullptr;
    }
}

bool ExContainer::CutAtDying(OrnEhBasis* e) {
    ap::MutexLock lock(m_lock);
    if (!links::Contains(last, e)) return false;
    OrnEhBasisInfo* info = Info(e);
    OrnEhBasis* older = info->prev;
    links::Unlink(last, e);
    info->owner = nullptr;
    if (e == current) current = nullptr;
    // What was older than e is released; the newer exceptions stay.
    if (older) {
        links::CutBelowNewer(last, older);
        ReleaseDetached(older);
    }
    return true;
}

void ExContainer::ForgetCurrent(OrnEhBasis* e) {
    ap::MutexLock lock(m_lock);
    if (current != e) return;
    current = nullptr;
    if (OrnEhBasisInfo* info = Info(e)) info->owner = nullptr;
}

void ExContainer::AbandonInChild() {
    m_lock.ResetInChild();
    ap::MutexLock lock(m_lock);
    last = nullptr;
    current = nullptr;
}
