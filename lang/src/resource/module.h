// The in-memory form of a loaded resource module: the file's bytes (with
// zero padding behind them) and an index of its entries. A module handle
// (HINSTANCE) is the address of a Module.
#ifndef ORNLANG_RESOURCE_MODULE_H
#define ORNLANG_RESOURCE_MODULE_H

#include <cstddef>
#include <cstdint>

#include "compat/OrnEhWinTypes.h"

namespace ornlang {
namespace resource {

// Zero bytes kept behind the loaded file, so that a walk over a table whose
// end mark is missing meets zeros inside the buffer before leaving it.
constexpr std::size_t kTailPadding = 32;

// A resource type or name: an integer id, or a UTF-16LE string (counted,
// pointing into the module's bytes).
struct ResName {
    const std::uint8_t* text = nullptr;  // null: integer id
    std::uint32_t units = 0;             // length of text in UTF-16 units
    std::uint16_t id = 0;
};

struct ResEntry {
    ResName type;
    ResName name;
    std::uint16_t language = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// A growable array of entries in heap blocks of its own.
class EntryList {
public:
    EntryList() = default;
    ~EntryList();
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    // False when memory runs out.
    bool Add(const ResEntry& entry);
    std::size_t count() const { return m_count; }
    const ResEntry& operator[](std::size_t index) const { return m_entries[index]; }
    // Hands the array over (the caller frees it with std::free).
    ResEntry* Release(std::size_t& count);

private:
    ResEntry* m_entries = nullptr;
    std::size_t m_count = 0;
    std::size_t m_capacity = 0;
};

struct Module {
    std::uint32_t magic;
    char* path;                 // owned copy
    std::uint8_t* bytes;        // owned: size + kTailPadding bytes
    std::size_t size;
    ResEntry* entries;          // owned
    std::size_t entryCount;
};

constexpr std::uint32_t kModuleMagic = 0x4d525a4fu;

// The module behind a handle, or null for null or a handle that is not ours.
const Module* FromHandle(HINSTANCE handle);

// Parsers over the loaded bytes: fill entries and return true, or return
// false for input of another kind or malformed input (errno is then set to
// EINVAL or ENOMEM).
bool LooksLikeResFile(const std::uint8_t* data, std::size_t size);
bool ParseResFile(const std::uint8_t* data, std::size_t size, EntryList& entries);
bool LooksLikePeImage(const std::uint8_t* data, std::size_t size);
bool ParsePeImage(const std::uint8_t* data, std::size_t size, EntryList& entries);

// The set of loaded modules, for OrnResEntryExtent.
void RegisterLiveModule(const Module* module);
void UnregisterLiveModule(const Module* module);

// The first entry of the given type and integer id (any language).
const ResEntry* FindById(const Module& module, std::uint32_t type, std::uint32_t id);

}  // namespace resource
}  // namespace ornlang

#endif
