// Linking exceptions into the calling thread's chain and walking chains.
#include "OrnEhBasis.h"
#include "core/basis_info.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

using orneh::core::Info;

namespace {

enum class Direction { Newer, Older };

// The first candidate from start on that is of the class; a match without a
// record, or a non-matching candidate without a record, ends with null.
OrnEhBasis* FindOfClass(OrnEhBasis* start, const CRuntimeClass* runtimeClass, Direction direction) {
    OrnEhBasis* candidate = start;
    orneh::ContainedBrief([&] {
        while (candidate) {
            OrnEhBasisInfo* info = Info(candidate);
            if (candidate->IsKindOf(runtimeClass) || !info) {
                if (!info) candidate = nullptr;
                return;
            }
            candidate = direction == Direction::Newer ? info->next : info->prev;
        }
    });
    return candidate;
}

}  // namespace

void OrnEhBasis::Push(OrnEhBasis* e) {
    orneh::ContainedBrief([e] {
        ExContainer* container = GetCurrentContainer();
        OrnEhBasisInfo* info = Info(e);
        if (!container || !info) return;
        info->released = false;
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
    });
}

void OrnEhBasis::Release() {
    orneh::ContainedBrief([] {
        if (ExContainer* container = GetCurrentContainer()) container->ReleaseAll();
    });
}

OrnEhBasis* OrnEhBasis::GetLast() {
    return orneh::ContainedBrief(nullptr, []() -> OrnEhBasis* {
        ExContainer* container = GetCurrentContainer();
        return container ? container->GetLast() : nullptr;
    });
}

OrnEhBasis* OrnEhBasis::GetFirst() const {
    const OrnEhBasis* candidate = this;
    orneh::ContainedBrief([&candidate] {
        while (OrnEhBasisInfo* info = Info(candidate)) {
            if (!info->prev) break;
            candidate = info->prev;
        }
    });
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
