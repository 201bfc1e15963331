// The plain records of the last resorts, written first, before anything
// that may block: the emergency texts and, for a fault, its code, address,
// registers and call stack with module and offset only. They are written
// without allocating and without any lock of this process
// (platform/last_record.h), so that the process that ends leaves them on
// disk even when the heap or a lock of the faulting thread is what failed.
// The records with names follow through the log file as usual.
#ifndef ORNEH_RUNTIME_PLAIN_RECORD_H
#define ORNEH_RUNTIME_PLAIN_RECORD_H

#include "compat/OrnEhSeh.h"
#include "platform/stacktrace.h"

class OrnEhBasis;

namespace orneh {
namespace runtime {

// The fault handler's last words (platform::SetLastWords): the filter's
// three emergency texts and the fault's plain record.
void WritePlainFaultRecord(const EXCEPTION_POINTERS* pointers);

// In the terminate handler (its direct callee): the stack that reached
// std::terminate, which for an exception without a handler is still the
// thrower's; empty when stacks are switched off.
void CaptureTerminateStack(platform::CallStack& stack) noexcept;
// The terminate handler's three emergency texts and the plain lines of stack.
void WritePlainTerminateRecord(const platform::CallStack& stack) noexcept;
// Then the block with names: into the record of pending, the uncaught
// exception of ours (if it has no stack yet), or, without one, to the log.
void WriteTerminateStackNames(OrnEhBasis* pending, const platform::CallStack& stack) noexcept;

}  // namespace runtime
}  // namespace orneh

#endif
