// The symbolizer program's own allocator front: every allocation goes
// through it to the C library's, so that the program knows when one failed
// (libdw's state after that is not to be trusted: the program ends after
// its answer), and so that a test can make the n-th allocation fail, or
// every one from the n-th on.
#ifndef ORNEH_SYMBOLIZER_ALLOCATION_GUARD_H
#define ORNEH_SYMBOLIZER_ALLOCATION_GUARD_H

namespace orneh {
namespace symbolizer {

// From now on, the n-th allocation fails (n >= 1), and with sticky every
// later one too.
void FailAllocation(unsigned long n, bool sticky) noexcept;
// Whether an allocation has failed since the program started.
bool AllocationFailed() noexcept;

}  // namespace symbolizer
}  // namespace orneh

#endif
