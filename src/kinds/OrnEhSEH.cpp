// OrnEhSEH: a copy of a fault's records and context, and its dump.
#include "OrnEhSEH.h"

#include <cstdint>

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "core/stack_block.h"
#include "kinds/kind_support.h"
#include "module/language.h"
#include "base/alloc.h"
#include "base/contained.h"
#include "core/basis_info.h"
#include "platform/fault_record.h"

IMPLEMENT_DYNAMIC(OrnEhSEH, OrnEhBasis)

struct SehExceptionCopy {
    EXCEPTION_POINTERS* pointers;
};

namespace base = orneh::base;
namespace ap = orneh::platform;

namespace {

// A nested-record chain longer than this is cut: a corrupt chain may loop.
const int kMaxNestedRecords = 64;

// The five fields the dump needs; the parameters are not copied.
void CopyRecordFields(const EXCEPTION_RECORD& from, EXCEPTION_RECORD& to) {
    to.ExceptionCode = from.ExceptionCode;
    to.ExceptionFlags = from.ExceptionFlags;
    to.ExceptionAddress = from.ExceptionAddress;
    to.NumberParameters = from.NumberParameters;
    to.ExceptionRecord = nullptr;
}

EXCEPTION_RECORD* CopyRecord(const EXCEPTION_RECORD& from) {
    EXCEPTION_RECORD* to = static_cast<EXCEPTION_RECORD*>(base::AllocZeroed(sizeof(EXCEPTION_RECORD)));
    if (to) CopyRecordFields(from, *to);
    return to;
}

void CopyContext(const CONTEXT& from, CONTEXT& to) {
    to.ContextFlags = from.ContextFlags;
    to.Dr0 = from.Dr0;
    to.Dr1 = from.Dr1;
    to.Dr2 = from.Dr2;
    to.Dr3 = from.Dr3;
    to.Dr6 = from.Dr6;
    to.Dr7 = from.Dr7;
    to.FloatSave = from.FloatSave;
    to.SegGs = from.SegGs;
    to.SegFs = from.SegFs;
    to.SegEs = from.SegEs;
    to.SegDs = from.SegDs;
    to.Edi = from.Edi;
    to.Esi = from.Esi;
    to.Ebx = from.Ebx;
    to.Edx = from.Edx;
    to.Ecx = from.Ecx;
    to.Eax = from.Eax;
    to.Ebp = from.Ebp;
    to.Eip = from.Eip;
    to.SegCs = from.SegCs;
    to.EFlags = from.EFlags;
    to.Esp = from.Esp;
    to.SegSs = from.SegSs;
}

void FreeCopy(SehExceptionCopy* copy) {
    if (!copy) return;
    if (EXCEPTION_POINTERS* pointers = copy->pointers) {
        EXCEPTION_RECORD* record = pointers->ExceptionRecord;
        EXCEPTION_RECORD* nested = record ? record->ExceptionRecord : nullptr;
        while (nested) {
            EXCEPTION_RECORD* next = nested->ExceptionRecord;
            base::Free(nested);
            nested = next;
        }
        base::Free(record);
        base::Free(pointers->ContextRecord);
        base::Free(pointers);
    }
    base::Free(copy);
}

void FillCopy(SehExceptionCopy& copy, const EXCEPTION_POINTERS* from) {
    if (!from) return;
    EXCEPTION_POINTERS* pointers =
        static_cast<EXCEPTION_POINTERS*>(base::AllocZeroed(sizeof(EXCEPTION_POINTERS)));
    if (!pointers) return;
    copy.pointers = pointers;
    EXCEPTION_RECORD* record =
        from->ExceptionRecord ? CopyRecord(*from->ExceptionRecord) : nullptr;
    // Without a context there is nothing to copy: a zeroed copy would be
    // dumped as if the registers had been all zero.
    CONTEXT* context = from->ContextRecord
                           ? static_cast<CONTEXT*>(base::AllocZeroed(sizeof(CONTEXT)))
                           : nullptr;
    if (!record) {
        base::Free(context);
        return;
    }
    pointers->ExceptionRecord = record;
    pointers->ContextRecord = context;
    EXCEPTION_RECORD* tail = record;
    int count = 0;
    for (const EXCEPTION_RECORD* nested = from->ExceptionRecord->ExceptionRecord;
         nested && count < kMaxNestedRecords; nested = nested->ExceptionRecord, ++count) {
        EXCEPTION_RECORD* nestedCopy = CopyRecord(*nested);
        if (!nestedCopy) break;
        tail->ExceptionRecord = nestedCopy;
        tail = nestedCopy;
    }
    if (context) CopyContext(*from->ContextRecord, *context);
}

}  // namespace

