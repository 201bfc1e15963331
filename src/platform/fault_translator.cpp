#include "platform/fault_translator.h"

#include "platform/signals.h"

namespace orneh {
namespace platform {
namespace {
thread_local _se_translator_function t_translator = nullptr;
}

_se_translator_function SetSeTranslator(_se_translator_function fn) noexcept {
    _se_translator_function previous = t_translator;
    if (fn) PrepareThreadForFaults();
    t_translator = fn;
    return previous;
}

_se_translator_function GetSeTranslator() noexcept { return t_translator; }

}  // namespace platform
}  // namespace orneh
