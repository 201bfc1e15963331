// Helpers of the resource-module tests: the modules built from
// resource_data/*.rc, .res files with hand-made entries, a minimal PE image
// around a resource section, and every lookup at once.
#ifndef ZKQ_TESTS_LANG_RESOURCE_TEST_SUPPORT_H
#define ZKQ_TESTS_LANG_RESOURCE_TEST_SUPPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "OrnLangResource.h"
#include "support/test_util.h"

namespace restest {

inline std::string ModuleBytes(const char* file) { return zkqtest::ReadFile(std::string(ZKQ_RESOURCE_TEST_DIR) + "/" + file); }

// A loaded module, freed at scope exit.
using Module = std::unique_ptr<HINSTANCE__, void (*)(HINSTANCE)>;
inline Module Load(const std::string& path) { return Module(OrnResLoadModule(path.c_str()), OrnResFreeModule); }
inline Module FromBytes(const std::string& bytes, const char* name = "memory") {
    return Module(OrnResLoadModuleFromMemory(bytes.data(), bytes.size(), name), OrnResFreeModule);
}

// A little-endian field of bytes bytes.
inline void Put(std::string& out, std::uint32_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}
// A UTF-16LE string of ASCII text, without terminator.
inline std::string Wide(const char* text) {
    std::string out;
    for (; *text; ++text) Put(out, static_cast<unsigned char>(*text), 2);
    return out;
}
// An integer type or name: 0xFFFF and the number.
inline std::string Ordinal(std::uint16_t id) {
    std::string out("\xFF\xFF", 2);
    Put(out, id, 2);
    return out;
}

// A .res file written entry by entry as windres lays it out; type and name
// are raw fields: Ordinal(n), or a Wide() name with its terminator.
class ResBuilder {
public:
    ResBuilder& Add(const std::string& type, const std::string& name, const std::string& data) {
        std::string header = type + name;
        while ((header.size() + 8) % 4) header += '\0';
        Put(header, 0), Put(header, 0x1030, 2), Put(header, 0x0409, 2), Put(header, 0), Put(header, 0);
        Put(m_bytes, static_cast<std::uint32_t>(data.size())), Put(m_bytes, static_cast<std::uint32_t>(header.size() + 8));
        m_bytes += header + data;
        while (m_bytes.size() % 4) m_bytes += '\0';
        return *this;
    }
    ResBuilder& Add(std::uint16_t type, std::uint16_t id, const std::string& data) { return Add(Ordinal(type), Ordinal(id), data); }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes = std::string("\0\0\0\0\x20\0\0\0\xFF\xFF\0\0\xFF\xFF\0\0", 16) + std::string(16, '\0');  // the null entry
};

// A minimal PE32 (plus: PE32+) image whose one section, at rva, holds the
// resource section bytes.
inline std::string MakePe(const std::string& section, std::uint32_t rva, bool plus) {
    const std::uint32_t optionalSize = plus ? 240 : 224, directories = plus ? 112 : 96;
    const auto size = static_cast<std::uint32_t>(section.size());
    std::string pe = std::string("MZ") + std::string(0x3A, '\0');
    Put(pe, 0x40), pe += std::string("PE\0\0", 4);
    Put(pe, plus ? 0x8664 : 0x14C, 2), Put(pe, 1, 2), Put(pe, 0), Put(pe, 0), Put(pe, 0), Put(pe, optionalSize, 2), Put(pe, 0x2102, 2);
    // The optional header: its magic, 16 data directories, the third (resources) at rva.
    Put(pe, plus ? 0x20B : 0x10B, 2), pe.append(directories - 6, '\0'), Put(pe, 16), pe.append(16, '\0'), Put(pe, rva), Put(pe, size);
    pe.append(optionalSize - directories - 24, '\0'), pe += std::string(".rsrc\0\0\0", 8);
    Put(pe, size), Put(pe, rva), Put(pe, size), Put(pe, 0x200), pe.resize(0x200, '\0');
    return pe + section;
}

// Runs every kind of lookup on module; the results do not matter, only
// that nothing reads outside the module (checked by AddressSanitizer).
inline void ExerciseAllLookups(HINSTANCE module) {
    std::size_t size = 0;
    char buffer[64];
    OrnResDialog dialog;
    for (unsigned type : {1u, 2u, 3u, 4u, 5u, 6u, 10u, 16u}) {
        for (unsigned id : {1u, 2u, 5u, 100u, 101u, 102u, 300u, 381u, 2101u}) {
            const void* data = OrnResFind(module, type, id, &size);
            if (data && size) buffer[0] = static_cast<const char*>(data)[size - 1];
        }
        OrnResFindNamed(module, "MyData", type, &size), OrnResFindNamed(module, "#5", type, &size);
    }
    for (unsigned id = 0; id < 40; ++id) OrnResLoadString(module, id, buffer, sizeof buffer);
    OrnResLoadString(module, 4660, buffer, sizeof buffer);
    for (unsigned id : {100u, 101u, 102u, 2101u}) OrnResLoadDialog(module, id, dialog);
}

}  // namespace restest

#endif
