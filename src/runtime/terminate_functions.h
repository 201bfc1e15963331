// The process-wide list of functions the last-resort handlers call.
#ifndef ORNEH_RUNTIME_TERMINATE_FUNCTIONS_H
#define ORNEH_RUNTIME_TERMINATE_FUNCTIONS_H

namespace orneh {
namespace runtime {

// Calls every registered function once, the newest registration first.
void CallTerminateFunctions();

}  // namespace runtime
}  // namespace orneh

#endif
