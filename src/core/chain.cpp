// Linking exceptions into the calling thread's chain and walking chains.
#include "OrnEhBasis.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

namespace {

OrnEhBasisInfo* Info(const OrnEhBasis* e) { return OrnEhBasisAccess::Info(e); }

enum class Direction { Newer, Older };

// The first candidate from start on that is of the class; a match without a
// record, or a non-matching candidate without a record, ends with null.
OrnEhBasis* FindOfClass(OrnEhBasis* start, const CRuntimeClass* runtimeClass, Direction direction) {
    OrnEhBasis* candidate = start;
    try {
        while (candidate) {
            OrnEhBasisInfo* info = Info(candidate);
            if (candidate->IsKindOf(runtimeClass)) return info ? candidate : nullptr;
            if (!info) return nullptr;
            candidate = direction == Direction::Newer ? info->next : info->prev;
        }
    } catch (...) {
    }
    return candidate;
}

}  // namespace

void OrnEhBasis::Push(OrnEhBasis* e) {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        OrnEhBasisInfo* info = Info(e);
        if (!container || !info) return;
        info->released = 0;
        ExContainer* owner = info->owner;
        if (owner && owner != container) {
            // Caught in this thread but still held by another thread's chain
            // (carried here by std::exception_ptr, say): that chain gives it
            // up, with its causes, before this one takes it.
            owner->Surrender(e);
            container->AttachChain(e);
        } else {
            container->Append(e);
        }
    } catch (...) {
    }
}

void OrnEhBasis::Release() {
    try {
        ActiveCall active;
        if (ExContainer* container = GetCurrentContainer()) container->ReleaseAll();
    } catch (...) {
    }
}

OrnEhBasis* OrnEhBasis::GetLast() {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        return container ? container->GetLast() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

OrnEhBasis* OrnEhBasis::GetFirst() const {
    const OrnEhBasis* candidate = this;
    try {
        while (OrnEhBasisInfo* info = Info(candidate)) {
            if (!info->prev) break;
            candidate = info->prev;
        }
    } catch (...) {
    }
    return const_cast<OrnEhBasis*>(candidate);
}

OrnEhBasis* OrnEhBasis::GetNext() const { return m_info ? m_info->next : nullptr; }

OrnEhBasis* OrnEhBasis::GetPrev() const { return m_info ? m_info->prev : nullptr; }

OrnEhBasis* OrnEhBasis::GetFirst(const CRuntimeClass* runtimeClass) const {
    return FindOfClass(GetFirst(), runtimeClass, Direction::Newer);
}

OrnEhBasis* OrnEhBasis::GetLast(const CRuntimeClass* runtimeClass) const {
    return FindOfClass(GetLast(), runtimeClass, Direction::Older);
}

OrnEhBasis* OrnEhBasis::GetNext(const CRuntimeClass* runtimeClass) const {
    return FindOfClass(GetNext(), runtimeClass, Direction::Newer);
}

OrnEhBasis* OrnEhBasis::GetPrev(const CRuntimeClass* runtimeClass) const {
    return FindOfClass(GetPrev(), runtimeClass, Direction::Older);
}
