// OrnEhBasis: construction, destruction, numbers, hooks of the base class,
// taking over caught exceptions, and the check before an exception goes.
#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhMFC.h"
#include "OrnEhParam.h"
#include "core/basis_info.h"
#include "core/chain_links.h"
#include "core/log_record.h"
#include "base/alloc.h"
#include "base/hot_tls.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

namespace base = orneh::base;
namespace links = orneh::core::links;

IMPLEMENT_DYNAMIC(OrnEhBasis, CException)

namespace {

std::size_t Aligned(std::size_t size) {
    const std::size_t align = alignof(void*);
    return (size + align - 1) / align * align;
}

// The record in the object's block. operator new makes the object's block
// with room behind the object for the record that the constructor makes
// next, and names it here; the constructor takes the room when the object
// it constructs is the one in that block (a base at offset 0, made by this
// operator new just before) and the record fits. Anything else (an object
// on the stack, a second new in the arguments of the first, a base that is
// not the first, a record larger than the room) gets a block of its own.
// The room is as large as the thread's last record, so that exceptions of
// one kind, made again and again, take one block each.
struct ObjectBlock {
    void* block;
    char* room;
    std::size_t roomSize;
};
const std::size_t kMinRoom = 128, kMaxRoom = 1024;
thread_local ObjectBlock t_newBlock ORNEH_HOT_TLS = {nullptr, nullptr, 0};
thread_local std::size_t t_roomHint ORNEH_HOT_TLS = 256;

void* NewObjectBlock(std::size_t size) {
    const std::size_t at = Aligned(size), room = t_roomHint;
    void* block = base::Alloc(at + room);
    if (block) t_newBlock = {block, static_cast<char*>(block) + at, room};
    return block;
}

void DeleteObjectBlock(void* block) {
    if (block && block == t_newBlock.block) t_newBlock.block = nullptr;
    base::Free(block);
}

// size bytes for the record of the object at self: the room behind it, or
// a block of its own (inObjectBlock tells which); null when neither.
void* RecordBlock(const void* self, std::size_t size, bool* inObjectBlock) {
    *inObjectBlock = false;
    if (self && self == t_newBlock.block) {
        const ObjectBlock taken = t_newBlock;
        t_newBlock.block = nullptr;
        std::size_t hint = (size + 15) / 16 * 16;
        t_roomHint = hint < kMinRoom ? kMinRoom : hint > kMaxRoom ? kMaxRoom : hint;
        if (size <= taken.roomSize) {
            *inObjectBlock = true;
            return taken.room;
        }
    }
    return base::Alloc(size);
}

// The record alone (an exception made without texts), its texts unset.
// Every field is stored once, without a fill of the block before: a byte
// read back from such a fill waits for the whole of it.
OrnEhBasisInfo* NewRecord(const void* self, std::size_t size = sizeof(OrnEhBasisInfo), std::uint8_t texts = 0) {
    bool inObjectBlock = false;
    OrnEhBasisInfo* info = static_cast<OrnEhBasisInfo*>(RecordBlock(self, size, &inObjectBlock));
    if (!info) return nullptr;
    info->inObjectBlock = inObjectBlock;
    info->next = nullptr;
    info->prev = nullptr;
    info->owner = nullptr;
    info->params = nullptr;
    info->stack = nullptr;
    info->nextLeft = nullptr;
    info->errorNo = 0;
    info->errorTextNo = 0;
    info->captionNo = 0;
    info->extraNo = 0;
    info->threadId = GetExThreadId();
    info->released = true;
    info->reserve = false;
    info->texts = texts;
    return info;
}

// The record with its texts and the parameters' copy in one block; null
// when the block cannot be had.
OrnEhBasisInfo* NewRecord(const void* self, const char* const (&texts)[4], const OrnEhParam* params) {
    std::size_t lengths[4];
    std::size_t size = sizeof(OrnEhBasisInfo);
    unsigned present = 0;
    for (unsigned i = 0; i < 4; ++i) {
        lengths[i] = texts[i] ? std::strlen(texts[i]) + 1 : 0;
        if (texts[i]) present |= 1u << i;
        size += lengths[i];
    }
    std::size_t paramsAt = 0;
    if (params) {
        paramsAt = Aligned(size);
        size = paramsAt + OrnEhParam::PlacedSize(*params);
    }
    OrnEhBasisInfo* info = NewRecord(self, size, static_cast<std::uint8_t>(present));
    if (!info) return nullptr;
    char* at = reinterpret_cast<char*>(info + 1);
    for (int i = 0; i < 4; ++i) {
        if (!texts[i]) continue;
        std::memcpy(at, texts[i], lengths[i]);
        at += lengths[i];
    }
    if (params) info->params = OrnEhParam::PlaceCopy(reinterpret_cast<char*>(info) + paramsAt, *params);
    return info;
}

}  // namespace

