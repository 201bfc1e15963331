// Compiled resource files (.res): a leading 32-byte null entry, then one
// entry after another, each a header (sizes, type, name, language ...) and
// the data, both padded to four bytes.
#include <cerrno>
#include <cstring>

#include "resource/byte_reader.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

// DataSize, HeaderSize, two ordinal ids, and the 16 fixed bytes behind them.
constexpr std::size_t kMinHeaderSize = 32;
constexpr std::size_t kFixedTailSize = 16;

const std::uint8_t kNullEntry[32] = {0,    0,    0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0,
                                     0,    0,    0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    0,    0, 0};

// Reads a type or name field (0xFFFF + ordinal, or a NUL-terminated UTF-16
// string) at offset of header; advances offset behind it.
bool ReadName(const ByteReader& header, std::size_t& offset, ResName& out) {
    std::uint16_t first;
    if (!header.U16(offset, first)) return false;
    if (first == 0xFFFF) {
        std::uint16_t id;
        if (!header.U16(offset + 2, id)) return false;
        out = ResName();
        out.id = id;
        offset += 4;
        return true;
    }
    std::size_t units;
    if (!header.Utf16Length(offset, units)) return false;
    out = ResName();
    out.text = header.data() + offset;
    out.units = static_cast<std::uint32_t>(units);
    offset += (units + 1) * 2;
    return true;
}

bool Fail() {
    errno = EINVAL;
    return false;
}

}  // namespace

bool LooksLikeResFile(const std::uint8_t* data, std::size_t size) {
    return size >= sizeof kNullEntry && std::memcmp(data, kNullEntry, sizeof kNullEntry) == 0;
}

bool ParseResFile(const std::uint8_t* data, std::size_t size, EntryList& entries) {
    if (!LooksLikeResFile(data, size)) return Fail();
    ByteReader file(data, size);
    std::size_t offset = 0;
    while (offset < size) {
        std::uint32_t dataSize, headerSize;
        if (!file.U32(offset, dataSize) || !file.U32(offset + 4, headerSize)) return Fail();
        if (headerSize < kMinHeaderSize || !file.Has(offset, headerSize)) return Fail();

        ByteReader header(data + offset, headerSize);
        ResEntry entry;
        std::size_t at = 8;
        if (!ReadName(header, at, entry.type) || !ReadName(header, at, entry.name)) return Fail();
        at = AlignUp4(at);
        std::uint16_t language;
        if (!header.Has(at, kFixedTailSize) || !header.U16(at + 6, language)) return Fail();
        entry.language = language;

        std::size_t dataOffset = offset + headerSize;
        if (!file.Has(dataOffset, dataSize)) return Fail();
        entry.data = data + dataOffset;
        entry.size = dataSize;

        bool isNullEntry = entry.type.text == nullptr && entry.type.id == 0 && dataSize == 0;
        if (!isNullEntry && !entries.Add(entry)) {
            errno = ENOMEM;
            return false;
        }
        // The padding behind the last entry's data may be missing.
        offset = AlignUp4(dataOffset + dataSize);
    }
    return true;
}

}  // namespace resource
}  // namespace ornlang
