// The call stacks of the last-resort handlers. The process ends after them,
// and the heap may be what failed: module and offset lines go to the log
// first, without allocating; the symbolized block follows in the record.
#ifndef ORNEH_RUNTIME_LAST_RESORT_STACK_H
#define ORNEH_RUNTIME_LAST_RESORT_STACK_H

class OrnEhBasis;

namespace orneh {
namespace runtime {

// In the terminate handler (its direct callee): the stack that reached
// std::terminate, which for an exception without a handler is still the
// thrower's. The plain lines go to the log; the symbolized block goes into
// the record of pending, the uncaught exception of ours (if it has no stack
// yet), or, without one, to the log as well.
void WriteTerminateStack(OrnEhBasis* pending) noexcept;

// In the filter: the plain lines of the stack the fault handler kept under
// pointers; the OrnEhSEH made from pointers carries it into its record.
void WriteFaultStackFirst(const void* pointers) noexcept;

}  // namespace runtime
}  // namespace orneh

#endif
