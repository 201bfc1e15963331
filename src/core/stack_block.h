// The call stack an exception carries, and the block of its record that
// shows it:
//       Aufrufstapel:
//          #0 0x0000562d1c2a13f2 crashNull() demo.cpp:41 (/path/demo+0x13f2)
// The module and offset are always there; name, file and line where the
// debug information or the symbol table has them.
#ifndef ORNEH_CORE_STACK_BLOCK_H
#define ORNEH_CORE_STACK_BLOCK_H

#include <string>

#include "platform/last_record.h"
#include "platform/stacktrace.h"

class OrnEhBasis;
class OrnEhLogFile;

namespace orneh {
namespace core {

// Gives e a copy of stack unless it has one; nothing when the copy cannot
// be allocated.
void AttachStack(OrnEhBasis* e, const platform::CallStack& stack) noexcept;
// The stack the fault handler kept under key (the exception pointers) goes
// to e, in place of any other.
void AttachFaultStack(OrnEhBasis* e, const void* key) noexcept;
const platform::CallStack* StackOf(const OrnEhBasis* e) noexcept;

// With ORNEH_STACKTRACE=all: the calling code's stack, for an exception
// being made (skip: the constructor frames of the caller's own).
void AttachConstructionStack(OrnEhBasis* e, int skip) noexcept;

// Asks for the names of the stacks of the chain down from newest (a few
// at most), so that the records written next find them in the symbolizer's
// cache: a log file is then not held while the names are looked up.
void NameStacksAhead(const OrnEhBasis* newest) noexcept;

// Writes e's block after e's record; nothing without a stack or when the
// switch is off.
void WriteStackBlock(const OrnEhBasis* e, OrnEhLogFile& log);

// The block as text, each frame indented by nine blanks under a heading
// indented by six, the way the record has it. Plain: module and offset
// only, every line ending in CR LF, through a sink that needs no heap (for
// handlers after which the process ends). Symbolized: lines separated by
// CR LF.
void WritePlainStack(const platform::CallStack& stack, platform::RecordSink& sink) noexcept;
std::string SymbolizedStackText(const platform::CallStack& stack);

}  // namespace core
}  // namespace orneh

#endif
