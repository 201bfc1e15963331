#include "platform/fault_record.h"

namespace orneh {
namespace platform {
namespace {

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

}  // namespace

const char* ExceptionCodeName(DWORD code) noexcept {
    for (const CodeName& entry : kCodeNames) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

void RegisterLines(const CONTEXT& c, RegisterLine (&lines)[kRegisterLines]) noexcept {
    const RegisterLine all[kRegisterLines] = {
        {"Dr1: ", c.Dr1},
        {"Dr2: ", c.Dr2},
        {"Dr3: ", c.Dr3},
        {"Dr6: ", c.Dr6},
        {"Dr7: ", c.Dr7},
        {"SegGs: ", c.SegGs},
        {"SegFs: ", c.SegFs},
        {"SegEs: ", c.SegEs},
        {"SegDs: ", c.SegDs},
        {"Edi: ", c.Edi},
        {"Esi: ", c.Esi},
        {"Ebx: ", c.Ebx},
        {"Edx: ", c.Edx},
        {"Ecx: ", c.Ecx},
        {"Eax: ", c.Eax},
        {"Ebp: ", c.Ebp},
        {"Eip: ", c.Eip},
        {"SegCs: ", c.SegCs},
        {"EFlags: ", c.EFlags},
        {"Esp: ", c.Esp},
        {"SegSs: ", c.SegSs},
        {"ControlWord: ", c.FloatSave.ControlWord},
        {"StatusWord: ", c.FloatSave.StatusWord},
        {"TagWord: ", c.FloatSave.TagWord},
        {"ErrorOffset: ", c.FloatSave.ErrorOffset},
        {"ErrorSelector: ", c.FloatSave.ErrorSelector},
        {"DataOffset: ", c.FloatSave.DataOffset},
        {"DataSelector: ", c.FloatSave.DataSelector},
        {"Cr0NpxState: ", c.FloatSave.Cr0NpxState},
    };
    for (std::size_t i = 0; i < kRegisterLines; ++i) lines[i] = all[i];
}

}  // namespace platform
}  // namespace orneh
