// Bounds-checked little-endian reading of a byte range. Every read that
// would leave the range fails instead, so parsers built on it cannot touch
// memory outside the loaded bytes whatever the input holds.
#ifndef ORNLANG_RESOURCE_BYTE_READER_H
#define ORNLANG_RESOURCE_BYTE_READER_H

#include <cstddef>
#include <cstdint>

namespace ornlang {
namespace resource {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t size() const { return m_size; }
    const std::uint8_t* data() const { return m_data; }

    // True when [offset, offset + length) lies inside the range.
    bool Has(std::size_t offset, std::size_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }

    bool U8(std::size_t offset, std::uint8_t& out) const {
        if (!Has(offset, 1)) return false;
        out = m_data[offset];
        return true;
    }
    bool U16(std::size_t offset, std::uint16_t& out) const {
        if (!Has(offset, 2)) return false;
        out = static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
        return true;
    }
    bool U32(std::size_t offset, std::uint32_t& out) const {
        if (!Has(offset, 4)) return false;
        out = static_cast<std::uint32_t>(m_data[offset]) |
              (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
              (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
              (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
        return true;
    }
    bool I16(std::size_t offset, std::int16_t& out) const {
        std::uint16_t value;
        if (!U16(offset, value)) return false;
        out = static_cast<std::int16_t>(value);
        return true;
    }

    // Length in UTF-16 units of the NUL-terminated string at offset (the
    // terminator not counted); false when no terminator lies in the range.
    bool Utf16Length(std::size_t offset, std::size_t& units) const {
        for (std::size_t at = offset;; at += 2) {
            std::uint16_t unit;
            if (!U16(at, unit)) return false;
            if (unit == 0) {
                units = (at - offset) / 2;
                return true;
            }
        }
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// Rounds offset up to the next multiple of four.
inline std::size_t AlignUp4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

}  // namespace resource
}  // namespace ornlang

#endif
