// Processor faults as structured exceptions: one process-wide handler for
// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP turns a fault into an exception
// record and a context. A thread with a translator (fault_translator.h) gets
// them handed to it, on the thread's alternate signal stack, and the
// translator throws from the faulting point. Where no translator is
// installed the process-wide filter sees the fault, and then the process ends
// by the same signal, as the system would have ended it. Only faults the
// processor raised count: a signal that a process sent goes to the handler
// installed before ours, or gets the default action.
//
// Thread safety: every function may be called from any thread.
#ifndef ORNEH_PLATFORM_SIGNALS_H
#define ORNEH_PLATFORM_SIGNALS_H

#include "compat/OrnEhSeh.h"

namespace orneh {
namespace platform {

typedef long (*UnhandledExceptionFilter)(EXCEPTION_POINTERS* pointers);

// Installs the process-wide filter (null removes it); returns the previous
// one. The filter runs for faults in threads without a translator.
UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) noexcept;

// Gives the calling thread what it needs to receive faults: an alternate
// signal stack (so that a stack overflow can be reported; one the
// application gave the thread is kept) and the knowledge of its stack
// bounds; installs the process-wide handler if needed.
void PrepareThreadForFaults() noexcept;

// Installs the handler on the five fault signals and keeps the handlers it
// replaces; nothing when it is installed already.
void InstallFaultHandlers() noexcept;
// Puts back the handlers that InstallFaultHandlers replaced, where ours is
// still the installed one (for unloading the module).
void RestorePreviousFaultHandlers() noexcept;

// Ends the bound on the library's own steps in the fault handler: the
// translator calls it right before it throws, the filter before it calls the
// application's terminate functions, which are not bounded.
void FaultHandlingDone() noexcept;

// The exception code of a fault as far as the signal tells it (0xC0000005
// for an access violation, ...); the handler refines it by the instruction.
DWORD ExceptionCodeOf(int signal, int code, bool inStackGuard) noexcept;

// The system's critical-error boxes have no counterpart here.
inline void SetErrorMode(unsigned int) noexcept {}

namespace faulttest {
// The bound on the handler's own steps, in seconds (10 unless a test sets it).
void SetBoundSeconds(unsigned int seconds) noexcept;
}  // namespace faulttest

}  // namespace platform
}  // namespace orneh

#endif
