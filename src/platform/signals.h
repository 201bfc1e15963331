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
// bounds; installs the process-wide handler if needed. A handler that finds
// too little room on whatever alternate stack the thread has at the time
// (the application may give it a small one) moves to a stack of the
// library's own first.
void PrepareThreadForFaults() noexcept;

// Installs the handler on the five fault signals and keeps the handlers it
// replaces; nothing when it is installed already.
void InstallFaultHandlers() noexcept;
// Puts back the handlers that InstallFaultHandlers replaced, where ours is
// still the installed one (for unloading the module).
void RestorePreviousFaultHandlers() noexcept;

// Ends the bound on the library's own steps in the fault handler: the
// translator calls it right before it throws.
void FaultHandlingDone() noexcept;
// True while the calling thread runs the library's own steps of the fault
// handler (nothing there may allocate what it can do without).
bool InFaultHandling() noexcept;

// The last words of a fault: the plain record of the fault (written without
// allocating, see last_record.h). The handler has them written first when a
// fault goes to the filter or happened inside the allocator, and before it
// ends the process when its bound runs out.
typedef void (*LastWords)(const EXCEPTION_POINTERS* pointers);
void SetLastWords(LastWords writer) noexcept;

// The last resorts of every thread that meets one (the filter in the fault
// handler, the terminate handler): each writes its records under a bound,
// then one of them ends the process, after the records of the others.
//
// The terminate handler's start: its own steps are bounded from here (the
// process ends by endSignal when they take too long), and its records count
// as in progress. The fault handler does the same for the filter.
void BeginLastResort(int endSignal) noexcept;
// The calling thread's records are written: its bound ends. Returns in the
// one thread that is to end the process (the first to get here); any other
// thread blocks here until the process ends.
void LastResortRecordsWritten() noexcept;
// Waits until the records other threads are writing are done, at most as
// long as their bound.
void WaitForLastResortRecords() noexcept;
// Runs body(arg) on a new thread with a normal stack and waits for it to end
// (making the thread is bounded, body is not); false when no thread could be
// made. For what must not run on a signal stack.
bool RunOnNewThread(void (*body)(void*), void* arg) noexcept;

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
