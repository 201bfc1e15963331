// OrnEhBasis: construction, destruction, numbers, hooks of the base class,
// taking over caught exceptions, and the check before an exception goes.
#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhMFC.h"
#include "OrnEhParam.h"
#include "core/basis_info.h"
#include "platform/alloc.h"
#include "runtime/admin.h"

namespace ap = orneh::platform;

IMPLEMENT_DYNAMIC(OrnEhBasis, CException)

namespace {

OrnEhBasisInfo* NewRecord() {
    OrnEhBasisInfo* info = static_cast<OrnEhBasisInfo*>(ap::AllocZeroed(sizeof(OrnEhBasisInfo)));
    if (!info) return nullptr;
    info->threadId = GetExThreadId();
    info->released = 1;
    return info;
}

// True when e is linked into the chain that ends at last.
bool InChain(const OrnEhBasis* e, OrnEhBasis* last) {
    for (OrnEhBasis* walk = last; walk;) {
        if (walk == e) return true;
        OrnEhBasisInfo* info = OrnEhBasisAccess::Info(walk);
        walk = info ? info->prev : nullptr;
    }
    return false;
}

}  // namespace

// --- Construction and destruction ---------------------------------------------

OrnEhBasis::OrnEhBasis() : m_info(nullptr) {
    try {
        ActiveCall active;
        m_info = NewRecord();
    } catch (...) {
    }
}

OrnEhBasis::OrnEhBasis(const char* const source, const char* const className,
                       const char* const method, const char* const cause, unsigned long errorNo,
                       unsigned long errorTextNo, unsigned long captionNo,
                       CException* prevException, int autoDelete, unsigned long extraNo, int push)
    : m_info(nullptr) {
    Construct(source, className, method, cause, errorNo, errorTextNo, nullptr, captionNo,
              prevException, autoDelete, extraNo, push);
}

OrnEhBasis::OrnEhBasis(const char* const source, const char* const className,
                       const char* const method, const char* const cause, unsigned long errorNo,
                       unsigned long errorTextNo, const OrnEhParam& params,
                       unsigned long captionNo, CException* prevException, int autoDelete,
                       unsigned long extraNo, int push)
    : m_info(nullptr) {
    Construct(source, className, method, cause, errorNo, errorTextNo, &params, captionNo,
              prevException, autoDelete, extraNo, push);
}

// Not inlined: a stack taken here leaves out this frame and the constructor's.
__attribute__((noinline))
void OrnEhBasis::Construct(const char* source, const char* className, const char* method,
                           const char* cause, unsigned long errorNo, unsigned long errorTextNo,
                           const OrnEhParam* params, unsigned long captionNo,
                           CException* prevException, int autoDelete, unsigned long extraNo,
                           int push) {
    try {
        ActiveCall active;
        m_info = NewRecord();
        if (m_info) {
            m_info->cause = OrnEhCopyString(cause);
            m_info->source = OrnEhCopyString(source);
            m_info->errorNo = errorNo;
            m_info->method = OrnEhCopyString(method);
            m_info->className = OrnEhCopyString(className);
            m_info->errorTextNo = errorTextNo;
            m_info->captionNo = captionNo;
            m_info->extraNo = extraNo;
            if (params) m_info->params = new OrnEhParam(*params);
        }
        orneh::core::AttachConstructionStack(this, 2);
        if (prevException) AdoptException(prevException, autoDelete);
        if (push) Push(this);
    } catch (...) {
    }
}

OrnEhBasis::~OrnEhBasis() {
    OrnEhBasisInfo* info = m_info;
    m_info = nullptr;
    if (!info) return;
    try {
        OrnEhDeleteString(info->cause);
        OrnEhDeleteString(info->source);
        OrnEhDeleteString(info->method);
        OrnEhDeleteString(info->className);
        delete info->params;
    } catch (...) {
    }
    ap::Free(info->stack);
    ap::Free(info);
}

void OrnEhBasis::CheckBeforeDelete() {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        OrnEhBasisInfo* info = m_info;
        if (!info) return;
        if (info->released == 0) {
            // Still held by a chain: nobody reported it, so it is logged now.
            OrnEhBasis::Log(nullptr, nullptr, 1);
            bool inChain = container && InChain(this, container->last);
            OrnEhBasis* older = info->prev;
            OrnEhBasis* newer = info->next;
            if (container && inChain) container->current = nullptr;
            if (OrnEhBasisInfo* o = OrnEhBasisAccess::Info(older)) o->next = nullptr;
            // Newer exceptions keep no link to this one; they stay the chain.
            if (OrnEhBasisInfo* n = OrnEhBasisAccess::Info(newer)) n->prev = nullptr;
            info->prev = nullptr;
            info->next = nullptr;
            if (inChain) {
                OrnEhBasis* newest = container->last;
                container->last = older;
                container->ReleaseAll();
                if (newer) container->last = newest;
            } else if (newer) {
                // Not this thread's chain (one taken out of its thread): the
                // two neighbours close the gap.
                if (OrnEhBasisInfo* n = OrnEhBasisAccess::Info(newer)) n->prev = older;
                if (OrnEhBasisInfo* o = OrnEhBasisAccess::Info(older)) o->next = newer;
            }
        } else if (container && container->current == this) {
            if (OrnEhBasisInfo* o = OrnEhBasisAccess::Info(info->prev)) o->next = nullptr;
            container->current = nullptr;
        }
    } catch (...) {
    }
}

// --- Numbers and hooks ----------------------------------------------------------

unsigned long OrnEhBasis::GetErrorTextNo() const { return m_info ? m_info->errorTextNo : 0; }

void OrnEhBasis::SetErrorTextNo(unsigned long errorTextNo) {
    if (m_info) m_info->errorTextNo = errorTextNo;
}

unsigned long OrnEhBasis::GetErrorNo() const { return m_info ? m_info->errorNo : 0; }

void OrnEhBasis::SetErrorNo(unsigned long errorNo) {
    if (m_info) m_info->errorNo = errorNo;
}

void OrnEhBasis::GetApplication(char* buffer, unsigned long size) const {
    if (buffer && size > 0) buffer[0] = '\0';
}

void OrnEhBasis::GetLogFileInfos(char*, OrnEhLogfileStyle&, unsigned long&) const {}

// --- Memory ---------------------------------------------------------------------

void* OrnEhBasis::operator new(std::size_t size) noexcept { return ap::Alloc(size); }

void* OrnEhBasis::operator new(std::size_t size, char*, int) noexcept { return ap::Alloc(size); }

void OrnEhBasis::operator delete(void* p) noexcept { ap::Free(p); }

void OrnEhBasis::operator delete(void* p, char*, int) noexcept { ap::Free(p); }

// --- Taking over a caught exception ---------------------------------------------

void OrnEhBasis::AdoptException(CException* exception, int autoDelete) {
    if (!exception) return;
    ActiveCall active;
    if (exception->IsKindOf(RUNTIME_CLASS(OrnEhBasis))) {
        OrnEhBasis* e = static_cast<OrnEhBasis*>(exception);
        for (OrnEhBasis* walk = GetLast(); walk; walk = walk->GetPrev()) {
            if (walk == e) return;
        }
        Push(e);
    } else if (exception->IsKindOf(RUNTIME_CLASS(CMemoryException))) {
        if (ExMultiThreadAdmin* admin = GetAdmin()) admin->PrepareMemoryException(0);
    } else {
        // The wrapper links itself into the chain; the chain owns it.
        new OrnEhMFC(exception, autoDelete, 1);
    }
}
