// String resources: RT_STRING bundles of 16 counted UTF-16 strings; string
// id lies in bundle id / 16 + 1 at position id % 16.
#include "OrnLangResource.h"
#include "resource/byte_reader.h"
#include "resource/cp1252.h"
#include "resource/module.h"

using namespace ornlang::resource;

long OrnResLoadString(HINSTANCE handle, unsigned int id, char* buffer, std::size_t size) {
    if (!buffer) size = 0;
    if (size > 0) buffer[0] = '\0';
    const Module* module = FromHandle(handle);
    if (!module || id > 0xFFFF) return -1;
    const ResEntry* bundle = FindById(*module, ORN_RT_STRING, id / 16 + 1);
    if (!bundle) return -1;

    ByteReader strings(bundle->data, bundle->size);
    std::size_t offset = 0;
    for (unsigned int index = 0;; ++index) {
        std::uint16_t units;
        if (!strings.U16(offset, units) || !strings.Has(offset + 2, units * 2u)) return -1;
        if (index == id % 16) {
            // An empty slot is how a bundle marks a string it does not hold.
            if (units == 0) return -1;
            return static_cast<long>(Utf16ToCp1252(bundle->data + offset + 2, units, buffer, size));
        }
        offset += 2 + units * 2u;
    }
}
