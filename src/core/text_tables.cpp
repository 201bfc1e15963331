#include "core/text_tables.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "OrnLangResource.h"

namespace orneh {
namespace core {
namespace {

// A cursor over size bytes that refuses every read past the end.
class TableReader {
public:
    TableReader(const void* data, std::size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_left(size) {}

    bool U32(unsigned long& value) {
        if (m_left < 4) return false;
        value = static_cast<unsigned long>(m_data[0]) | static_cast<unsigned long>(m_data[1]) << 8 |
                static_cast<unsigned long>(m_data[2]) << 16 |
                static_cast<unsigned long>(m_data[3]) << 24;
        Skip(4);
        return true;
    }

    bool U16(short& value) {
        if (m_left < 2) return false;
        value = static_cast<short>(static_cast<std::uint16_t>(m_data[0] | m_data[1] << 8));
        Skip(2);
        return true;
    }

    // A NUL-terminated text that ends inside the table.
    bool Text(const char*& text) {
        const void* nul = std::memchr(m_data, 0, m_left);
        if (!nul) return false;
        text = reinterpret_cast<const char*>(m_data);
        Skip(static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - m_data) + 1);
        return true;
    }

    bool Skip(std::size_t bytes) {
        if (m_left < bytes) return false;
        m_data += bytes;
        m_left -= bytes;
        return true;
    }

private:
    const unsigned char* m_data;
    std::size_t m_left;
};

}  // namespace

bool FindTextRecord(const void* table, std::size_t size, unsigned long textNo, TextRecord& out) {
    if (!table) return false;
    TableReader reader(table, size);
    for (;;) {
        unsigned long number = 0;
        const char* text = nullptr;
        if (!reader.U32(number) || number == 0 || !reader.Text(text)) return false;
        if (number != textNo) {
            if (!reader.Skip(12)) return false;
            continue;
        }
        TextRecord record{text, 0, 0, 0, 0};
        if (!reader.U32(record.captionNo) || !reader.U32(record.messageType) ||
            !reader.U16(record.showFlag) || !reader.U16(record.logFlag)) {
            return false;
        }
        out = record;
        return true;
    }
}

const char* FindCaption(const void* table, std::size_t size, unsigned long captionNo) {
    if (!table) return nullptr;
    TableReader reader(table, size);
    for (;;) {
        unsigned long number = 0;
        const char* text = nullptr;
        if (!reader.U32(number) || number == 0 || !reader.Text(text)) return nullptr;
        if (number == captionNo) return text;
    }
}

std::size_t TableBytes(const void* entry) {
    std::size_t bytes = 0;
    if (entry && OrnResEntryExtent(entry, &bytes)) return bytes;
    return std::numeric_limits<std::size_t>::max();
}

}  // namespace core
}  // namespace orneh
