// Structured-exception records: what the fault translator and the top-level
// filter hand to OrnEhSEH. The field names are the x86 ones; on this platform
// each register field holds the full native register (Eax holds RAX, Eip
// holds RIP, ...). What the system cannot give (debug registers) is 0.
#ifndef ORNEH_COMPAT_SEH_H
#define ORNEH_COMPAT_SEH_H

#include <cstdint>

#include "compat/OrnEhWinTypes.h"

typedef std::uintptr_t ORN_REG;

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define SIZE_OF_80387_REGISTERS 80

typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD* ExceptionRecord;  // nested record, or null
    void* ExceptionAddress;
    DWORD NumberParameters;
    std::uintptr_t ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

typedef struct _FLOATING_SAVE_AREA {
    DWORD ControlWord;
    DWORD StatusWord;
    DWORD TagWord;
    DWORD ErrorOffset;
    DWORD ErrorSelector;
    DWORD DataOffset;
    DWORD DataSelector;
    BYTE RegisterArea[SIZE_OF_80387_REGISTERS];
    DWORD Cr0NpxState;
} FLOATING_SAVE_AREA;

typedef struct _CONTEXT {
    DWORD ContextFlags;
    ORN_REG Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
    FLOATING_SAVE_AREA FloatSave;
    DWORD SegGs, SegFs, SegEs, SegDs;
    ORN_REG Edi, Esi, Ebx, Edx, Ecx, Eax;
    ORN_REG Ebp, Eip;
    DWORD SegCs;
    DWORD EFlags;
    ORN_REG Esp;
    DWORD SegSs;
    BYTE ExtendedRegisters[512];
} CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

// Exception codes (the values of the Windows constants).
enum : DWORD {
    EXCEPTION_GUARD_PAGE = 0x80000001u,
    EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002u,
    EXCEPTION_BREAKPOINT = 0x80000003u,
    EXCEPTION_SINGLE_STEP = 0x80000004u,
    EXCEPTION_ACCESS_VIOLATION = 0xC0000005u,
    EXCEPTION_IN_PAGE_ERROR = 0xC0000006u,
    EXCEPTION_INVALID_HANDLE = 0xC0000008u,
    EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du,
    EXCEPTION_NONCONTINUABLE_EXCEPTION = 0xC0000025u,
    EXCEPTION_INVALID_DISPOSITION = 0xC0000026u,
    EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008Cu,
    EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du,
    EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
    EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu,
    EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u,
    EXCEPTION_FLT_OVERFLOW = 0xC0000091u,
    EXCEPTION_FLT_STACK_CHECK = 0xC0000092u,
    EXCEPTION_FLT_UNDERFLOW = 0xC0000093u,
    EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u,
    EXCEPTION_INT_OVERFLOW = 0xC0000095u,
    EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u,
    EXCEPTION_STACK_OVERFLOW = 0xC00000FDu
};

// The per-thread translator's shape.
typedef void (*_se_translator_function)(unsigned int code, EXCEPTION_POINTERS* pointers);

#endif