// --- Construction and destruction ---------------------------------------------

OrnEhBasis::OrnEhBasis() : m_info(nullptr) {
    orneh::ContainedBrief([this] { m_info = NewRecord(this); });
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
    orneh::ContainedBrief([&] {
        // In the order of OrnEhBasisInfo::RecordText.
        const char* const texts[4] = {cause, source, method, className};
        m_info = NewRecord(this, texts, params);
        if (m_info) {
            m_info->errorNo = errorNo;
            m_info->errorTextNo = errorTextNo;
            m_info->captionNo = captionNo;
            m_info->extraNo = extraNo;
        }
        if (prevException) AdoptException(prevException, autoDelete);
        if (push) Push(this);
    });
    // Here, not inside the boundary's lambdas: the frames to leave out must
    // not depend on what the compiler inlined. The empty asm after it keeps
    // the call from becoming a tail call, which would drop this frame.
    orneh::core::AttachConstructionStack(this, 2);
    __asm__ volatile("" ::: "memory");
}

OrnEhBasis::~OrnEhBasis() {
    OrnEhBasisInfo* info = m_info;
    m_info = nullptr;
    if (!info) return;
    if (info->params) info->params->~OrnEhParam();  // inside the record: not freed on its own
    base::Free(info->stack);
    if (!info->inObjectBlock) base::Free(info);
}

void OrnEhBasis::CheckBeforeDelete() {
    orneh::ContainedBrief([this] {
        OrnEhBasisInfo* info = m_info;
        if (!info) return;
        ExContainer* owner = info->owner;
        if (!info->released) {
            ExContainer* container = GetCurrentContainer();
            // Still held by a chain: nobody reported it, so the chain it is in
            // is logged now, this exception included.
            if (container && owner == container && links::Contains(container->GetLast(), this)) {
                OrnEhBasis::Log(nullptr, nullptr, 1);
            } else if (container) {
                orneh::core::LogChain(container, nullptr, links::NewestOf(this));
            }
            // The exceptions older than this one are released, the newer ones
            // stay the chain.
            if (owner && owner->CutAtDying(this)) return;
            // A chain that is nobody's (taken out of its thread): the two
            // neighbours close the gap.
            OrnEhBasis* newest = links::NewestOf(this);
            links::Unlink(newest, this);
        } else if (owner) {
            owner->ForgetCurrent(this);
        }
    });
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

void* OrnEhBasis::operator new(std::size_t size) noexcept { return NewObjectBlock(size); }

void* OrnEhBasis::operator new(std::size_t size, char*, int) noexcept { return NewObjectBlock(size); }

void OrnEhBasis::operator delete(void* p) noexcept { DeleteObjectBlock(p); }

void OrnEhBasis::operator delete(void* p, char*, int) noexcept { DeleteObjectBlock(p); }

// --- Taking over a caught exception ---------------------------------------------

void OrnEhBasis::AdoptException(CException* exception, int autoDelete) {
    if (!exception) return;
    ActiveCall active;
    ActiveCall::HoldOffCancellation();  // a foreign exception's hooks, a log entry, a delete
    if (exception->IsKindOf(RUNTIME_CLASS(OrnEhBasis))) {
        OrnEhBasis* e = static_cast<OrnEhBasis*>(exception);
        if (!e->m_info || !GetCurrentContainer()) {
            // No chain can take it (its record could not be had, or the thread
            // could not be registered): it gets an entry of its own, with what
            // it can write, and goes.
            orneh::core::LogAlone(e);
            delete e;
        } else if (!links::Contains(GetLast(), e)) {
            Push(e);
        }
    } else if (exception->IsKindOf(RUNTIME_CLASS(CMemoryException))) {
        if (ExMultiThreadAdmin* admin = GetAdmin()) admin->PrepareMemoryException(0);
    } else {
        // The wrapper links itself into the chain; the chain owns it. One
        // that is in no chain (its record could not be had) is nobody's, and
        // without a wrapper the caught exception is still ours to delete.
        OrnEhMFC* wrapper = new OrnEhMFC(exception, autoDelete, 1);
        OrnEhBasisInfo* info = OrnEhBasisAccess::Info(wrapper);
        if (!wrapper) {
            if (autoDelete) exception->Delete();
        } else if (!info || info->released) {
            delete wrapper;
        }
    }
}
