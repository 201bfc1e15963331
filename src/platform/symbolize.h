// Function names, source places and inlined calls of code addresses, from
// the debug information and symbol tables of this process's modules. Not for
// a signal handler: it allocates and reads files. One Symbolizer belongs to
// one thread at a time.
#ifndef ORNEH_PLATFORM_SYMBOLIZE_H
#define ORNEH_PLATFORM_SYMBOLIZE_H

#include <cstdint>
#include <string>
#include <vector>

struct Dwfl;

namespace orneh {
namespace platform {

// One frame of source: a function, with the place in it (file empty when the
// debug information has none; then offset counts from the function's symbol).
struct SourceFrame {
    std::string function;  // demangled
    std::string file;      // without its directory
    int line;
    std::uintptr_t offset;
};

class Symbolizer {
public:
    // Reads the list of the process's modules; never throws (without it,
    // every lookup finds nothing).
    Symbolizer() noexcept;
    ~Symbolizer();
    Symbolizer(const Symbolizer&) = delete;
    Symbolizer& operator=(const Symbolizer&) = delete;

    // The frames at address, an inlined function before the one it was
    // inlined into; empty when nothing is known of it.
    std::vector<SourceFrame> Frames(std::uintptr_t address);

private:
    Dwfl* m_dwfl;
};

}  // namespace platform
}  // namespace orneh

#endif
