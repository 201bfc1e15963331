// Call stacks: the return addresses of a thread, taken without allocating,
// so that the fault handler may take them from the interrupted context, and
// the module and offset of each address, found without allocating either.
// Thread safety: every function works on the caller's own data; the stack
// kept for a fault is the faulting thread's own.
#ifndef ORNEH_PLATFORM_STACKTRACE_H
#define ORNEH_PLATFORM_STACKTRACE_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

const int kMaxStackFrames = 64;

struct CallStack {
    int count;
    // Bit i set: frame i is an interrupted instruction itself (the fault,
    // or the frame below a signal frame); otherwise it is a return address.
    std::uint64_t exact;
    std::uintptr_t frames[kMaxStackFrames];
};

// ORNEH_STACKTRACE: "faults" (the default: fault, filter and terminate
// records), "all" (every exception captures its stack when it is made) or
// "off". Read once.
enum class StackTraceMode { kFaults, kAll, kOff };
StackTraceMode GetStackTraceMode() noexcept;
void SetStackTraceMode(StackTraceMode mode) noexcept;  // for tests and benchmarks

// The stack of the calling code, leaving out the innermost `skip` frames of
// the caller (0: the caller's own frame is frame 0). No allocation.
void CaptureStack(CallStack& out, int skip) noexcept;

// The stack of the code a signal interrupted (ucontext as the handler got
// it): the faulting instruction first, no handler or trampoline frame. Safe
// in a signal handler.
void CaptureSignalStack(const void* ucontext, CallStack& out) noexcept;

// The fault handler keeps the faulting thread's stack under the exception
// pointers it hands on; whoever builds the exception from those pointers
// takes it from there. Null when nothing is kept for key.
void KeepFaultStack(const void* ucontext, const void* key) noexcept;
const CallStack* KeptFaultStack(const void* key) noexcept;
void ForgetFaultStack() noexcept;  // when the fault's handling ends

// The fault handler's first step for a fault: a fault raised by the unwinder
// itself while KeepFaultStack walks a damaged stack ends that walk (the frames
// taken so far are kept) and does not return here. Returns otherwise.
void EndFaultedStackWalk() noexcept;

// True while the calling thread runs on its alternate signal stack, or the
// stack the fault handler moved to from a small one (in a fault handler, or
// a terminate handler reached from one). In signals.cpp.
bool OnAlternateSignalStack() noexcept;

// The address to look up for frame i: a return address stands for the call
// before it.
inline std::uintptr_t LookupAddress(const CallStack& stack, int i) {
    return (stack.exact >> i) & 1 ? stack.frames[i] : stack.frames[i] - 1;
}

// The module (shared object or executable) holding address: its path and
// the address relative to its load base, the value addr2line takes. False
// when no module holds it. Safe in a signal handler.
bool FindModule(std::uintptr_t address, const char** path, std::uintptr_t* offset) noexcept;

// Writes "#<index> 0x<16 digits> (<module>+0x<offset>)" for frame i of stack
// into out (always terminated, cut at size). No allocation. Returns the
// length written.
std::size_t FormatPlainFrame(const CallStack& stack, int i, int index, char* out,
                             std::size_t size) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
