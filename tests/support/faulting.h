// Functions that fault on purpose, one per kind of processor fault, for the
// tests of the fault handler. The x86-64 ones are written in assembly so that
// neither the compiler nor a sanitizer changes the faulting instruction.
#ifndef ZKQ_TESTS_SUPPORT_FAULTING_H
#define ZKQ_TESTS_SUPPORT_FAULTING_H

extern "C" {
void zkq_hlt();        // privileged: hlt
void zkq_cli();        // privileged: cli
void zkq_in();         // privileged: in al, dx
void zkq_ud2();        // an undefined instruction
void zkq_int3();       // a breakpoint, at zkq_int3_at
extern const char zkq_int3_at[];
int zkq_read(const void* address);  // a 4-byte read
// A read one byte past an aligned address with EFLAGS.AC set.
int zkq_misaligned_read(const void* aligned);
// idiv of dividend by a register, and by divisors[index + 2] in memory.
int zkq_idiv_register(int dividend, int divisor);
int zkq_idiv_memory(int dividend, const int* divisors, long index);
}

namespace zkqtest {
// A read through p in compiled code, kept as written: ReadAt(nullptr) is the
// null read of an ordinary function.
int ReadAt(volatile int* p);
// A read of a mapped page that the file behind it no longer backs (SIGBUS).
void ReadBeyondMappedFile();
// The integer division by zero of compiled code.
void DivideByZero();
// Recursion in frames of 2 KiB until the stack runs out.
int Overflow(int depth);
// Gives the calling thread an alternate signal stack of its own of size
// bytes, with a guard page below it, as an application does.
void OwnAltStack(unsigned long size);
}  // namespace zkqtest

#endif
