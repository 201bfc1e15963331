// Finding entries by type and integer id or by name.
#include <cstdlib>

#include "OrnLangResource.h"
#include "resource/cp1252.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

bool IsId(const ResName& name, std::uint32_t id) { return !name.text && name.id == id; }

unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// A named entry matches a 1252 name when both have the same characters,
// ASCII letters compared without case.
bool NameMatches(const ResName& entryName, const char* name) {
    if (!entryName.text) return false;
    std::size_t i = 0;
    for (; name[i]; ++i) {
        if (i >= entryName.units) return false;
        std::uint16_t unit = static_cast<std::uint16_t>(entryName.text[2 * i] | (entryName.text[2 * i + 1] << 8));
        std::uint16_t wanted = Cp1252ToUnicode(static_cast<unsigned char>(name[i]));
        if (unit < 0x80 && wanted < 0x80) {
            if (AsciiLower(static_cast<unsigned char>(unit)) != AsciiLower(static_cast<unsigned char>(wanted)))
                return false;
        } else if (unit != wanted) {
            return false;
        }
    }
    return i == entryName.units;
}

// "#123" stands for the integer id 123 (decimal, 1 to 65535).
bool ParseIdName(const char* name, std::uint32_t& id) {
    if (name[0] != '#' || !name[1]) return false;
    std::uint32_t value = 0;
    for (const char* p = name + 1; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(*p - '0');
        if (value > 0xFFFF) return false;
    }
    id = value;
    return true;
}

const void* Result(const ResEntry* entry, std::size_t* size) {
    if (size) *size = entry ? entry->size : 0;
    return entry ? entry->data : nullptr;
}

}  // namespace

const ResEntry* FindById(const Module& module, std::uint32_t type, std::uint32_t id) {
    if (type == 0 || type > 0xFFFF || id == 0 || id > 0xFFFF) return nullptr;
    for (std::size_t i = 0; i < module.entryCount; ++i) {
        const ResEntry& entry = module.entries[i];
        if (IsId(entry.type, type) && IsId(entry.name, id)) return &entry;
    }
    return nullptr;
}

}  // namespace resource
}  // namespace ornlang

using namespace ornlang::resource;

const void* OrnResFind(HINSTANCE handle, unsigned int type, unsigned int id, std::size_t* size) {
    const Module* module = FromHandle(handle);
    return Result(module ? FindById(*module, type, id) : nullptr, size);
}

const void* OrnResFindNamed(HINSTANCE handle, const char* name, unsigned int type, std::size_t* size) {
    const Module* module = FromHandle(handle);
    if (!module || !name || !*name || type == 0 || type > 0xFFFF) return Result(nullptr, size);
    std::uint32_t id;
    if (ParseIdName(name, id)) return Result(FindById(*module, type, id), size);
    for (std::size_t i = 0; i < module->entryCount; ++i) {
        const ResEntry& entry = module->entries[i];
        if (IsId(entry.type, type) && NameMatches(entry.name, name)) return Result(&entry, size);
    }
    return Result(nullptr, size);
}
