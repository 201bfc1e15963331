// The chain operations of a thread's container: appending, releasing, and
// deleting the exceptions of one class.
#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

namespace {

// Reserve exceptions belong to the administration: chain operations reset or
// unlink them but never delete them.
bool IsReserve(const OrnEhBasis* e) { return e->IsKindOf(RUNTIME_CLASS(OrnEhMemory)); }

OrnEhBasisInfo* Info(const OrnEhBasis* e) { return OrnEhBasisAccess::Info(e); }

void ClearLinks(OrnEhBasisInfo* info) {
    info->next = nullptr;
    info->prev = nullptr;
}

}  // namespace

void ExContainer::Append(OrnEhBasis* e) {
    if (!e) return;
    if (current && current != last && current != e) {
        OrnEhBasis* previous = current;
        if (IsReserve(previous)) {
            if (OrnEhBasisInfo* info = Info(previous)) info->released = 1;
            static_cast<OrnEhMemory*>(previous)->SetSize(0);
        } else {
            delete previous;  // its CheckBeforeDelete makes the container forget it
        }
    }
    current = e;
    OrnEhBasisInfo* info = Info(e);
    if (!info) return;

    // An exception that is in the chain already (a reserve exception armed a
    // second time) moves to the end instead of being linked twice, which
    // would make the chain a loop. Only a linked exception can be there.
    bool linked = e == last || info->prev || info->next;
    for (OrnEhBasis* walk = linked ? last : nullptr; walk; walk = Info(walk) ? Info(walk)->prev : nullptr) {
        if (walk != e) continue;
        if (e == last) return;
        if (info->prev) Info(info->prev)->next = info->next;
        if (info->next) Info(info->next)->prev = info->prev;
        break;
    }

    info->prev = last;
    info->next = nullptr;
    if (last) {
        if (OrnEhBasisInfo* lastInfo = Info(last)) lastInfo->next = e;
    }
    last = e;
}

void ExContainer::ReleaseAll() {
    while (last) {
        OrnEhBasis* e = last;
        OrnEhBasisInfo* info = Info(e);
        if (!info) {
            last = nullptr;
            break;
        }
        last = info->prev;
        if (last) {
            if (OrnEhBasisInfo* older = Info(last)) older->next = nullptr;
        }
        info->released = 1;
        if (e == current || IsReserve(e)) {
            ClearLinks(info);
        } else {
            delete e;
        }
    }
}

void ExContainer::DeleteOfClass(const CRuntimeClass* runtimeClass) {
    OrnEhBasis* e = last ? last : current;
    while (e) {
        OrnEhBasisInfo* info = Info(e);
        if (!info) return;
        OrnEhBasis* older = info->prev;
        if (e->IsKindOf(runtimeClass)) {
            info->released = 1;
            if (e == current) current = nullptr;
            if (info->prev) {
                if (OrnEhBasisInfo* o = Info(info->prev)) o->next = info->next;
            }
            if (info->next) {
                if (OrnEhBasisInfo* n = Info(info->next)) n->prev = info->prev;
            }
            if (e == last) last = info->prev;
            ClearLinks(info);
            if (!IsReserve(e)) delete e;
        }
        e = older;
    }
}