OrnEhSEH::OrnEhSEH(EXCEPTION_POINTERS* pointers, int push)
    : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, push), m_copy(nullptr) {
    orneh::Contained([&] {
        SehExceptionCopy* copy =
            static_cast<SehExceptionCopy*>(base::AllocZeroed(sizeof(SehExceptionCopy)));
        if (copy) {
            m_copy = copy;
            FillCopy(*copy, pointers);
        }
        orneh::core::AttachFaultStack(this, pointers);
        SetErrorTextNo(1);
        if (pointers && pointers->ExceptionRecord) SetErrorNo(pointers->ExceptionRecord->ExceptionCode);
    });
}

OrnEhSEH* OrnEhSEH::NewReserve() {
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    OrnEhSEH* e = new OrnEhSEH(&pointers, 0);
    if (!e) return nullptr;
    ap::CallStack place{};
    place.count = 1;  // storage for the fault's stack; TakeFault sets what it holds
    orneh::core::AttachStack(e, place);
    const EXCEPTION_POINTERS* own = e->m_copy ? e->m_copy->pointers : nullptr;
    if (!own || !own->ExceptionRecord || !own->ContextRecord || !orneh::core::StackOf(e)) {
        delete e;
        return nullptr;
    }
    return e;
}

void OrnEhSEH::TakeFault(EXCEPTION_POINTERS* pointers) {
    EXCEPTION_POINTERS* own = m_copy ? m_copy->pointers : nullptr;
    if (own && own->ExceptionRecord && pointers && pointers->ExceptionRecord) {
        CopyRecordFields(*pointers->ExceptionRecord, *own->ExceptionRecord);
        SetErrorNo(pointers->ExceptionRecord->ExceptionCode);
    }
    if (own && own->ContextRecord && pointers && pointers->ContextRecord) {
        CopyContext(*pointers->ContextRecord, *own->ContextRecord);
    }
    if (OrnEhBasisInfo* info = OrnEhBasisAccess::Info(this)) {
        if (info->stack) info->stack->count = 0;
    }
    orneh::core::AttachFaultStack(this, pointers);
    SetErrorTextNo(1);
}

OrnEhSEH::~OrnEhSEH() {
    CheckBeforeDelete();  // has its own catch-all
    FreeCopy(m_copy);
    m_copy = nullptr;
}

void OrnEhSEH::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhSEH");
        if (!m_copy || !m_copy->pointers) return;
        for (const EXCEPTION_RECORD* record = m_copy->pointers->ExceptionRecord; record;
             record = record->ExceptionRecord) {
            file << "Exceptioncode: ";
            if (const char* name = ap::ExceptionCodeName(record->ExceptionCode)) {
                file << name;
            } else {
                file << static_cast<unsigned long>(record->ExceptionCode);
            }
            file << "\r\n";
            file << "Exceptionflag: " << static_cast<unsigned long>(record->ExceptionFlags) << "\r\n";
            orneh::kinds::WriteHexLine(file, "Exceptionadresse: ",
                         static_cast<unsigned long>(
                             reinterpret_cast<std::uintptr_t>(record->ExceptionAddress)));
        }
        const CONTEXT* c = m_copy->pointers->ContextRecord;
        if (!c) return;
        file << "Contextflags: " << static_cast<unsigned long>(c->ContextFlags) << "\r\n";
        ap::RegisterLine lines[ap::kRegisterLines];
        ap::RegisterLines(*c, lines);
        for (const ap::RegisterLine& line : lines) orneh::kinds::WriteHexLine(file, line.label, line.value);
    });
}

const char* OrnEhSEH::GetResourceModulname() const { return orneh::module::LanguageModuleName(); }

unsigned long OrnEhSEH::GetResIdForTextInfo() const { return IDR_EH_SEH_TEXTS; }

unsigned long OrnEhSEH::GetResIdForCaption() const { return IDR_EH_SEH_CAPTIONS; }
