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

IMPLEMENT_DYNAMIC(OrnEhSEH, OrnEhBasis)

struct SehExceptionCopy {
    EXCEPTION_POINTERS* pointers;
};

namespace base = orneh::base;

namespace {

// A nested-record chain longer than this is cut: a corrupt chain may loop.
const int kMaxNestedRecords = 64;

struct CodeName {
    DWORD code;
    const char* name;
};

const CodeName kCodeNames[] = {
    {0x80000002u, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {0x80000003u, "EXCEPTION_BREAKPOINT"},
    {0x80000004u, "EXCEPTION_SINGLE_STEP"},
    {0xC0000005u, "EXCEPTION_ACCESS_VIOLATION"},
    {0xC0000006u, "EXCEPTION_IN_PAGE_ERROR"},
    {0xC000001Du, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "EXCEPTION_INVALID_DISPOSITION"},
    {0xC000008Cu, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "EXCEPTION_FLT_INEXACT_RESULT"},
    {0xC0000090u, "EXCEPTION_FLT_INVALID_OPERATION"},
    {0xC0000091u, "EXCEPTION_FLT_OVERFLOW"},
    {0xC0000092u, "EXCEPTION_FLT_STACK_CHECK"},
    {0xC0000093u, "EXCEPTION_FLT_UNDERFLOW"},
    {0xC0000094u, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "EXCEPTION_INT_OVERFLOW"},
    {0xC0000096u, "EXCEPTION_PRIV_INSTRUCTION"},
    {0xC00000FDu, "EXCEPTION_STACK_OVERFLOW"},
};

const char* NameOf(DWORD code) {
    for (const CodeName& entry : kCodeNames) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

// The five fields the dump needs; the parameters are not copied.
EXCEPTION_RECORD* CopyRecord(const EXCEPTION_RECORD& from) {
    EXCEPTION_RECORD* to = static_cast<EXCEPTION_RECORD*>(base::AllocZeroed(sizeof(EXCEPTION_RECORD)));
    if (!to) return nullptr;
    to->ExceptionCode = from.ExceptionCode;
    to->ExceptionFlags = from.ExceptionFlags;
    to->ExceptionAddress = from.ExceptionAddress;
    to->NumberParameters = from.NumberParameters;
    to->ExceptionRecord = nullptr;
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
            if (const char* name = NameOf(record->ExceptionCode)) {
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
        const struct {
            const char* label;
            unsigned long value;
        } rows[] = {
            {"Dr1: ", c->Dr1},
            {"Dr2: ", c->Dr2},
            {"Dr3: ", c->Dr3},
            {"Dr6: ", c->Dr6},
            {"Dr7: ", c->Dr7},
            {"SegGs: ", c->SegGs},
            {"SegFs: ", c->SegFs},
            {"SegEs: ", c->SegEs},
            {"SegDs: ", c->SegDs},
            {"Edi: ", c->Edi},
            {"Esi: ", c->Esi},
            {"Ebx: ", c->Ebx},
            {"Edx: ", c->Edx},
            {"Ecx: ", c->Ecx},
            {"Eax: ", c->Eax},
            {"Ebp: ", c->Ebp},
            {"Eip: ", c->Eip},
            {"SegCs: ", c->SegCs},
            {"EFlags: ", c->EFlags},
            {"Esp: ", c->Esp},
            {"SegSs: ", c->SegSs},
            {"ControlWord: ", c->FloatSave.ControlWord},
            {"StatusWord: ", c->FloatSave.StatusWord},
            {"TagWord: ", c->FloatSave.TagWord},
            {"ErrorOffset: ", c->FloatSave.ErrorOffset},
            {"ErrorSelector: ", c->FloatSave.ErrorSelector},
            {"DataOffset: ", c->FloatSave.DataOffset},
            {"DataSelector: ", c->FloatSave.DataSelector},
            {"Cr0NpxState: ", c->FloatSave.Cr0NpxState},
        };
        for (const auto& row : rows) orneh::kinds::WriteHexLine(file, row.label, row.value);
    });
}

const char* OrnEhSEH::GetResourceModulname() const { return orneh::module::LanguageModuleName(); }

unsigned long OrnEhSEH::GetResIdForTextInfo() const { return IDR_EH_SEH_TEXTS; }

unsigned long OrnEhSEH::GetResIdForCaption() const { return IDR_EH_SEH_CAPTIONS; }
