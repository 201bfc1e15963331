// Processor faults as structured exceptions: one process-wide handler for
// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP turns a fault into an exception
// record and a context. A thread with a translator (fault_translator.h) gets
// them handed to it, on the thread's alternate signal stack, and the
// translator throws from the faulting point. Where no translator is
// installed the process-wide filter sees the fault, and then the process ends
// by the same signal, as the system would have ended it.
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
// signal stack (so that a stack overflow can be reported) and the knowledge
// of its stack bounds; installs the process-wide handler if needed.
void PrepareThreadForFaults() noexcept;

// Puts back the handlers that were there before ours (the module's unload).
void RestoreFaultHandlers() noexcept;

// Ends the time bound of the fault handler: a translator calls it when it has
// made its exception, right before throwing it.
void FaultHandlingDone() noexcept;

// The exception code of a fault (0xC0000005 for an access violation, ...).
DWORD ExceptionCodeOf(int signal, int code, bool inStackGuard) noexcept;

// The system's critical-error boxes have no counterpart here.
inline void SetErrorMode(unsigned int) noexcept {}

}  // namespace platform
}  // namespace orneh

#endif
