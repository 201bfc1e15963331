// The per-thread structured-exception translator: the function a fault in
// this thread is handed to (with the code and the copied records) so that it
// can throw an exception from the faulting point.
#ifndef ORNEH_PLATFORM_FAULT_TRANSLATOR_H
#define ORNEH_PLATFORM_FAULT_TRANSLATOR_H

#include "compat/OrnEhSeh.h"

namespace orneh {
namespace platform {

// Installs fn as the calling thread's translator (null removes it) and
// prepares the thread to receive faults; returns the previous translator.
_se_translator_function SetSeTranslator(_se_translator_function fn) noexcept;

// The calling thread's translator, or null.
_se_translator_function GetSeTranslator() noexcept;

}  // namespace platform
}  // namespace orneh

#endif
