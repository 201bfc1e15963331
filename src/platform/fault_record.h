// What the record of a fault shows, in one place for the exception's record
// and the plain record the last resorts write without the heap: the names
// of the exception codes and the register lines, in the record's order.
#ifndef ORNEH_PLATFORM_FAULT_RECORD_H
#define ORNEH_PLATFORM_FAULT_RECORD_H

#include <cstddef>

#include "compat/OrnEhSeh.h"

namespace orneh {
namespace platform {

// "EXCEPTION_ACCESS_VIOLATION" ...; null for a code without a name.
const char* ExceptionCodeName(DWORD code) noexcept;

// One line of the register dump: "Dr1: ", "Eip: " ... and the value that is
// written in hexadecimal after it.
struct RegisterLine {
    const char* label;
    unsigned long value;
};
const std::size_t kRegisterLines = 29;
// The lines after "Contextflags: " (which is written in decimal), Dr1 to
// Cr0NpxState.
void RegisterLines(const CONTEXT& context, RegisterLine (&lines)[kRegisterLines]) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
