// The build id is read from the loaded image: its ELF header at the start of
// its first mapping, the program headers right behind it (always within the
// first page), and the note segment, looked at only where a readable load
// segment maps it.
#include "platform/module_identity.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <unistd.h>

#include "platform/stacktrace.h"

namespace orneh {
namespace platform {
namespace {

struct Hash {
    std::uint64_t value = 0xcbf29ce484222325ull;  // FNV-1a
    void Add(const void* data, std::size_t length) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < length; ++i) value = (value ^ bytes[i]) * 0x100000001b3ull;
    }
};

std::size_t AlignUp(std::size_t value, std::size_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))

// Whether [start, start + length) lies in a readable load segment's file
// bytes.
bool Readable(const ElfW(Phdr)* headers, int count, ElfW(Addr) base, std::uintptr_t start, std::size_t length) {
    for (int i = 0; i < count; ++i) {
        const ElfW(Phdr)& h = headers[i];
        if (h.p_type != PT_LOAD || !(h.p_flags & PF_R)) continue;
        const std::uintptr_t from = base + h.p_vaddr;
        if (start >= from && length <= h.p_filesz && start - from <= h.p_filesz - length) return true;
    }
    return false;
}

// The GNU build id among the notes at [start, start + length).
std::size_t BuildIdInNotes(std::uintptr_t start, std::size_t length, std::size_t alignment, unsigned char* out) {
    std::size_t at = 0;
    while (length - at >= sizeof(ElfW(Nhdr))) {
        ElfW(Nhdr) note;
        std::memcpy(&note, reinterpret_cast<const void*>(start + at), sizeof note);
        const std::size_t name = at + sizeof note;
        const std::size_t desc = name + AlignUp(note.n_namesz, alignment);
        if (note.n_namesz > length || desc > length || note.n_descsz > length - desc) return 0;
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
            std::memcmp(reinterpret_cast<const void*>(start + name), "GNU", 4) == 0) {
            if (note.n_descsz == 0 || note.n_descsz > kMaxBuildIdBytes) return 0;
            std::memcpy(out, reinterpret_cast<const void*>(start + desc), note.n_descsz);
            return note.n_descsz;
        }
        at = desc + AlignUp(note.n_descsz, alignment);
    }
    return 0;
}

std::size_t BuildIdOf(const struct dl_find_object& found, unsigned char* out) {
    const auto start = reinterpret_cast<std::uintptr_t>(found.dlfo_map_start);
    const auto end = reinterpret_cast<std::uintptr_t>(found.dlfo_map_end);
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (!found.dlfo_link_map || end <= start || end - start < page) return 0;
    ElfW(Ehdr) header;
    std::memcpy(&header, found.dlfo_map_start, sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_phentsize != sizeof(ElfW(Phdr)) ||
        header.e_phoff > page || header.e_phnum > (page - header.e_phoff) / sizeof(ElfW(Phdr))) {
        return 0;
    }
    const auto* headers = reinterpret_cast<const ElfW(Phdr)*>(start + header.e_phoff);
    const ElfW(Addr) base = found.dlfo_link_map->l_addr;
    for (int i = 0; i < header.e_phnum; ++i) {
        const ElfW(Phdr)& h = headers[i];
        if (h.p_type != PT_NOTE || !Readable(headers, header.e_phnum, base, base + h.p_vaddr, h.p_filesz)) continue;
        std::size_t length = BuildIdInNotes(base + h.p_vaddr, h.p_filesz, h.p_align == 8 ? 8 : 4, out);
        if (length) return length;
    }
    return 0;
}

#endif

}  // namespace

bool IdentifyModule(std::uintptr_t address, ModuleIdentity& out) noexcept {
    if (!FindModule(address, &out.path, &out.offset)) return false;
    out.buildIdLength = 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))
    struct dl_find_object found;
    if (_dl_find_object(reinterpret_cast<void*>(address), &found) == 0) out.buildIdLength = BuildIdOf(found, out.buildId);
#endif
    Hash hash;
    if (out.buildIdLength) {
        hash.Add(out.buildId, out.buildIdLength);
    } else {
        const std::uintptr_t base = address - out.offset;
        hash.Add(out.path, std::strlen(out.path));
        hash.Add(&base, sizeof base);
    }
    out.key = hash.value ? hash.value : 1;
    return true;
}

}  // namespace platform
}  // namespace orneh
