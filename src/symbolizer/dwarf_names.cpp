// Symbolizing with elfutils' libdwfl/libdw: it finds separate debug files by
// build id and knows DWARF 5 (what g++ 12 writes) including the scopes of
// inlined calls. Each module file is reported on its own at its link-time
// addresses, so that an offset into it is an address of its session.
#include "symbolizer/dwarf_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdwfl.h>
#include <sys/stat.h>

namespace orneh {
namespace symbolizer {
namespace {

const std::size_t kMaxSessions = 16;

char* g_debugInfoPath = nullptr;  // the standard places

const Dwfl_Callbacks kCallbacks = {
    dwfl_build_id_find_elf,
    dwfl_standard_find_debuginfo,
    dwfl_offline_section_address,
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

// A module file is the same as long as its build id is; without one, as
// long as the file at its path is.
std::string SessionKey(const std::string& path, const std::string& buildId) {
    if (!buildId.empty()) return "id:" + buildId;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::string();
    char identity[96];
    std::snprintf(identity, sizeof identity, "%lx:%lx:%lx:%lx:", static_cast<unsigned long>(st.st_dev),
                  static_cast<unsigned long>(st.st_ino), static_cast<unsigned long>(st.st_mtime),
                  static_cast<unsigned long>(st.st_size));
    return identity + path;
}

// The module of path at its link-time addresses; null when the file cannot
// be read or is not the one with buildId.
Dwfl_Module* Report(Dwfl* dwfl, const std::string& path, const std::string& buildId) {
    dwfl_report_begin(dwfl);
    Dwfl_Module* module = dwfl_report_elf(dwfl, path.c_str(), path.c_str(), -1, 0, true);
    if (dwfl_report_end(dwfl, nullptr, nullptr) != 0 || !module) return nullptr;
    if (buildId.empty()) return module;
    const unsigned char* bits = nullptr;
    GElf_Addr where = 0;
    int length = dwfl_module_build_id(module, &bits, &where);
    if (length <= 0 || static_cast<std::size_t>(length) != buildId.size() ||
        std::memcmp(bits, buildId.data(), buildId.size()) != 0) {
        return nullptr;
    }
    return module;
}

}  // namespace

DwarfNames::~DwarfNames() {
    for (Session& session : m_sessions) dwfl_end(session.dwfl);
}

Dwfl_Module* DwarfNames::ModuleFor(const std::string& path, const std::string& buildId) {
    const std::string key = SessionKey(path, buildId);
    if (key.empty()) return nullptr;
    ++m_uses;
    for (Session& session : m_sessions) {
        if (session.key != key) continue;
        session.lastUse = m_uses;
        return session.module;
    }
    Dwfl* dwfl = dwfl_begin(&kCallbacks);
    if (!dwfl) return nullptr;
    if (m_sessions.size() == kMaxSessions) {
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
            if (it->lastUse < oldest->lastUse) oldest = it;
        }
        dwfl_end(oldest->dwfl);
        m_sessions.erase(oldest);
    }
    m_sessions.push_back(Session{key, dwfl, Report(dwfl, path, buildId), m_uses});
    return m_sessions.back().module;
}

std::vector<SourceFrame> DwarfNames::Frames(const std::string& path, const std::string& buildId,
                                            std::uint64_t offset) {
    std::vector<SourceFrame> frames;
    Dwfl_Module* module = ModuleFor(path, buildId);
    if (!module) return frames;
    const Dwarf_Addr address = offset;

    // The innermost place comes from the line table.
    std::string file;
    int line = 0;
    if (Dwfl_Line* entry = dwfl_module_getsrc(module, address)) {
        const char* source = dwfl_lineinfo(entry, nullptr, &line, nullptr, nullptr, nullptr);
        file = BaseName(source);
    }

    // The symbol table names the function the address lies in.
    GElf_Off symbolOffset = 0;
    GElf_Sym symbol;
    const char* symbolName =
        dwfl_module_addrinfo(module, address, &symbolOffset, &symbol, nullptr, nullptr, nullptr);

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
                                     static_cast<std::uintptr_t>(symbolOffset)});
    }
    return frames;
}

}  // namespace symbolizer
}  // namespace orneh
