// The plain records of the last resorts.
#include "runtime/plain_record.h"

#include <cstring>

#include "base/contained.h"
#include "core/stack_block.h"
#include "journal/plain_entry.h"
#include "platform/fault_record.h"
#include "platform/last_record.h"
#include "runtime/admin.h"

namespace ap = orneh::platform;

namespace orneh {
namespace runtime {
namespace {

const char kIndent[] = "      ";
const char kFaultText[] = "Programm mit exit (-1) abgebrochen, da Unhandled BS-Exception aufgetreten ist\r\n";
const char kTerminateText[] = "Programm mit exit (-1) abgebrochen, da throw ohne vorheriges try\r\n";

// What WriteEmergencyText makes of one text: the text, a line break, an
// empty line and the standard file's separator with its two empty lines.
void EndEmergencyText(ap::RecordSink& sink) {
    char separator[69];
    std::memset(separator, '*', 68);
    separator[68] = '\0';
    sink.Text("\r\n\r\n");
    sink.Text(separator);
    sink.Text("\r\n\r\n\r\n");
}

void EmergencyText(ap::RecordSink& sink, const char* text) {
    sink.Text(text);
    EndEmergencyText(sink);
}

void ThreadText(ap::RecordSink& sink, const char* label, unsigned long threadId) {
    sink.Text(label);
    sink.Decimal(threadId);
    sink.Text("\r\n");
    EndEmergencyText(sink);
}

void Line(ap::RecordSink& sink, const char* label, unsigned long value, bool hex) {
    sink.Text(kIndent);
    sink.Text(label);
    if (hex) {
        sink.Hex(value);
    } else {
        sink.Decimal(value);
    }
    sink.Text("\r\n");
}

// The lines of OrnEhSEH's record that need no heap: the exception records,
// the registers and the plain stack.
void FaultText(ap::RecordSink& sink, const void* context) {
    const auto* pointers = static_cast<const EXCEPTION_POINTERS*>(context);
    EmergencyText(sink, kFaultText);
    ThreadText(sink, "Aufgetreten in Thread: ", GetExThreadId());
    ThreadText(sink, "Hauptthread: ", GetMainThreadId());
    sink.Text("Fehlerart: OrnEhSEH\r\n");
    int count = 0;
    for (const EXCEPTION_RECORD* record = pointers->ExceptionRecord; record && count < 64;
         record = record->ExceptionRecord, ++count) {
        sink.Text(kIndent);
        sink.Text("Exceptioncode: ");
        if (const char* name = ap::ExceptionCodeName(record->ExceptionCode)) {
            sink.Text(name);
        } else {
            sink.Decimal(record->ExceptionCode);
        }
        sink.Text("\r\n");
        Line(sink, "Exceptionflag: ", record->ExceptionFlags, false);
        Line(sink, "Exceptionadresse: ", reinterpret_cast<std::uintptr_t>(record->ExceptionAddress), true);
    }
    if (const CONTEXT* c = pointers->ContextRecord) {
        Line(sink, "Contextflags: ", c->ContextFlags, false);
        ap::RegisterLine lines[ap::kRegisterLines];
        ap::RegisterLines(*c, lines);
        for (const ap::RegisterLine& line : lines) Line(sink, line.label, line.value, true);
    }
    if (const ap::CallStack* stack = ap::KeptFaultStack(pointers)) core::WritePlainStack(*stack, sink);
    EndEmergencyText(sink);
}

void TerminateText(ap::RecordSink& sink, const void* context) {
    const auto* stack = static_cast<const ap::CallStack*>(context);
    EmergencyText(sink, kTerminateText);
    ThreadText(sink, "Aufgetreten in Thread: ", GetExThreadId());
    ThreadText(sink, "Aufgetreten in Hauptthread: ", GetMainThreadId());
    if (stack->count == 0) return;
    core::WritePlainStack(*stack, sink);
    EndEmergencyText(sink);
}

}  // namespace

// The journal's copy follows the file record, never before it.
void WritePlainFaultRecord(const EXCEPTION_POINTERS* pointers) {
    if (!pointers) return;
    ap::AppendLastRecord(&FaultText, pointers);
    journal::SendPlainRecord(journal::kFaultKind, kFaultText, GetExThreadId(), &FaultText, pointers);
}

__attribute__((noinline)) void CaptureTerminateStack(ap::CallStack& stack) noexcept {
    stack.count = 0;
    stack.exact = 0;
    if (ap::GetStackTraceMode() == ap::StackTraceMode::kOff) return;
    ap::CaptureStack(stack, 2);  // this function and the terminate handler
}

void WritePlainTerminateRecord(const ap::CallStack& stack) noexcept {
    ap::AppendLastRecord(&TerminateText, &stack);
    journal::SendPlainRecord(journal::kUncaughtKind, kTerminateText, GetExThreadId(), &TerminateText, &stack);
}

void WriteTerminateStackNames(OrnEhBasis* pending, const ap::CallStack& stack) noexcept {
    if (stack.count == 0) return;
    Contained([&] {
        if (pending) {
            core::AttachStack(pending, stack);
        } else {
            WriteEmergencyText(core::SymbolizedStackText(stack).c_str());
        }
    });
}

}  // namespace runtime
}  // namespace orneh
