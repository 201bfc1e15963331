// Function names, source places and inlined calls for the frames of call
// stacks. They come from the library's symbolizer program
// (lib/ZKQTRNEH113/ZKQTRNEH113_symbolizer, src/symbolizer/), started when a
// stack first needs names and kept for later ones; what it said is kept in a
// fixed-size cache, so that a stack seen before needs no question. libdw
// never runs in this process: a program that dies, hangs or talks nonsense
// costs the names it did not give, never the process, and is started again
// for the next stack.
//
// Nothing here allocates; the lock is waited for at most the caller's bound,
// and the program is started without signal handler, allocation, lock or
// fork handler on the way (platform/helper_process.h). So a last-resort
// handler may ask for names too, on the alternate signal stack and while the
// faulting thread holds the allocator's or the loader's lock.
#ifndef ORNEH_PLATFORM_SYMBOLIZE_H
#define ORNEH_PLATFORM_SYMBOLIZE_H

#include <cstddef>
#include <cstdint>

#include "platform/stacktrace.h"

namespace orneh {
namespace platform {

// One frame of source: a function, with the place in it (file empty when the
// debug information has none; then offset counts from the function's symbol).
struct SourceFrame {
    const char* function;  // demangled; empty when only the module is known
    const char* file;      // without its directory
    int line;
    std::uintptr_t offset;
};

// The names of one stack's frames. Fixed size (about 70 KiB, so not for a
// signal stack): names that do not fit are left out, and their frames stay
// without.
class StackNames {
public:
    static constexpr int kMaxSourceFrames = 256;
    static constexpr std::size_t kTextBytes = 64 * 1024;

    StackNames() noexcept { Clear(); }
    StackNames(const StackNames&) = delete;
    StackNames& operator=(const StackNames&) = delete;

    // The source frames of frame i of the stack (0: none known), an inlined
    // function before the one it was inlined into.
    int Count(int frame) const noexcept { return m_ranges[frame].count; }
    const SourceFrame& At(int frame, int k) const noexcept { return m_frames[m_ranges[frame].first + k]; }
    bool Any() const noexcept { return m_frameCount > 0; }

    void Clear() noexcept;
    // Gives frame i the source frames of an answer of the symbolizer
    // (symbolizer/protocol.h, the bytes after its length); false when the
    // bytes are no answer or do not fit (then frame i keeps none).
    bool AddAnswer(int frame, const char* answer, std::size_t size) noexcept;

private:
    const char* Text(const char* text, std::size_t length) noexcept;

    struct Range {
        std::uint16_t first;
        std::uint16_t count;
    };
    Range m_ranges[kMaxStackFrames];
    SourceFrame m_frames[kMaxSourceFrames];
    char m_text[kTextBytes];
    int m_frameCount;
    std::size_t m_textUsed;
};

// Names for the frames of stack (at LookupAddress of each), waiting at most
// boundMs milliseconds in all. False when there are none (then names has
// none either); names says which frames have them.
bool Symbolize(const CallStack& stack, int boundMs, StackNames& names) noexcept;

// For tests and benchmarks.
namespace symbolizetest {
// The programs started from now on get arg as an extra argument (their test
// arguments, src/symbolizer/main.cpp); null: none.
void SetHelperArgument(const char* arg) noexcept;
// Stops the program, empties the cache and forgets earlier failures.
void Reset() noexcept;
// Stops the program only (the cache stays), or empties the cache only.
void StopHelper() noexcept;
void ClearCache() noexcept;
// How many programs ended or stopped answering in the middle of a request.
unsigned long ProgramsLost() noexcept;
}  // namespace symbolizetest

}  // namespace platform
}  // namespace orneh

#endif
