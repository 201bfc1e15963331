// What the signal alone does not tell. On x86-64 Linux a privileged
// instruction and a general-protection fault both arrive as SIGSEGV with
// SI_KERNEL, an integer overflow and a division by zero both as FPE_INTDIV,
// and after an int3 the program counter is one past it. These functions look
// at the instruction to tell them apart. They are async-signal-safe: memory
// is read only through a system call, which fails instead of faulting.
// Other architectures get the neutral answers.
#ifndef ORNEH_PLATFORM_FAULT_DECODE_H
#define ORNEH_PLATFORM_FAULT_DECODE_H

#include <cstdint>
#include <ucontext.h>

namespace orneh {
namespace platform {

// True when the instruction at the program counter may run only in the kernel.
bool IsPrivilegedInstruction(const ucontext_t* uc) noexcept;

// For a div/idiv at the program counter: 1 when its divisor is zero, 0 when it
// is not (the quotient overflowed), -1 when that cannot be told.
int DivisorIsZero(const ucontext_t* uc) noexcept;

// The address of the int3 that trapped: the program counter minus one when
// the byte there is an int3, else the program counter.
std::uintptr_t BreakpointAddress(const ucontext_t* uc) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
