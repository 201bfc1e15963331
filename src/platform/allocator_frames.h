// Whether a fault happened inside the allocator. A thread that faults there
// may hold the allocator's lock: anything it allocates afterwards waits for
// ever, and an exception thrown from there would need the allocator too (for
// the thrown object) and leave its lock held behind the catch.
#ifndef ORNEH_PLATFORM_ALLOCATOR_FRAMES_H
#define ORNEH_PLATFORM_ALLOCATOR_FRAMES_H

#include <cstdint>

#include "platform/stacktrace.h"

namespace orneh {
namespace platform {

// Looks up where the process's allocation functions (malloc, free, ...: the
// ones the process really calls, an interposed allocator's included) lie.
// Not for a signal handler; the fault handler's installation calls it.
void FindAllocatorFunctions() noexcept;

// True when the faulting instruction, or one of the innermost frames of the
// stack, lies in one of those functions. Safe in a signal handler.
bool FaultInAllocator(std::uintptr_t instruction, const CallStack* stack) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
