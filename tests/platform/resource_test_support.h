// Helpers of the resource-module tests: paths of the modules built from
// resource_data/*.rc, a builder for .res files with hand-made entries, and
// minimal PE images around a resource section.
#ifndef ZKQ_TESTS_PLATFORM_RESOURCE_TEST_SUPPORT_H
#define ZKQ_TESTS_PLATFORM_RESOURCE_TEST_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <string>

#include "OrnLangResource.h"
#include "support/test_util.h"

namespace restest {

inline std::string ModulePath(const char* file) { return std::string(ZKQ_RESOURCE_TEST_DIR) + "/" + file; }

inline std::string ModuleBytes(const char* file) { return zkqtest::ReadFile(ModulePath(file)); }

// Frees the module at scope exit.
class ModuleGuard {
public:
    explicit ModuleGuard(HINSTANCE module) : m_module(module) {}
    ~ModuleGuard() { OrnResFreeModule(m_module); }
    ModuleGuard(const ModuleGuard&) = delete;
    ModuleGuard& operator=(const ModuleGuard&) = delete;
    HINSTANCE get() const { return m_module; }

private:
    HINSTANCE m_module;
};

inline HINSTANCE FromBytes(const std::string& bytes, const char* name = "memory") {
    return OrnResLoadModuleFromMemory(bytes.data(), bytes.size(), name);
}

inline void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
inline void Set32(std::string& out, std::size_t at, std::uint32_t value) {
    std::string bytes;
    Put32(bytes, value);
    out.replace(at, 4, bytes);
}
inline std::uint32_t Get32(const std::string& in, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in.at(at + i));
    return value;
}
inline std::uint16_t Get16(const std::string& in, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(in.at(at)) |
                                      (static_cast<unsigned char>(in.at(at + 1)) << 8));
}
inline void PadTo4(std::string& out) {
    while (out.size() % 4) out += '\0';
}
// A UTF-16LE string of ASCII text, without terminator.
inline std::string Wide(const char* text) {
    std::string out;
    for (; *text; ++text) Put16(out, static_cast<unsigned char>(*text));
    return out;
}

// A .res file written entry by entry, as windres lays it out.
class ResBuilder {
public:
    ResBuilder() {
        Put32(m_bytes, 0);
        Put32(m_bytes, 32);
        Put32(m_bytes, 0x0000FFFF);
        Put32(m_bytes, 0x0000FFFF);
        m_bytes.append(16, '\0');
    }
    // typeField and nameField are raw fields: Ordinal(n) or a Wide() name
    // with its terminator.
    ResBuilder& Add(const std::string& typeField, const std::string& nameField, const std::string& data) {
        std::string header;
        header += typeField;
        header += nameField;
        while ((header.size() + 8) % 4) header += '\0';
        Put32(header, 0);       // DataVersion
        Put16(header, 0x1030);  // MemoryFlags
        Put16(header, 0x0409);  // LanguageId
        Put32(header, 0);       // Version
        Put32(header, 0);       // Characteristics
        Put32(m_bytes, static_cast<std::uint32_t>(data.size()));
        Put32(m_bytes, static_cast<std::uint32_t>(header.size() + 8));
        m_bytes += header;
        m_bytes += data;
        PadTo4(m_bytes);
        return *this;
    }
    ResBuilder& Add(std::uint16_t type, std::uint16_t id, const std::string& data) {
        return Add(Ordinal(type), Ordinal(id), data);
    }
    static std::string Ordinal(std::uint16_t id) {
        std::string out;
        Put16(out, 0xFFFF);
        Put16(out, id);
        return out;
    }
    static std::string Name(const char* text) {
        std::string out = Wide(text);
        Put16(out, 0);
        return out;
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// The raw resource section of a PE image, with its virtual address and the
// size the data directory gives; false when the image has none.
struct ResourceSection {
    std::string bytes;
    std::uint32_t virtualAddress = 0;
    std::uint32_t directorySize = 0;
};

inline bool ExtractResourceSection(const std::string& pe, ResourceSection& out) {
    std::uint32_t peOffset = Get32(pe, 0x3C);
    std::size_t coff = peOffset + 4;
    std::uint16_t sections = Get16(pe, coff + 2);
    std::uint16_t optionalSize = Get16(pe, coff + 16);
    std::size_t optional = coff + 20;
    std::size_t directories = Get16(pe, optional) == 0x20B ? 112 : 96;
    std::uint32_t rva = Get32(pe, optional + directories + 16);
    out.directorySize = Get32(pe, optional + directories + 20);
    std::size_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sections; ++i) {
        std::size_t at = table + i * 40u;
        if (Get32(pe, at + 12) != rva) continue;
        out.virtualAddress = rva;
        out.bytes = pe.substr(Get32(pe, at + 20), Get32(pe, at + 16));
        return true;
    }
    return false;
}

// A minimal PE32 (plus: PE32+) image with one section holding section at
// its virtual address, named by the resource data directory.
inline std::string MakePe(const ResourceSection& section, bool plus) {
    const std::size_t optionalSize = plus ? 240 : 224;
    std::string pe(0x40, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    Set32(pe, 0x3C, 0x40);
    pe += std::string("PE\0\0", 4);
    Put16(pe, plus ? 0x8664 : 0x14C);
    Put16(pe, 1);  // sections
    Put32(pe, 0);
    Put32(pe, 0);
    Put32(pe, 0);
    Put16(pe, static_cast<std::uint32_t>(optionalSize));
    Put16(pe, 0x2102);
    std::string optional(optionalSize, '\0');
    optional[0] = '\x0B';
    optional[1] = plus ? '\x02' : '\x01';
    std::size_t directories = plus ? 112 : 96;
    Set32(optional, directories - 4, 16);
    Set32(optional, directories + 16, section.virtualAddress);
    Set32(optional, directories + 20, section.directorySize);
    pe += optional;
    std::string header(".rsrc\0\0\0", 8);
    Put32(header, static_cast<std::uint32_t>(section.bytes.size()));
    Put32(header, section.virtualAddress);
    Put32(header, static_cast<std::uint32_t>(section.bytes.size()));
    Put32(header, 0x200);
    header.append(16, '\0');
    pe += header;
    pe.resize(0x200, '\0');
    pe += section.bytes;
    return pe;
}

// Runs every kind of lookup on module; the results do not matter, only
// that nothing reads outside the module (checked by AddressSanitizer).
inline void ExerciseAllLookups(HINSTANCE module) {
    std::size_t size = 0;
    for (unsigned type : {1u, 2u, 3u, 4u, 5u, 6u, 10u, 16u}) {
        for (unsigned id : {1u, 2u, 5u, 100u, 101u, 102u, 300u, 381u, 2101u}) {
            const void* data = OrnResFind(module, type, id, &size);
            if (data && size) {
                volatile unsigned char last = static_cast<const unsigned char*>(data)[size - 1];
                (void)last;
            }
        }
        OrnResFindNamed(module, "MyData", type, &size);
        OrnResFindNamed(module, "#5", type, &size);
    }
    char buffer[64];
    for (unsigned id = 0; id < 40; ++id) OrnResLoadString(module, id, buffer, sizeof buffer);
    OrnResLoadString(module, 4660, buffer, sizeof buffer);
    for (unsigned id = 2110; id <= 2137; ++id) OrnResLoadString(module, id, buffer, sizeof buffer);
    OrnResDialog dialog;
    for (unsigned id : {100u, 101u, 102u, 2101u}) OrnResLoadDialog(module, id, dialog);
}

}  // namespace restest

#endif
