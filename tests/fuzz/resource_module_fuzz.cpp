// Fuzzes the resource-module parser from a memory buffer and, when the
// input parses, every lookup on each entry it indexed: find by id and by
// name, the strings of string bundles, dialog templates.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "OrnLangResource.h"
#include "resource/module.h"

namespace {

using ornlang::resource::FromHandle;
using ornlang::resource::Module;
using ornlang::resource::ResEntry;

// Reads every byte of a found entry, so a range outside the buffer shows.
unsigned Touch(const void* data, std::size_t size) {
    unsigned sum = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) sum += bytes[i];
    return sum;
}

// An ASCII name of a named entry, for the lookup by name.
std::string AsciiName(const ResEntry& entry) {
    std::string name;
    for (std::uint32_t i = 0; i < entry.name.units; ++i) {
        unsigned unit = entry.name.text[2 * i] | (entry.name.text[2 * i + 1] << 8);
        name += (unit > 0 && unit < 0x80) ? static_cast<char>(unit) : '?';
    }
    return name;
}

void ExerciseEntry(HINSTANCE module, const ResEntry& entry) {
    std::size_t size = 0;
    volatile unsigned sink = 0;
    if (entry.type.text) return;  // lookups take integer types only
    const unsigned type = entry.type.id;
    if (!entry.name.text) {
        const void* data = OrnResFind(module, type, entry.name.id, &size);
        if (type != 0 && entry.name.id != 0 && !data) std::abort();  // indexed but not found
        if (data) sink = sink + Touch(data, size);
        std::string byNumber = "#" + std::to_string(entry.name.id);
        if (OrnResFindNamed(module, byNumber.c_str(), type, &size) != data) std::abort();
    } else {
        std::string name = AsciiName(entry);
        const void* data = OrnResFindNamed(module, name.c_str(), type, &size);
        if (data) sink = sink + Touch(data, size);
    }
    if (type == ORN_RT_STRING && !entry.name.text && entry.name.id > 0) {
        char small[4], large[300];
        for (unsigned slot = 0; slot < 16; ++slot) {
            unsigned id = (entry.name.id - 1u) * 16u + slot;
            long length = OrnResLoadString(module, id, large, sizeof large);
            long again = OrnResLoadString(module, id, small, sizeof small);
            if (length != again || OrnResLoadString(module, id, nullptr, 0) != length) std::abort();
        }
    }
    if (type == ORN_RT_DIALOG && !entry.name.text) {
        OrnResDialog dialog;
        OrnResLoadDialog(module, entry.name.id, dialog);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HINSTANCE module = OrnResLoadModuleFromMemory(data, size, "fuzz");
    if (!module) return 0;
    const Module* parsed = FromHandle(module);
    for (std::size_t i = 0; i < parsed->entryCount; ++i) ExerciseEntry(module, parsed->entries[i]);
    OrnResFreeModule(module);
    return 0;
}
