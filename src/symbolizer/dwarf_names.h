// Function names, source places and inlined calls of offsets into module
// files, from their debug information (or separate debug files found by
// build id) and symbol tables, with elfutils' libdwfl/libdw. A module file is
// read once and kept, up to a fixed number of modules.
#ifndef ORNEH_SYMBOLIZER_DWARF_NAMES_H
#define ORNEH_SYMBOLIZER_DWARF_NAMES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Dwfl;
struct Dwfl_Module;

namespace orneh {
namespace symbolizer {

// One frame of source: a function, with the place in it (file empty when the
// debug information has none; then offset counts from the function's symbol).
struct SourceFrame {
    std::string function;  // demangled
    std::string file;      // without its directory
    int line;
    std::uintptr_t offset;
};

class DwarfNames {
public:
    DwarfNames() = default;
    ~DwarfNames();
    DwarfNames(const DwarfNames&) = delete;
    DwarfNames& operator=(const DwarfNames&) = delete;

    // The frames at offset (relative to the load base) in the module file at
    // path, an inlined function before the one it was inlined into; empty
    // when nothing is known of it, or when buildId (if not empty) is not the
    // file's: the module was replaced on disk after it was loaded.
    std::vector<SourceFrame> Frames(const std::string& path, const std::string& buildId,
                                     std::uint64_t offset);

private:
    struct Session {
        std::string key;
        Dwfl* dwfl;
        Dwfl_Module* module;  // null: the file cannot be used
        unsigned long lastUse;
    };
    Dwfl_Module* ModuleFor(const std::string& path, const std::string& buildId);

    std::vector<Session> m_sessions;
    unsigned long m_uses = 0;
};

}  // namespace symbolizer
}  // namespace orneh

#endif
