// The call stacks the last-resort handlers write.
#include "runtime/last_resort_stack.h"

#include "core/stack_block.h"
#include "runtime/admin.h"

namespace ap = orneh::platform;

namespace orneh {
namespace runtime {
namespace {

// Room for the plain lines of a deep stack; the handlers may run on the
// alternate signal stack, so not more.
const std::size_t kPlainTextSize = 8192;

void WritePlain(const ap::CallStack& stack) noexcept {
    char text[kPlainTextSize];
    core::PlainStackText(stack, text, sizeof text);
    try {
        WriteEmergencyText(text);
    } catch (...) {
    }
}

}  // namespace

__attribute__((noinline)) void WriteTerminateStack(OrnEhBasis* pending) noexcept {
    if (ap::GetStackTraceMode() == ap::StackTraceMode::kOff) return;
    ap::CallStack stack;
    ap::CaptureStack(stack, 2);  // this function and the terminate handler
    if (stack.count == 0) return;
    WritePlain(stack);
    try {
        if (pending) {
            core::AttachStack(pending, stack);
        } else {
            WriteEmergencyText(core::SymbolizedStackText(stack).c_str());
        }
    } catch (...) {
    }
}

void WriteFaultStackFirst(const void* pointers) noexcept {
    if (const ap::CallStack* kept = ap::KeptFaultStack(pointers)) WritePlain(*kept);
}

}  // namespace runtime
}  // namespace orneh
