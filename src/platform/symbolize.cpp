// Symbolizing with elfutils' libdwfl/libdw: it reads the process's modules
// from /proc, finds separate debug files by build id, and knows DWARF 5 (what
// g++ 12 writes) including the scopes of inlined calls.
#include "platform/symbolize.h"

#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

namespace orneh {
namespace platform {
namespace {

char* g_debugInfoPath = nullptr;  // the standard places

const Dwfl_Callbacks kCallbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    &g_debugInfoPath,
};

// A symbol's name for people: demangled, without a symbol version.
std::string Demangled(const char* name) {
    if (!name) return std::string();
    std::string symbol(name, std::strcspn(name, "@"));
    int status = 0;
    char* plain = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
    if (status == 0 && plain) symbol = plain;
    std::free(plain);
    return symbol;
}

bool Mangled(const char* name) { return name && name[0] == '_' && name[1] == 'Z'; }

std::string BaseName(const char* path) {
    if (!path) return std::string();
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The name of a function's scope: the linkage name demangled, else the
// symbol's when it is a C++ name (a function of internal linkage has no
// linkage name), else the plain name (C functions, main); abstract origins
// and declarations are followed.
std::string ScopeName(Dwarf_Die* scope, const char* symbolName) {
    Dwarf_Attribute attribute;
    const char* linkage = dwarf_formstring(dwarf_attr_integrate(scope, DW_AT_linkage_name, &attribute));
    if (!linkage) {
        linkage = dwarf_formstring(dwarf_attr_integrate(scope, DW_AT_MIPS_linkage_name, &attribute));
    }
    if (linkage) return Demangled(linkage);
    if (Mangled(symbolName)) return Demangled(symbolName);
    const char* name = dwarf_formstring(dwarf_attr_integrate(scope, DW_AT_name, &attribute));
    return name ? name : std::string();
}

// Where an inlined call was made: file and line in the function around it.
void CallSite(Dwarf_Die* cu, Dwarf_Die* inlined, std::string& file, int& line) {
    Dwarf_Attribute attribute;
    Dwarf_Word fileIndex = 0, lineNo = 0;
    file.clear();
    line = 0;
    if (dwarf_formudata(dwarf_attr(inlined, DW_AT_call_line, &attribute), &lineNo) == 0) {
        line = static_cast<int>(lineNo);
    }
    Dwarf_Files* files = nullptr;
    std::size_t count = 0;
    if (dwarf_formudata(dwarf_attr(inlined, DW_AT_call_file, &attribute), &fileIndex) == 0 &&
        dwarf_getsrcfiles(cu, &files, &count) == 0 && fileIndex < count) {
        file = BaseName(dwarf_filesrc(files, fileIndex, nullptr, nullptr));
    }
}

}  // namespace

Symbolizer::Symbolizer() noexcept : m_dwfl(dwfl_begin(&kCallbacks)) {
    if (!m_dwfl) return;
    if (dwfl_linux_proc_report(m_dwfl, getpid()) != 0 ||
        dwfl_report_end(m_dwfl, nullptr, nullptr) != 0) {
        dwfl_end(m_dwfl);
        m_dwfl = nullptr;
    }
}

Symbolizer::~Symbolizer() {
    if (m_dwfl) dwfl_end(m_dwfl);
}

std::vector<SourceFrame> Symbolizer::Frames(std::uintptr_t address) {
    std::vector<SourceFrame> frames;
    if (!m_dwfl) return frames;
    Dwfl_Module* module = dwfl_addrmodule(m_dwfl, address);
    if (!module) return frames;

    // The innermost place comes from the line table.
    std::string file;
    int line = 0;
    if (Dwfl_Line* entry = dwfl_module_getsrc(module, address)) {
        const char* path = dwfl_lineinfo(entry, nullptr, &line, nullptr, nullptr, nullptr);
        file = BaseName(path);
    }

    // The symbol table names the function the address lies in.
    GElf_Off offset = 0;
    GElf_Sym symbol;
    const char* symbolName =
        dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);

    Dwarf_Addr bias = 0;
    if (Dwarf_Die* cu = dwfl_module_addrdie(module, address, &bias)) {
        // The innermost scope, then the scopes that really contain it (the
        // scopes by address continue inside the inlined function's origin).
        Dwarf_Die* scopes = nullptr;
        int count = dwarf_getscopes(cu, address - bias, &scopes);
        if (count > 0) {
            Dwarf_Die innermost = scopes[0];
            std::free(scopes);
            scopes = nullptr;
            count = dwarf_getscopes_die(&innermost, &scopes);
        }
        for (int i = 0; i < count; ++i) {
            int tag = dwarf_tag(&scopes[i]);
            if (tag != DW_TAG_inlined_subroutine && tag != DW_TAG_subprogram) continue;
            bool outermost = tag == DW_TAG_subprogram;
            frames.push_back(
                SourceFrame{ScopeName(&scopes[i], outermost ? symbolName : nullptr), file, line, 0});
            if (outermost) break;
            CallSite(cu, &scopes[i], file, line);
        }
        std::free(scopes);
    }
    if (!frames.empty() && !frames.back().function.empty()) return frames;

    // No debug information for it: the symbol table gives the name and the
    // offset; a line found elsewhere would belong to other code.
    frames.clear();
    if (symbolName) {
        frames.push_back(SourceFrame{Demangled(symbolName), std::string(), 0,
                                     static_cast<std::uintptr_t>(offset)});
    }
    return frames;
}

}  // namespace platform
}  // namespace orneh
